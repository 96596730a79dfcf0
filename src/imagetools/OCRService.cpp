#include "imagetools/OCRService.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QLocale>
#include <QtConcurrent>

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>

#include <memory>

namespace OCRService {

namespace {

bool comesBefore(const Observation &a, const Observation &b)
{
    const double midA = a.boundingBox.center().y(), midB = b.boundingBox.center().y();
    if (std::abs(midA - midB) > 0.02)
        return midA > midB;
    return a.boundingBox.left() < b.boundingBox.left();
}

// A stable merge sort that stays well-defined with an ordering test that is not transitive (std::
// stable_sort requires a strict weak ordering, which "same line within 2 %" is not).
void mergeSort(QList<Observation> &items, QList<Observation> &scratch, qsizetype begin, qsizetype end)
{
    if (end - begin < 2)
        return;
    const qsizetype middle = begin + (end - begin) / 2;
    mergeSort(items, scratch, begin, middle);
    mergeSort(items, scratch, middle, end);
    qsizetype left = begin, right = middle, out = begin;
    while (left < middle && right < end)
        scratch[out++] = comesBefore(items[right], items[left]) ? items[right++] : items[left++];
    while (left < middle)
        scratch[out++] = items[left++];
    while (right < end)
        scratch[out++] = items[right++];
    for (qsizetype i = begin; i < end; ++i)
        items[i] = scratch[i];
}

Error missingLanguages(const QStringList &tags)
{
    return Error{QStringLiteral("Aucune donnée de reconnaissance installée pour : %1")
                     .arg(tags.join(QStringLiteral(", ")))};
}

} // namespace

QString orderedText(const QList<Observation> &observations)
{
    QList<Observation> sorted = observations;
    QList<Observation> scratch = observations;
    mergeSort(sorted, scratch, 0, sorted.size());
    QStringList lines;
    for (const Observation &o : sorted) {
        if (!o.candidates.isEmpty())
            lines.append(o.candidates.first());
    }
    return lines.join(u'\n');
}

QString tesseractCode(const QString &tag)
{
    static const QHash<QString, QString> exceptions = {
        {QStringLiteral("zh-hans"), QStringLiteral("chi_sim")},
        {QStringLiteral("zh-cn"), QStringLiteral("chi_sim")},
        {QStringLiteral("zh-hant"), QStringLiteral("chi_tra")},
        {QStringLiteral("zh-tw"), QStringLiteral("chi_tra")},
        {QStringLiteral("nb"), QStringLiteral("nor")},
        {QStringLiteral("no"), QStringLiteral("nor")},
        {QStringLiteral("sr-latn"), QStringLiteral("srp_latn")},
    };
    const QString lower = tag.trimmed().toLower().replace(u'_', u'-');
    for (auto it = exceptions.cbegin(); it != exceptions.cend(); ++it) {
        if (lower == it.key() || lower.startsWith(it.key() + u'-'))
            return it.value();
    }
    const QLocale locale(lower.section(u'-', 0, 0));
    if (locale.language() == QLocale::C || lower.isEmpty())
        return {};
    return QLocale::languageToCode(locale.language(), QLocale::ISO639Part2T);
}

QString dataPath()
{
    const QString fromEnvironment = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStringLiteral("/usr/share/tesseract-ocr/5/tessdata");
}

Result<QList<Observation>> recognize(const QImage &image, const QStringList &languages)
{
    if (image.isNull())
        return Error{QStringLiteral("L'image est vide.")};
    QStringList codes, missing;
    for (const QString &tag : languages) {
        const QString code = tesseractCode(tag);
        if (!code.isEmpty() && QFileInfo::exists(dataPath() + u'/' + code + QStringLiteral(".traineddata"))) {
            if (!codes.contains(code))
                codes.append(code);
        } else {
            missing.append(tag);
        }
    }
    if (codes.isEmpty())
        return missingLanguages(missing.isEmpty() ? languages : missing);

    auto api = std::make_unique<tesseract::TessBaseAPI>();
    if (api->Init(dataPath().toLocal8Bit().constData(), codes.join(u'+').toLatin1().constData(),
                  tesseract::OEM_LSTM_ONLY) != 0)
        return Error{QStringLiteral("Le moteur de reconnaissance n'a pas pu démarrer.")};
    api->SetVariable("debug_file", "/dev/null");

    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    api->SetImage(rgb.constBits(), rgb.width(), rgb.height(), 3, int(rgb.bytesPerLine()));
    api->SetSourceResolution(144);
    if (api->Recognize(nullptr) != 0)
        return Error{QStringLiteral("La reconnaissance du texte a échoué.")};

    QList<Observation> observations;
    const double width = rgb.width(), height = rgb.height();
    std::unique_ptr<tesseract::ResultIterator> it(api->GetIterator());
    if (it) {
        const auto level = tesseract::RIL_TEXTLINE;
        do {
            int x1, y1, x2, y2;
            if (!it->BoundingBox(level, &x1, &y1, &x2, &y2))
                continue;
            std::unique_ptr<char[]> text(it->GetUTF8Text(level));
            const QString line = text ? QString::fromUtf8(text.get()).trimmed() : QString();
            Observation o;
            // Tesseract's boxes are pixel rows from the top: turn them into 0…1, y up.
            o.boundingBox = QRectF(x1 / width, 1.0 - y2 / height, (x2 - x1) / width, (y2 - y1) / height);
            if (!line.isEmpty())
                o.candidates.append(line);
            observations.append(o);
        } while (it->Next(level));
    }
    api->End();
    return observations;
}

void recognizeText(const QImage &image, const QStringList &languages, QObject *context,
                   std::function<void(Result<QString>)> done)
{
    // The watcher lives in the caller's thread as a child of the context: its signal arrives there, and
    // not at all once the context is gone. QImage is shared copy-on-write; the worker only reads it.
    auto *watcher = new QFutureWatcher<Result<QString>>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, [watcher, done = std::move(done)] {
        done(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run([image, languages]() -> Result<QString> {
        const Result<QList<Observation>> observations = recognize(image, languages);
        if (!observations)
            return observations.error();
        return orderedText(*observations);
    }));
}

} // namespace OCRService
