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
        const double ratio = screen->devicePixelRatio();
        // Points for a place given in the screen's pixels.
        const auto at = [ratio](int x, int y) { return (QPointF(x, y) / ratio).toPoint(); };
        const QImage frozen = frozenScreen((QSizeF(800, 600) * ratio).toSize());
        OverlayView view(screen, frozen);
        view.resize(800, 600);
        const QRect top(100, 100, 300, 200), below(250, 150, 400, 300);
        view.setWindows({top, below});
        QVERIFY(view.isWindowMode());
        std::optional<QRect> taken;
        bool cancelled = false;
        view.onCommitWindow = [&](const QRect &pixels) { taken = pixels; };
        view.onCancel = [&] { cancelled = true; };

        moveTo(&view, at(300, 200)); // in both: the one on top
        QCOMPARE(view.hoveredWindow(), std::optional<QRect>(top));
        QCOMPARE(view.labelText(), QStringLiteral("300 × 200"));
        moveTo(&view, at(600, 400)); // only in the one below
        QCOMPARE(view.hoveredWindow(), std::optional<QRect>(below));
        QCOMPARE(view.labelText(), QStringLiteral("400 × 300"));

        // What is shown: the window as frozen, the rest dimmed.
        const QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.pixel(500, 350), frozen.pixel(500, 350)); // in pixels, as the grab is
        QVERIFY(shown.pixel(50, 50) != frozen.pixel(50, 50));

        QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, at(600, 400));
        QCOMPARE(taken, std::optional<QRect>(below));
        taken.reset();
        moveTo(&view, at(20, 20));
        QVERIFY(!view.hoveredWindow());
        QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, at(20, 20));
        QVERIFY(!taken);
        QVERIFY(!cancelled);

        // Back to an area selection: no windows, and a plain click cancels as it always has.
        view.setWindows({});
        QVERIFY(!view.isWindowMode());
        QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, at(300, 200));
        QVERIFY(cancelled);
        QVERIFY(!taken);
    }

    // The loupe shows the frozen pixels around the pointer, each as 8 × 8 pixels, at any scale.
    void loupeShowsTheFrozenPixels()
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        const double ratio = screen->devicePixelRatio();
        const QImage frozen = frozenScreen((QSizeF(800, 600) * ratio).toSize());
        OverlayView view(screen, frozen);
        view.resize(800, 600);
        // During a drag, with the size label drawn too.
        QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(60, 40));
        moveTo(&view, QPoint(200, 150));
        const QPoint pointer = view.pointerPixel();
        QCOMPARE(pointer, (QPointF(200, 150) * ratio).toPoint());
        const QRectF box = view.loupeRect();
        QVERIFY(!box.isEmpty());
        const QImage shown = view.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const QPoint origin = (box.topLeft() * ratio).toPoint();
        constexpr int half = OverlayView::loupePixels / 2, zoom = OverlayView::loupeZoom;
        for (int j = 0; j < OverlayView::loupePixels; ++j) {
            for (int i = 0; i < OverlayView::loupePixels; ++i) {
                if ((i == half) != (j == half))
                    continue; // the crosshair's lines
                const QPoint cell = origin + QPoint(i * zoom + zoom / 2, j * zoom + zoom / 2);
                QCOMPARE(QColor(shown.pixel(cell)),
                         QColor(frozen.pixel(pointer + QPoint(i - half, j - half))));
            }
        }
        // Turned off, there is none.
        view.setLoupeShown(false);
        QVERIFY(view.loupeRect().isEmpty());
    }

    // It never covers the selection's size label.
    void loupeKeepsOffTheLabel()
    {
        OverlayView view(QGuiApplication::primaryScreen(), frozenScreen(QSize(800, 600)));
        view.resize(800, 600);
        for (const QPoint end : {QPoint(400, 300), QPoint(120, 500), QPoint(700, 80), QPoint(790, 590)}) {
            QTest::mousePress(&view, Qt::LeftButton, Qt::NoModifier, QPoint(300, 200));
            moveTo(&view, end);
            QVERIFY(!view.loupeRect().isEmpty());
            QVERIFY(!view.sizeLabelRect().isEmpty());
            QVERIFY(!view.loupeRect().intersects(view.sizeLabelRect()));
            QVERIFY(QRectF(0, 0, 800, 600).contains(view.loupeRect()));
            QTest::mouseRelease(&view, Qt::LeftButton, Qt::NoModifier, end);
        }
    }

    // Keyboard only: the arrows move by a pixel, Return starts the drag and ends it.
    void keyboardOnly()
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        const double ratio = screen->devicePixelRatio();
        OverlayView view(screen, frozenScreen((QSizeF(800, 600) * ratio).toSize()));
        view.resize(800, 600);
        QRectF committed;
        view.onCommit = [&](const QRectF &rect) { committed = rect; };
        moveTo(&view, (QPointF(100, 100) / ratio).toPoint());
        view.movePointerBy(QPoint(3, -2));
        QCOMPARE(view.pointerPixel(), QPoint(103, 98));
        view.movePointerBy(QPoint(1, 0));
        QCOMPARE(view.pointerPixel(), QPoint(104, 98));
        // (A selection is in whole points: at scale 2, an even number of pixels.)
        view.pressAtPointer();
        view.movePointerBy(QPoint(150, 0));
        view.movePointerBy(QPoint(0, 40));
        QCOMPARE(view.selection().size(), QSizeF(150, 40) / ratio);
        view.pressAtPointer();
        QCOMPARE(committed.size(), QSizeF(150, 40) / ratio);
        QCOMPARE(committed.topLeft() - QPointF(view.window()->geometry().topLeft()),
                 QPointF(104, 98) / ratio);
        // Never past the screen's edge.
        view.movePointerBy(QPoint(-5000, -5000));
        QCOMPARE(view.pointerPixel(), QPoint(0, 0));
    }
};

QTEST_MAIN(TestOverlayView)
#include "tst_overlayview.moc"
