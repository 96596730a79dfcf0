// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ImageMetadata.h"
#include "output/PngWriter.h"

#include "../bench/BenchUtil.h"
#include "../support/DesktopScene.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTest>

#include <cstring>

Q_DECLARE_METATYPE(QImage::Format)

class TestPngWriter : public QObject {
    Q_OBJECT

    // Noise and flat runs, so that every filter and both halves of the split get used.
    static QImage mixed(int w, int h, QImage::Format format, bool alpha)
    {
        QImage image(w, h, QImage::Format_ARGB32);
        QRandomGenerator random(w * 1000 + h);
        for (int y = 0; y < h; ++y) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < w; ++x) {
                const bool flat = (x / 16 + y / 16) % 2 == 0;
                const quint32 noise = random.generate();
                const int a = alpha ? int(noise >> 24) : 255;
                row[x] =
                    flat ? qRgba(x % 256, y % 256, 128, alpha ? (x * 3) % 256 : 255)
                         : qRgba(int(noise & 0xff), int((noise >> 8) & 0xff), int((noise >> 16) & 0xff), a);
            }
        }
        return image.convertToFormat(format);
    }

    // Slices of rows (the writer deflates about 256 KiB at a time) that are in turn photographic (noise)
    // and not (sparse marks on a flat colour), so that the stream passes from one compressor to the other
    // at each slice. Each kind repeats a tile of 8 rows: a slice's first rows match the end of the last
    // slice of its kind, which is not what comes just before them in the file.
    static QImage alternating(int w, int bands)
    {
        const int sliceRows = (256 * 1024) / (w * 3 + 1);
        QImage image(w, sliceRows * 4 * bands, QImage::Format_RGB32);
        QRandomGenerator random(7);
        QImage noise(w, 8, QImage::Format_RGB32), marks(w, 8, QImage::Format_RGB32);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < w; ++x) {
                noise.setPixel(x, y, 0xff000000u | (random.generate() & 0xffffffu));
                marks.setPixel(x, y, random.bounded(40) == 0 ? qRgb(230, 230, 230) : qRgb(30, 34, 40));
            }
        }
        for (int y = 0; y < image.height(); ++y) {
            const QImage &tile = (y / sliceRows) % 2 ? noise : marks;
            std::memcpy(image.scanLine(y), tile.constScanLine(y % 8), size_t(w) * 4);
        }
        return image;
    }

    // Stripes of noise, flat colour and diagonal marks, of random heights.
    static QImage striped(int w, int h, quint32 seed)
    {
        QImage image(w, h, QImage::Format_RGB32);
        QRandomGenerator random(seed);
        int kind = 0;
        for (int y = 0, left = 0; y < h; ++y, --left) {
            if (left <= 0) {
                kind = int(random.bounded(3));
                left = 5 + int(random.bounded(150));
            }
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < w; ++x) {
                const quint32 noise = random.generate();
                switch (kind) {
                case 0: row[x] = 0xff000000u | (noise & 0xffffffu); break;
                case 1: row[x] = qRgb(40, 44, 52); break;
                default: row[x] = ((x / 3 + y) % 7 == 0) ? qRgb(220, 220, 220) : qRgb(30, 30, 30); break;
                }
            }
        }
        return image;
    }

    static QImage decode(const QByteArray &bytes) { return QImage::fromData(bytes, "png"); }

