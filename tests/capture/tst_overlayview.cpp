// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/OverlayView.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QTest>

namespace {

QImage frozenScreen(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(200, (x * 3) % 256, (y * 5) % 256));
    return image;
}

void moveTo(QWidget *view, QPoint point)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(point), QPointF(view->mapToGlobal(point)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(view, &move);
}

} // namespace

class TestOverlayView : public QObject {
    Q_OBJECT
private slots:
    // Window mode: the topmost window under the pointer is outlined and shown undimmed with its size; a
    // click takes it, a click on no window takes nothing.
    void windowMode()
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        const QImage frozen = frozenScreen(QSize(800, 600));
        OverlayView view(screen, frozen);
        view.resize(800, 600);
        const QRect top(100, 100, 300, 200), below(250, 150, 400, 300);
        view.setWindows({top, below});
        QVERIFY(view.isWindowMode());
        std::optional<QRect> taken;
        bool cancelled = false;
        view.onCommitWindow = [&](const QRect &pixels) { taken = pixels; };
        view.onCancel = [&] { cancelled = true; };

        moveTo(&view, QPoint(300, 200)); // in both: the one on top
        QCOMPARE(view.hoveredWindow(), std::optional<QRect>(top));
        QCOMPARE(view.labelText(), QStringLiteral("300 × 200"));
        moveTo(&view, QPoint(600, 400)); // only in the one below
        QCOMPARE(view.hoveredWindow(), std::optional<QRect>(below));
        QCOMPARE(view.labelText(), QStringLiteral("400 × 300"));

        // What is shown: the window as frozen, the rest dimmed.
        const QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.pixel(500, 350), frozen.pixel(500, 350));
        QVERIFY(shown.pixel(50, 50) != frozen.pixel(50, 50));

        QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(600, 400));
        QCOMPARE(taken, std::optional<QRect>(below));
        taken.reset();
        moveTo(&view, QPoint(20, 20));
        QVERIFY(!view.hoveredWindow());
        QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        QVERIFY(!taken);
        QVERIFY(!cancelled);

        // Back to an area selection: no windows, and a plain click cancels as it always has.
        view.setWindows({});
        QVERIFY(!view.isWindowMode());
        QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, QPoint(300, 200));
        QVERIFY(cancelled);
        QVERIFY(!taken);
    }
};

QTEST_MAIN(TestOverlayView)
#include "tst_overlayview.moc"
