// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ImageLoader.h"
#include "output/ImageMetadata.h"
#include "output/ImageWriter.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

Q_DECLARE_METATYPE(ImageFormat)

class TestImageWriter : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return {};
        return path;
    }

private slots:
    void resolutionRoundTrip_data()
    {
        QTest::addColumn<ImageFormat>("format");
        QTest::addColumn<qreal>("scale");
        for (ImageFormat format : allImageFormats) {
            for (qreal scale : {1.0, 1.25, 1.5, 2.0, 3.0}) {
                const QByteArray name = (rawValue(format) + " @" + QString::number(scale)).toUtf8();
                QTest::newRow(name.constData()) << format << scale;
            }
        }
    }
    void resolutionRoundTrip()
    {
        QFETCH(ImageFormat, format);
        QFETCH(qreal, scale);
        const QImage image = TestImages::sample();
        const Result<QByteArray> encoded = ImageWriter::data(image, scale, format, 0.85);
        QVERIFY(encoded.ok());
        const std::optional<double> dpi = ImageMetadata::horizontalDpi(*encoded);
        QVERIFY(dpi.has_value());
        QVERIFY2(std::abs(*dpi - 72 * scale) < 0.05, qPrintable(QString::number(*dpi)));

        const QString path = writeFile("roundtrip." + fileExtension(format), *encoded);
        const std::optional<ImageLoader::Loaded> loaded = ImageLoader::load(path);
        QVERIFY(loaded.has_value());
        // 90 dpi reads back as scale 1, 108 dpi as 2.
        QCOMPARE(loaded->scale, std::max(1, int(std::lround(scale))));
        QCOMPARE(loaded->image.size(), image.size());
        // The file is what it says it is, for other programs too.
        QCOMPARE(QImageReader::imageFormat(path), QByteArray(qtFormatName(format)));
    }

    // Other programs must still open our WebP files with their added EXIF chunk.
    void webpOpensElsewhere()
    {
        const QString webpinfo = QStandardPaths::findExecutable("webpinfo");
        const QString dwebp = QStandardPaths::findExecutable("dwebp");
        if (webpinfo.isEmpty() || dwebp.isEmpty())
            QSKIP("webpinfo and dwebp (package webp) are not installed");
        QImage transparent = TestImages::sample(50, 30);
        transparent.setPixelColor(0, 0, QColor(0, 0, 0, 0));
        for (const auto &[name, image, quality] :
             {std::tuple{"lossy.webp", TestImages::sample(50, 30), 0.8},
              std::tuple{"lossless.webp", TestImages::sample(50, 30), 1.0},
              std::tuple{"alpha.webp", transparent, 0.8}}) {
            const Result<QByteArray> encoded = ImageWriter::data(image, 2, ImageFormat::webp, quality);
            QVERIFY(encoded.ok());
            const QString path = writeFile(name, *encoded);
            QProcess info;
            info.start(webpinfo, {path});
            QVERIFY(info.waitForFinished());
            const QString report = info.readAllStandardOutput();
            QVERIFY2(info.exitCode() == 0, qPrintable(report));
            QVERIFY2(report.contains("EXIF"), qPrintable(report));
            QVERIFY2(!report.contains("Error") && !report.contains("Warning"), qPrintable(report));
            QProcess decode;
            decode.start(dwebp, {path, "-o", path + ".png"});
            QVERIFY(decode.waitForFinished());
            QCOMPARE(decode.exitCode(), 0);
            QCOMPARE(QImage(path + ".png").size(), image.size());
        }
    }

    void qualityApplies()
    {
        const QImage image = TestImages::sample(200, 120);
        auto bytes = [&](ImageFormat format, double quality) {
            return *ImageWriter::data(image, 1, format, quality);
        };
        // Clamped to 0.1 at the bottom and 1.0 at the top.
        QCOMPARE(bytes(ImageFormat::jpeg, 0.05), bytes(ImageFormat::jpeg, 0.1));
        QCOMPARE(bytes(ImageFormat::jpeg, 7.0), bytes(ImageFormat::jpeg, 1.0));
        QVERIFY(bytes(ImageFormat::jpeg, 0.1).size() < bytes(ImageFormat::jpeg, 0.9).size());
        QVERIFY(bytes(ImageFormat::webp, 0.1).size() < bytes(ImageFormat::webp, 0.9).size());
        // PNG is lossless whatever the quality.
        QCOMPARE(bytes(ImageFormat::png, 0.1), bytes(ImageFormat::png, 1.0));
        QImage decoded = QImage::fromData(bytes(ImageFormat::png, 0.1)).convertToFormat(image.format());
        QCOMPARE(decoded, image);
    }

    void encodingFails()
    {
        const Result<QByteArray> empty = ImageWriter::data(QImage(), 1, ImageFormat::png, 1);
        QVERIFY(!empty.ok());
        QCOMPARE(empty.error().message, QString("L'encodage de l'image a échoué."));
        QVERIFY(!ImageWriter::data(TestImages::sample(), 0, ImageFormat::png, 1).ok());
    }

    void scaleFromResolution()
    {
        QCOMPARE(ImageLoader::scaleForDpi(std::nullopt), 1);
        QCOMPARE(ImageLoader::scaleForDpi(0.0), 1);
        QCOMPARE(ImageLoader::scaleForDpi(-144.0), 1);
        QCOMPARE(ImageLoader::scaleForDpi(96.0), 1);
        QCOMPARE(ImageLoader::scaleForDpi(110.0), 2);
        QCOMPARE(ImageLoader::scaleForDpi(108.0), 2); // 1.5 rounds away from zero
        QCOMPARE(ImageLoader::scaleForDpi(30.0), 1);
    }

    void resolutionsWrittenByOthers()
    {
        // A PNG without pHYs has no resolution: scale 1, whatever the screen's default dpi.
        QImage image = TestImages::sample();
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.setDotsPerMeterX(int(110 / 0.0254));
        image.save(&buffer, "png");
        QCOMPARE(ImageLoader::loadData(png)->scale, 2);

        // JPEG with dots per centimetre in JFIF.
        QByteArray jpeg = *ImageWriter::data(image, 1, ImageFormat::jpeg, 0.9);
        const int jfifUnits = int(jpeg.indexOf("JFIF")) + 7;
        jpeg[jfifUnits] = 2;
        jpeg[jfifUnits + 1] = 0;
        jpeg[jfifUnits + 2] = 57; // 57 dots/cm ≈ 144.8 dpi
        QCOMPARE(ImageLoader::loadData(jpeg)->scale, 2);

        // EXIF resolution in centimetres, big-endian, with the "Exif" prefix.
        QByteArray exif("Exif\0\0MM\0\x2a\0\0\0\x08\0\x02", 16);
        exif += QByteArray("\x01\x1a\0\x05\0\0\0\x01\0\0\0\x26", 12); // XResolution at offset 38
        exif += QByteArray("\x01\x28\0\x03\0\0\0\x01\0\x03\0\0", 12); // ResolutionUnit = cm
        exif += QByteArray(4, '\0');
        exif += QByteArray("\0\0\0\x39\0\0\0\x01", 8); // 57/1
        QVERIFY(std::abs(*ImageMetadata::exifHorizontalDpi(exif) - 144.78) < 1e-9);
    }

    void thumbnails()
    {
        const QString path =
            writeFile("big.png", *ImageWriter::data(TestImages::sample(1000, 500), 2, ImageFormat::png, 1));
        const std::optional<QImage> small = ImageLoader::thumbnail(path, 400);
        QVERIFY(small.has_value());
        QCOMPARE(small->size(), QSize(400, 200));
        // Never enlarged.
        QCOMPARE(ImageLoader::thumbnail(path, 4000)->size(), QSize(1000, 500));

        // Orientation 6 (turn clockwise) is applied: a wide JPEG becomes a tall thumbnail.
        const QByteArray jpeg = *ImageWriter::data(TestImages::sample(300, 100), 1, ImageFormat::jpeg, 0.9);
        const QString rotated =
            writeFile("rotated.jpg", TestImages::jpegWithApp1(jpeg, TestImages::exifWithShort(0x0112, 6)));
        const std::optional<QImage> turned = ImageLoader::thumbnail(rotated, 150);
        QVERIFY(turned.has_value());
        QCOMPARE(turned->size(), QSize(50, 150));
    }

    void badFiles()
    {
        QVERIFY(!ImageLoader::load(dir.filePath("missing.png")));
        QVERIFY(!ImageLoader::thumbnail(dir.filePath("missing.png"), 100));
        QVERIFY(!ImageLoader::load(dir.path())); // a folder
        const QString garbage = writeFile("garbage.png", QByteArray(5000, 'x'));
        QVERIFY(!ImageLoader::load(garbage));
        QVERIFY(!ImageLoader::thumbnail(garbage, 100));
        QVERIFY(!ImageLoader::load(writeFile("empty.png", {})));
        QVERIFY(!ImageLoader::thumbnail(
            writeFile("zero.png", *ImageWriter::data(TestImages::sample(), 1, ImageFormat::png, 1)), 0));
    }

    // A file claiming 100 000 × 100 000 pixels is refused before anything is allocated.
    // A file that shrinks and grows while it is being read (another program saving over it) gives a
    // picture or nothing, never a crash; a mapping of the file would die of SIGBUS here.
    void aFileChangingUnderTheLoader()
    {
        QImage big(2400, 1600, QImage::Format_RGB32);
        for (int y = 0; y < big.height(); ++y)
            for (int x = 0; x < big.width(); ++x)
                big.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, (x ^ y) % 256));
        QByteArray whole;
        {
            QBuffer buffer(&whole);
            buffer.open(QIODevice::WriteOnly);
            QVERIFY(big.save(&buffer, "png", 100));
        }
        const QString path = dir.filePath("changing.png");
        QFile::remove(path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.write(whole);
        file.flush();
        std::atomic<bool> done = false;
        std::thread changer([&] {
            // The same file, truncated and written again, as fast as it goes.
            QFile other(path);
            if (!other.open(QIODevice::ReadWrite))
                return;
            while (!done) {
                other.resize(whole.size() / 50);
                other.seek(0);
                other.write(whole);
                other.flush();
            }
        });
        int pictures = 0;
        for (int i = 0; i < 150; ++i) {
            if (std::optional<ImageLoader::Loaded> loaded = ImageLoader::load(path)) {
                QCOMPARE(loaded->image.size(), big.size());
                ++pictures;
            }
            (void)ImageLoader::thumbnail(path, 200);
        }
        done = true;
        changer.join();
        // Between the rewrites the whole picture reads.
        QVERIFY(ImageLoader::load(path).has_value());
        Q_UNUSED(pictures);
    }

    void enormousDimensionsRefused()
    {
        const QString huge = writeFile("huge.png", TestImages::pngClaiming(100000, 100000));
        QImageReader probe(huge);
        QCOMPARE(probe.size(), QSize(100000, 100000)); // the header itself is readable
        QVERIFY(!ImageLoader::load(huge));
        QVERIFY(!ImageLoader::thumbnail(huge, 400));
    }
};

QTEST_GUILESS_MAIN(TestImageWriter)
#include "tst_imagewriter.moc"
