#include "capture/CaptureGeometry.h"

#include <QTest>

using namespace CaptureGeometry;

class TestCaptureGeometry : public QObject {
    Q_OBJECT

private slots:
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
};

QTEST_APPLESS_MAIN(TestCaptureGeometry)
#include "tst_capturegeometry.moc"