private slots:
    void pixelExact_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<QImage::Format>("format");
        QTest::addColumn<bool>("alpha");
        QTest::newRow("1×1") << 1 << 1 << QImage::Format_RGB32 << false;
        QTest::newRow("one row") << 300 << 1 << QImage::Format_ARGB32_Premultiplied << false;
        QTest::newRow("one column") << 1 << 300 << QImage::Format_RGB32 << false;
        QTest::newRow("small, not split") << 63 << 63 << QImage::Format_ARGB32_Premultiplied << false;
        QTest::newRow("odd rows, split") << 1001 << 777 << QImage::Format_ARGB32_Premultiplied << false;
        QTest::newRow("straight alpha") << 257 << 130 << QImage::Format_ARGB32 << true;
        QTest::newRow("premultiplied alpha") << 200 << 129 << QImage::Format_ARGB32_Premultiplied << true;
        QTest::newRow("24-bit") << 120 << 90 << QImage::Format_RGB888 << false;
        QTest::newRow("grey") << 120 << 90 << QImage::Format_Grayscale8 << false;
    }
    void pixelExact()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QImage::Format, format);
        QFETCH(bool, alpha);
        const QImage image = mixed(width, height, format, alpha);
        const std::optional<QByteArray> png = PngWriter::encode(image, 2);
        QVERIFY(png);
        const QImage decoded = decode(*png);
        QVERIFY(!decoded.isNull());
        QCOMPARE(decoded.hasAlphaChannel(), alpha);
        // What the picture shows, in straight alpha: exactly what the file holds.
        QCOMPARE(decoded.convertToFormat(QImage::Format_ARGB32),
                 image.convertToFormat(QImage::Format_ARGB32));
        QCOMPARE(int(std::lround(decoded.dotsPerMeterX() * 0.0254)), 144);
    }

    void photographsAndWindowsInTurn()
    {
        for (const int w : {1000, 1711}) {
            const QImage image = alternating(w, 8);
            const std::optional<QByteArray> png = PngWriter::encode(image, 1);
            QVERIFY(png);
            QCOMPARE(decode(*png).convertToFormat(QImage::Format_RGB32), image);
        }
        for (quint32 seed = 1; seed <= 6; ++seed) {
            const QImage image = striped(1500 + int(seed) * 37, 900 + int(seed) * 61, seed);
            const std::optional<QByteArray> png = PngWriter::encode(image, 1);
            QVERIFY(png);
            QCOMPARE(decode(*png).convertToFormat(QImage::Format_RGB32), image);
        }
    }

    void resolutionAndColourSpace()
    {
        QImage image = mixed(40, 30, QImage::Format_RGB32, false);
        const std::optional<double> dpi = ImageMetadata::horizontalDpi(*PngWriter::encode(image, 1.25));
        QVERIFY(dpi && std::abs(*dpi - 90) < 0.05);
        // Without a colour space the file names none; with one it keeps it.
        QVERIFY(!decode(*PngWriter::encode(image, 1)).colorSpace().isValid());
        image.setColorSpace(QColorSpace(QColorSpace::SRgb));
        QCOMPARE(decode(*PngWriter::encode(image, 1)).colorSpace(), QColorSpace(QColorSpace::SRgb));
        image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        const QImage p3 = decode(*PngWriter::encode(image, 1));
        QVERIFY(p3.colorSpace().isValid());
        QCOMPARE(p3.colorSpace().primaries(), QColorSpace::Primaries::DciP3D65);
    }

    void refusesWhatItCannotWrite()
    {
        QVERIFY(!PngWriter::encode(QImage(), 1));
        QVERIFY(!PngWriter::encode(mixed(4, 4, QImage::Format_RGB32, false), 0));
        QVERIFY(!PngWriter::encode(mixed(4, 4, QImage::Format_RGB32, false), std::nan("")));
    }

    // Our files stay close to what the reference encoder (libpng at its default level) makes of a
    // realistic screen, with windows only or with a photographic wallpaper and a photograph.
    void sizeCloseToTheReference()
    {
        const QList<QImage> screens = {Bench::screenshotLike(1920, 1080), Bench::screenshotLike(1280, 800),
                                       DesktopScene::render(DesktopScene::dark(), 1)};
        for (const QImage &picture : screens) {
            const QImage screen = picture.convertToFormat(QImage::Format_RGB32);
            QByteArray reference;
            QBuffer buffer(&reference);
            buffer.open(QIODevice::WriteOnly);
            QVERIFY(QImageWriter(&buffer, "png").write(screen));
            const std::optional<QByteArray> ours = PngWriter::encode(screen, 1);
            QVERIFY(ours);
            QVERIFY2(ours->size() <= reference.size() * 1.10,
                     qPrintable(QString("%1 vs %2").arg(ours->size()).arg(reference.size())));
            QCOMPARE(decode(*ours), screen);
        }
    }
};

QTEST_MAIN(TestPngWriter)
#include "tst_pngwriter.moc"
