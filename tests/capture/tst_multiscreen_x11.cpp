// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/CaptureCoordinator.h"
#include "capture/CaptureGeometry.h"
#include "capture/OverlayView.h"
#include "capture/OverlayWindow.h"
#include "output/ImageLoader.h"
#include "platform/x11/X11ScreenCapturer.h"
#include "settings/AppSettings.h"
#include "support/Programs.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// Two monitors on one X screen (set up with xrandr before Qt starts), the second at scale 2:
//   side by side: L 1920 × 1080 at (0, 120), R 1920 × 1200 at (1920, 0), root 3840 × 1200;
//   stacked:      L 1920 × 1080 at (0, 0),   R 1280 × 1024 at (320, 1080), root 1920 × 2104.
// Every native pixel of the root has its own colour, so a saved file says which pixels it holds.
static bool stacked()
{
    return qgetenv("PIM_TEST_LAYOUT") == "stacked";
}

static QColor colourAt(int x, int y)
{
    return QColor((x * 7) % 256, (y * 5) % 256, (x / 256 * 40 + y / 256 * 90) % 256);
}

class RootPattern : public QWidget {
public:
    explicit RootPattern(QScreen *screen)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint),
          m_screen(screen)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setGeometry(screen->geometry());
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const qreal ratio = m_screen->devicePixelRatio();
        const QPoint origin = m_screen->geometry().topLeft(); // the native top-left
        QImage image(int(width() * ratio), int(height() * ratio), QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] = colourAt(origin.x() + x, origin.y() + y).rgb();
        }
        image.setDevicePixelRatio(ratio);
        QPainter(this).drawImage(0, 0, image);
    }

private:
    QScreen *m_screen;
};

