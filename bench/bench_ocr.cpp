// SPDX-License-Identifier: GPL-3.0-or-later
// Text recognition on rendered desktops of known English and French text (four windows of plain text, and
// whole desktops in dark and light themes at 1080p and 4K), side by side with the `tesseract` command
// (package tesseract-ocr) at its usual settings: word recall (the share of the known words found),
// in-order similarity (the longest common subsequence of the known and the found words, over the known
// ones) and time (median of 3). Run with OMP_THREAD_LIMIT=1 in the
// environment, as Pim runs; the command gets the same.
#include "BenchUtil.h"

#include "imagetools/OCRService.h"
#include "imagetools/TextRegions.h"
#include "support/DesktopScene.h"

#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace {

struct Window {
    QRect frame;
    QStringList lines;
    int pixelSize = 13;
    QColor ink = QColor(30, 30, 30);
};

// Four windows: two side by side at the top, lines at the same heights; one below across; one small
// window in the corner. Text at 13 px, the size of interface text at scale 1.
QList<Window> windows()
{
    return {
        {QRect(30, 40, 560, 330),
         {"Quarterly report for the sales team", "Revenue grew by twelve percent this quarter",
          "while costs stayed close to the budget", "The new office opens in March next year",
          "Please send your comments before Friday", "Thanks to everyone for the hard work"}},
        {QRect(640, 40, 560, 330),
         {"Compte rendu de la réunion de lundi", "Les chiffres du trimestre sont très bons",
          "La nouvelle équipe arrive la semaine prochaine", "Merci de relire le document avant jeudi",
          "Le déjeuner aura lieu au café du coin", "Bonne journée à toutes et à tous"}},
        {QRect(30, 420, 1170, 250),
         {"error: connection refused while opening the database on port 5432",
          "hint: check that the server is running and accepts connections",
          "Le serveur de sauvegarde a terminé sa copie sans erreur cette nuit",
          "The build finished in four minutes and all tests passed"},
         11,
         QColor(100, 100, 100)},
        {QRect(1250, 40, 320, 200),
         {"Notes", "Acheter du pain et du fromage", "Call the plumber about the leak",
          "Réserver le train de 8 h 12"},
         10,
         QColor(110, 110, 110)},
    };
}

QImage renderDesktop()
{
    QImage image(1600, 720, QImage::Format_RGB32);
    QLinearGradient wallpaper(0, 0, 1600, 720);
    wallpaper.setColorAt(0, QColor(38, 70, 120));
    wallpaper.setColorAt(1, QColor(160, 90, 140));
    QPainter p(&image);
    p.fillRect(image.rect(), wallpaper);
    QFont font(QStringLiteral("DejaVu Sans"));
    for (const Window &w : windows()) {
        font.setPixelSize(w.pixelSize);
        p.setFont(font);
        p.fillRect(w.frame, QColor(250, 250, 250));
        p.fillRect(QRect(w.frame.topLeft(), QSize(w.frame.width(), 26)), QColor(225, 225, 230));
        p.setPen(w.ink);
        for (int i = 0; i < w.lines.size(); ++i)
            p.drawText(QPoint(w.frame.left() + 16, w.frame.top() + 56 + i * 28), w.lines[i]);
    }
    return image;
}

double recall(const QStringList &expected, QStringList found)
{
    int hits = 0;
    for (const QString &w : expected) {
        const qsizetype at = found.indexOf(w);
        if (at >= 0) {
            ++hits;
            found.removeAt(at);
        }
    }
    return double(hits) / expected.size();
}

double inOrder(const QStringList &a, const QStringList &b)
{
    std::vector<std::vector<int>> lcs(size_t(a.size() + 1), std::vector<int>(size_t(b.size() + 1), 0));
    for (qsizetype i = 1; i <= a.size(); ++i)
        for (qsizetype j = 1; j <= b.size(); ++j)
            lcs[size_t(i)][size_t(j)] =
                a[i - 1] == b[j - 1] ? lcs[size_t(i - 1)][size_t(j - 1)] + 1
                                     : std::max(lcs[size_t(i - 1)][size_t(j)], lcs[size_t(i)][size_t(j - 1)]);
    return double(lcs[size_t(a.size())][size_t(b.size())]) / a.size();
}

