// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/CaptureGeometry.h"

#include <QTest>

using namespace CaptureGeometry;

class TestCaptureGeometry : public QObject {
    Q_OBJECT

private slots:
    // Odd sides grow into the screen where they can, towards the right and bottom first; a side as wide
    // as the screen shrinks.
    void evenRect()
    {
        const QRect screen(0, 0, 1921, 1081);
        QCOMPARE(CaptureGeometry::evenRect(QRect(10, 20, 101, 51), screen), QRect(10, 20, 102, 52));
        QCOMPARE(CaptureGeometry::evenRect(QRect(10, 20, 100, 50), screen), QRect(10, 20, 100, 50));
        QCOMPARE(CaptureGeometry::evenRect(QRect(1820, 1030, 101, 51), screen), QRect(1819, 1029, 102, 52));
        QCOMPARE(CaptureGeometry::evenRect(screen, screen), QRect(0, 0, 1920, 1080));
        QCOMPARE(CaptureGeometry::evenRect(QRect(1920, 0, 1, 1), QRect(1920, 0, 1, 1)), QRect(1920, 0, 0, 0));
    }

    void pixelSizesRoundHalfAway()
    {
        QCOMPARE(pixelSize(QSizeF(1440, 900), 2), QSize(2880, 1800));
        QCOMPARE(pixelSize(QSizeF(100.5, 50.25), 2), QSize(201, 101));
        QCOMPARE(pixelSize(QSizeF(0.5, 1.5), 1), QSize(1, 2));
        QCOMPARE(wholeScale(1.0), 1);
        QCOMPARE(wholeScale(1.4), 1);
        QCOMPARE(wholeScale(1.5), 2);
        QCOMPARE(wholeScale(0.5), 1);
    }

    void screensKeepTheirNativeTopLeft()
    {
        // A scale-2 screen placed right of a 1920-wide one: Qt divides only its size.
        QCOMPARE(nativeScreenRect(QRect(1920, 0, 960, 600), 2), QRect(1920, 0, 1920, 1200));
        // A selection on that screen maps to pixels of its own picture.
        QCOMPARE(pixelRectInScreen(QRectF(1930, 5, 100, 50), QRect(1920, 0, 960, 600), 2),
                 QRect(20, 10, 200, 100));
        // The top-left corner of a screen is pixel (0, 0).
        QCOMPARE(pixelRectInScreen(QRectF(0, 0, 30, 20), QRect(0, 0, 1920, 1080), 1), QRect(0, 0, 30, 20));
    }

    void selectionIsSpannedClippedAndIntegral()
    {
        const QSizeF view(800, 600);
        // Either direction gives the same rectangle.
        QCOMPARE(selectionRect(QPointF(300, 200), QPointF(100, 50), view),
                 selectionRect(QPointF(100, 50), QPointF(300, 200), view));
        QCOMPARE(selectionRect(QPointF(100, 50), QPointF(300, 200), view), QRectF(100, 50, 200, 150));
        // Origin down, far edges up.
        QCOMPARE(selectionRect(QPointF(10.6, 20.2), QPointF(30.1, 40.9), view), QRectF(10, 20, 21, 21));
        // Beyond the screen's edge: cut to it.
        QCOMPARE(selectionRect(QPointF(700, 500), QPointF(900, 700), view), QRectF(700, 500, 100, 100));
        QCOMPARE(selectionRect(QPointF(-50, -5), QPointF(20, 30), view), QRectF(0, 0, 20, 30));
        // A pointer on the last column or row holds that pixel: the drag reaches the edge.
        QCOMPARE(selectionRect(QPointF(700, 500), QPointF(799, 599), view), QRectF(700, 500, 100, 100));
        QCOMPARE(selectionRect(QPointF(700, 500), QPointF(798, 598), view), QRectF(700, 500, 98, 98));
        // On a scale-2 screen the last native pixel is half a point before the edge.
        QCOMPARE(selectionRect(QPointF(0, 0), QPointF(959.5, 539.5), QSizeF(960, 540)),
                 QRectF(0, 0, 960, 540));
    }

    void labelTextIsInPixels()
    {
        QCOMPARE(sizeLabel(QRectF(0, 0, 100, 50), 2), QStringLiteral("200 × 100 px"));
        QCOMPARE(sizeLabel(QRectF(0, 0, 100, 50), 1), QStringLiteral("100 × 50 px"));
    }

    void labelPlacement()
    {
        const QSizeF view(1000, 800), text(80, 14);
        // Below the selection, right edges aligned.
        QRectF box = labelBox(QRectF(100, 100, 300, 200), text, view);
        QCOMPARE(box, QRectF(400 - 96, 306, 96, 22));
        // Near the bottom of the screen: inside the selection, 6 points above its bottom edge.
        box = labelBox(QRectF(100, 600, 300, 190), text, view);
        QCOMPARE(box.bottom(), 790.0 - 6);
        // Touching the right edge: 4 points in.
        box = labelBox(QRectF(800, 100, 200, 100), text, view);
        QCOMPARE(box.right(), 1000.0 - 4);
        // A narrow selection at the left edge: the box stays 4 points in.
        box = labelBox(QRectF(0, 100, 10, 10), text, view);
        QCOMPARE(box.left(), 4.0);
    }