class TestMultiScreen : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    QList<RootPattern *> patterns;
    std::unique_ptr<CaptureCoordinator> coordinator;
    std::optional<CaptureOutcome> outcome;

    static void xdotool(const QStringList &arguments) { Programs::run("xdotool", arguments); }
    QScreen *screenNamed(const QString &name)
    {
        for (QScreen *screen : QGuiApplication::screens())
            if (screen->name() == name)
                return screen;
        return nullptr;
    }
    bool waitForOutcome()
    {
        QElapsedTimer timer;
        timer.start();
        while (!outcome && timer.elapsed() < 10000)
            QTest::qWait(20);
        return outcome.has_value();
    }
    void expectPixels(const QString &path, QPoint nativeOrigin, QSize size)
    {
        const std::optional<ImageLoader::Loaded> loaded = ImageLoader::load(path);
        QVERIFY(loaded);
        QCOMPARE(loaded->image.size(), size);
        for (int y = 0; y < size.height(); y += 9)
            for (int x = 0; x < size.width(); x += 7)
                QCOMPARE(loaded->image.pixelColor(x, y),
                         colourAt(nativeOrigin.x() + x, nativeOrigin.y() + y));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        AppSettings::shared().setDestinationDirectory(folder.path());
        QCOMPARE(QGuiApplication::screens().size(), 2);
        QVERIFY(screenNamed("L") && screenNamed("R"));
        QCOMPARE(screenNamed("R")->devicePixelRatio(), 2.0);
        for (QScreen *screen : QGuiApplication::screens()) {
            auto *pattern = new RootPattern(screen);
            pattern->show();
            QVERIFY(QTest::qWaitForWindowExposed(pattern));
            patterns << pattern;
        }
        QTest::qWait(200);
    }
    void cleanupTestCase() { qDeleteAll(patterns); }
    void init()
    {
        outcome.reset();
        coordinator = std::make_unique<CaptureCoordinator>(std::make_unique<X11ScreenCapturer>());
        coordinator->onFinished = [this](const CaptureOutcome &r) { outcome = r; };
        coordinator->onFailure = [](const QString &message) { QFAIL(qPrintable(message)); };
    }
    void cleanup() { coordinator.reset(); }

    void fullScreenFollowsThePointer()
    {
        QScreen *left = screenNamed("L"), *right = screenNamed("R");
        const QRect l = CaptureGeometry::nativeScreenRect(left->geometry(), 1);
        const QRect r = CaptureGeometry::nativeScreenRect(right->geometry(), 2);
        xdotool({"mousemove", QString::number(r.x() + 300), QString::number(r.y() + 300)});
        QTest::qWait(50);
        QCOMPARE(CaptureCoordinator::screenUnderPointer(), right);
        coordinator->captureFullScreen(0);
        QVERIFY(waitForOutcome());
        QVERIFY(outcome->isSaved());
        expectPixels(outcome->path, r.topLeft(), r.size());
        QCOMPARE(ImageLoader::load(outcome->path)->scale, 2);

        outcome.reset();
        xdotool({"mousemove", QString::number(l.x() + 100), QString::number(l.y() + 500)});
        QTest::qWait(50);
        coordinator->captureFullScreen(0);
        QVERIFY(waitForOutcome());
        expectPixels(outcome->path, l.topLeft(), l.size());
        QCOMPARE(ImageLoader::load(outcome->path)->scale, 1);
    }

    void areaOnTheScaledScreen()
    {
        coordinator->captureArea();
        QTRY_VERIFY(coordinator->isSelecting());
        const QList<QWidget *> windows = coordinator->selection()->windows();
        QCOMPARE(windows.size(), 2);
        for (QWidget *window : windows) {
            QVERIFY(QTest::qWaitForWindowExposed(window));
            auto *overlay = qobject_cast<OverlayWindow *>(window);
            QCOMPARE(window->geometry(), overlay->overlayView()->screen()->geometry());
        }
        QTest::qWait(100);
        const QRect r = CaptureGeometry::nativeScreenRect(screenNamed("R")->geometry(), 2);
        // 200 × 100 points on the scale-2 screen, dragged in root pixels.
        const QPoint from = r.topLeft() + QPoint(100, 60), to = from + QPoint(400, 200);
        xdotool({"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1"});
        QTest::qWait(50);
        xdotool({"mousemove", QString::number(from.x() + 200), QString::number(from.y() + 100)});
        QTest::qWait(50);
        for (QWidget *window : windows) {
            OverlayView *view = qobject_cast<OverlayWindow *>(window)->overlayView();
            if (view->screen() == screenNamed("R"))
                QCOMPARE(view->labelText(), QStringLiteral("200 × 100 px"));
        }
        xdotool({"mousemove", QString::number(to.x()), QString::number(to.y()), "mouseup", "1"});
        QVERIFY(waitForOutcome());
        QVERIFY(outcome->isSaved());
        expectPixels(outcome->path, from, QSize(400, 200));
    }

    void aScreenChangeCancelsTheSelection()
    {
        coordinator->captureArea();
        QTRY_VERIFY(coordinator->isSelecting());
        QProcess::execute("xrandr", {"--delmonitor", "R"});
        QVERIFY(waitForOutcome());
        QVERIFY(!outcome->isSaved());
        QVERIFY(!coordinator->isSelecting());
    }
};

int main(int argc, char **argv)
{
    const QStringList left = stacked()
                                 ? QStringList{"--setmonitor", "L", "1920/508x1080/286+0+0", "screen"}
                                 : QStringList{"--setmonitor", "L", "1920/508x1080/286+0+120", "screen"};
    const QStringList right = stacked()
                                  ? QStringList{"--setmonitor", "R", "1280/338x1024/270+320+1080", "none"}
                                  : QStringList{"--setmonitor", "R", "1920/508x1200/286+1920+0", "none"};
    if (QProcess::execute("xrandr", left) != 0 || QProcess::execute("xrandr", right) != 0)
        return 1;
    qputenv("QT_SCREEN_SCALE_FACTORS", "L=1;R=2");
    QApplication app(argc, argv);
    TestMultiScreen test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_multiscreen_x11.moc"