void report(const QString &name, const QStringList &expected, const QString &text, double ms)
{
    const QStringList found = DesktopScene::words(text);
    // PIM_BENCH_VERBOSE: the known words not found, and the text read.
    if (qEnvironmentVariableIsSet("PIM_BENCH_VERBOSE")) {
        QStringList left = found, missing;
        for (const QString &w : expected) {
            if (const qsizetype at = left.indexOf(w); at >= 0)
                left.removeAt(at);
            else
                missing << w;
        }
        std::fprintf(stderr, "%s missing: %s\n--\n%s\n--\n", qPrintable(name), qPrintable(missing.join(u' ')),
                     qPrintable(text));
    }
    Bench::print(qPrintable(name + "_word_recall"), recall(expected, found), "");
    Bench::print(qPrintable(name + "_in_order"), inOrder(expected, found), "");
    Bench::print(qPrintable(name + "_time"), ms, "ms");
}

// Pim's reading and the command's, side by side, on one picture.
void measure(const QString &name, const QImage &picture, const QStringList &expected,
             const QString &tesseract, const QStringList &settings)
{
    // PIM_BENCH_ONLY=PREFIX: only the pictures whose name begins so.
    if (!name.startsWith(qEnvironmentVariable("PIM_BENCH_ONLY")))
        return;
    const QStringList languages{QStringLiteral("fr-FR"), QStringLiteral("en-US")};
    if (qEnvironmentVariableIsSet("PIM_BENCH_VERBOSE")) {
        for (const TextRegions::Region &r : TextRegions::find(picture))
            std::fprintf(stderr, "region %d,%d %dx%d background %s holes %d\n", r.rect.x(), r.rect.y(),
                         r.rect.width(), r.rect.height(), qPrintable(r.background.name()),
                         int(r.holes.size()));
    }
    QString text;
    const double ours = Bench::medianMs(
        3, [&] { text = OCRService::orderedText(*OCRService::recognize(picture, languages)); });
    report(name + "_pim", expected, text, ours);
    if (tesseract.isEmpty())
        return;
    QTemporaryDir dir;
    const QString file = dir.filePath("desktop.png");
    picture.save(file);
    for (const QString &setting : settings) {
        const QStringList options = setting.split(u' ', Qt::SkipEmptyParts);
        QString output;
        const double ms = Bench::medianMs(3, [&] {
            QProcess process;
            process.start(tesseract, QStringList{file, "-", "-l", "fra+eng"} + options);
            process.waitForFinished(300000);
            output = QString::fromUtf8(process.readAllStandardOutput());
        });
        QString label = setting;
        label.remove(QStringLiteral("--")).replace(u' ', QString());
        report(name + "_tesseract" + (label.isEmpty() ? QStringLiteral("_default") : u'_' + label), expected,
               output, ms);
    }
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (qgetenv("OMP_THREAD_LIMIT") != "1")
        std::fprintf(stderr, "bench_ocr: run with OMP_THREAD_LIMIT=1, as Pim runs\n");
    // PIM_BENCH_NO_COMMAND: Pim's figures alone.
    const QString tesseract = qEnvironmentVariableIsSet("PIM_BENCH_NO_COMMAND")
                                  ? QString()
                                  : QStandardPaths::findExecutable(QStringLiteral("tesseract"));
    if (tesseract.isEmpty() && !qEnvironmentVariableIsSet("PIM_BENCH_NO_COMMAND"))
        std::fprintf(stderr, "bench_ocr: the tesseract command is not installed (package tesseract-ocr)\n");

    // Four windows of plain text on a gradient.
    QStringList expected;
    for (const Window &w : windows())
        for (const QString &line : w.lines)
            expected << DesktopScene::words(line);
    if (!qEnvironmentVariableIsSet("PIM_BENCH_ONLY_SAVE"))
        measure(QStringLiteral("windows"), renderDesktop(), expected, tesseract,
                {QString(), QStringLiteral("--dpi 144"), QStringLiteral("--psm 4 --dpi 144"),
                 QStringLiteral("--psm 11 --dpi 144")});

    // Whole desktops, at scale 1 and 2.
    for (const DesktopScene::Scene &scene : {DesktopScene::dark(), DesktopScene::light()}) {
        for (const int scale : {1, 2}) {
            const QString name = scene.name + (scale == 1 ? QStringLiteral("_1080p") : QStringLiteral("_4k"));
            const QImage picture = DesktopScene::render(scene, scale);
            // PIM_BENCH_SAVE=FOLDER: the pictures, to look at (PIM_BENCH_ONLY_SAVE: nothing else).
            if (const QString folder = qEnvironmentVariable("PIM_BENCH_SAVE"); !folder.isEmpty())
                picture.save(folder + u'/' + name + QStringLiteral(".png"));
            if (qEnvironmentVariableIsSet("PIM_BENCH_ONLY_SAVE"))
                continue;
            measure(name, picture, DesktopScene::words(scene), tesseract,
                    {QString(), QStringLiteral("--psm 11")});
        }
    }
    return 0;
}
