// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/OutputPipeline.h"
#include "support/Programs.h"
#include "support/TestImages.h"

#include <QClipboard>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QTest>
#include <QTimer>

// Runs on a real X server: another X client (xclip) reads what Pim put on the clipboard while Pim,
// the owner, keeps serving it.
class TestClipboard : public QObject {
    Q_OBJECT

    static QByteArray xclip(const QStringList &arguments)
    {
        return Programs::run("xclip", QStringList{"-selection", "clipboard", "-o"} + arguments);
    }

private slots:
    void pngThenTiff()
    {
        const QImage image = TestImages::sample(120, 80);
        QVERIFY(OutputPipeline::copyToPasteboard(image, 2).ok());

        const QList<QByteArray> targets = xclip({"-t", "TARGETS"}).split('\n');
        const qsizetype png = targets.indexOf("image/png");
        const qsizetype tiff = targets.indexOf("image/tiff");
        QVERIFY2(png >= 0 && tiff > png, targets.join(' ').constData());

        const QImage pasted = QImage::fromData(xclip({"-t", "image/png"}), "png");
        QCOMPARE(pasted.convertToFormat(image.format()), image);
        QCOMPARE(int(std::lround(pasted.dotsPerMeterX() * 0.0254)), 144);
        const QImage pastedTiff = QImage::fromData(xclip({"-t", "image/tiff"}), "tiff");
        QCOMPARE(pastedTiff.convertToFormat(image.format()), image);
    }

    void notAPngKeepsThePngEntryOnly()
    {
        OutputPipeline::copyToPasteboard(QByteArray("not a png"));
        const QList<QByteArray> targets = xclip({"-t", "TARGETS"}).split('\n');
        QVERIFY(targets.contains("image/png"));
        QVERIFY(!targets.contains("image/tiff"));
        QCOMPARE(xclip({"-t", "image/png"}), QByteArray("not a png"));
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestClipboard test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_clipboard.moc"