    // A portal's one picture of the whole desktop, drawn at the highest scale: 3840 × 2160 at scale 1 beside
    // 2560 × 1440 at scale 2 (1280 × 720 points) comes back as 10240 × 4320.
    void desktopPictureIsCutPerScreen()
    {
        using CaptureGeometry::ScreenArea;
        QImage desktop(10240, 4320, QImage::Format_RGB32);
        desktop.fill(QColor(10, 20, 30));
        // The second screen's area, and a mark at its top-left and bottom-right pixels.
        desktop.setPixelColor(7680, 0, QColor(255, 0, 0));
        desktop.setPixelColor(7680 + 2559, 1439, QColor(0, 0, 255));
        // Below the second screen: in no screen.
        desktop.setPixelColor(8000, 2000, QColor(0, 255, 0));
        const QList<ScreenArea> screens{{QRect(0, 0, 3840, 2160), 1}, {QRect(3840, 0, 1280, 720), 2}};
        const Result<QList<QImage>> parts = CaptureGeometry::splitDesktopPicture(desktop, screens);
        QVERIFY(parts.ok());
        QCOMPARE(parts->size(), 2);
        QCOMPARE(parts->at(0).size(), QSize(3840, 2160));
        QCOMPARE(parts->at(0).pixelColor(100, 100), QColor(10, 20, 30));
        // The screen at the picture's own scale is copied pixel for pixel.
        QCOMPARE(parts->at(1).size(), QSize(2560, 1440));
        QCOMPARE(parts->at(1).pixelColor(0, 0), QColor(255, 0, 0));
        QCOMPARE(parts->at(1).pixelColor(2559, 1439), QColor(0, 0, 255));

        // One screen at scale 1, the picture at scale 1; a screen left of and above the origin.
        QImage flat(300, 100, QImage::Format_RGB32);
        flat.fill(Qt::white);
        flat.setPixelColor(0, 0, Qt::black);
        const Result<QList<QImage>> negative = CaptureGeometry::splitDesktopPicture(
            flat, {{QRect(-100, -50, 100, 100), 1}, {QRect(0, -50, 200, 100), 1}});
        QVERIFY(negative.ok());
        QCOMPARE(negative->at(0).size(), QSize(100, 100));
        QCOMPARE(negative->at(0).pixelColor(0, 0), QColor(Qt::black));
        QCOMPARE(negative->at(1).size(), QSize(200, 100));
    }

    // Fractional scales: Qt rounds the screen's logical size, and the portal's picture is the output's
    // native pixels; each screen gets exactly those, unscaled.
    void desktopPictureAtAFractionalScale_data()
    {
        QTest::addColumn<double>("ratio");
        QTest::addColumn<QSize>("pixels");
        QTest::newRow("1.25") << 1.25 << QSize(1366, 768);
        QTest::newRow("1.5") << 1.5 << QSize(1640, 921);
        QTest::newRow("1.75") << 1.75 << QSize(1913, 1075);
    }
    void desktopPictureAtAFractionalScale()
    {
        QFETCH(double, ratio);
        QFETCH(QSize, pixels);
        QImage desktop(pixels, QImage::Format_RGB32);
        for (int y = 0; y < desktop.height(); ++y)
            for (int x = 0; x < desktop.width(); ++x)
                desktop.setPixel(x, y, qRgb(x % 256, y % 256, (x / 256) * 16 + y / 256));
        const QRect points(0, 0, 1093, 614);
        QCOMPARE(pixelSize(QSizeF(points.size()), ratio), pixels);
        const Result<QList<QImage>> parts = splitDesktopPicture(desktop, {{points, ratio}});
        QVERIFY2(parts.ok(), parts.ok() ? "" : qPrintable(parts.error().message));
        QCOMPARE(parts->at(0).size(), pixels);
        QCOMPARE(parts->at(0), desktop);
    }

    void desktopPictureOfTheWrongSizeIsRefused()
    {
        using CaptureGeometry::ScreenArea;
        const QList<ScreenArea> screens{{QRect(0, 0, 1920, 1080), 1}};
        QImage wrong(1920, 1200, QImage::Format_RGB32); // another aspect
        wrong.fill(Qt::gray);
        Result<QList<QImage>> parts = CaptureGeometry::splitDesktopPicture(wrong, screens);
        QVERIFY(!parts.ok());
        QVERIFY(parts.error().message.contains(QStringLiteral("ne correspond pas")));
        QVERIFY(!CaptureGeometry::splitDesktopPicture(QImage(), screens).ok());
        QVERIFY(!CaptureGeometry::splitDesktopPicture(wrong, {}).ok());
        // A picture at another uniform scale is fine: a half-size one is brought up to the native size.
        QImage half(960, 540, QImage::Format_RGB32);
        half.fill(Qt::gray);
        parts = CaptureGeometry::splitDesktopPicture(half, screens);
        QVERIFY(parts.ok());
        QCOMPARE(parts->at(0).size(), QSize(1920, 1080));
    }
};

QTEST_APPLESS_MAIN(TestCaptureGeometry)
#include "tst_capturegeometry.moc"
