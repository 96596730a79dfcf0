#include "capture/CaptureCoordinator.h"
#include "capture/OverlayView.h"
#include "capture/OverlayWindow.h"
#include "capture/ScreenRecordingPermission.h"
#include "history/HistoryStore.h"
#include "output/AppSettings.h"
#include "platform/x11/X11ScreenCapturer.h"
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

// Real captures on a private X server: a window of known colours fills the screen, xdotool drags and
// presses keys as a person would, and xclip reads the clipboard back from another client.
class PatternWindow : public QWidget {
public:
    PatternWindow() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint)
    {
        setGeometry(QGuiApplication::primaryScreen()->geometry());
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    // Columns of colour, each 37 pixels wide, brighter downwards: every pixel says where it is.
    static QColor colourAt(int x, int y)
    {
        static const QColor columns[] = {QColor(200, 30, 30), QColor(30, 160, 60), QColor(30, 60, 200),
                                         QColor(230, 200, 40), QColor(120, 40, 160)};
        const QColor base = columns[(x / 37) % 5];
        const int lift = (y / 50) * 3;
        return QColor(std::min(255, base.red() + lift), std::min(255, base.green() + lift),
                      std::min(255, base.blue() + lift));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        for (int y = 0; y < height(); y += 50)
            for (int x = 0; x < width(); x += 37)
                painter.fillRect(QRect(x, y, 37, 50), colourAt(x, y));
    }
};

class DeniedSource : public ScreenRecordingPermission::Source {
public:
    bool granted = false;
    int requests = 0;
    bool preflight() override { return granted; }
    void request() override { ++requests; }
};

class TestCaptureX11 : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    PatternWindow *pattern = nullptr;
    CaptureCoordinator *coordinator = nullptr;
    std::optional<Result<QString>> outcome;
    QStringList failures;
    int previews = 0;

    static QByteArray run(const QString &program, const QStringList &arguments)
    {
        return Programs::run(program, arguments);
    }
    static void xdotool(const QStringList &arguments) { run("xdotool", arguments); }

    bool waitForOutcome(int ms = 10000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!outcome && timer.elapsed() < ms)
            QTest::qWait(20);
        return outcome.has_value();
    }

    QStringList savedFiles() const { return QDir(folder.path()).entryList(QDir::Files); }

    void dragWithXdotool(QPoint from, QPoint to)
    {
        xdotool({"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1"});
        QTest::qWait(50);
        const QPoint middle = (from + to) / 2;
        xdotool({"mousemove", QString::number(middle.x()), QString::number(middle.y())});
        QTest::qWait(30);
        xdotool({"mousemove", QString::number(to.x()), QString::number(to.y()), "mouseup", "1"});
    }

    void waitForOverlays()
    {
        QTRY_VERIFY(coordinator->isSelecting());
        for (QWidget *window : coordinator->selection()->windows())
            QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::qWait(100);
    }

private slots:
    void initTestCase()
    {
        // As the app wires it: every saved file goes into the history.
        OutputPipeline::onSaved = [](const QString &path) { HistoryStore::shared().add(path); };
        QVERIFY(folder.isValid());
        AppSettings::shared().setDestinationDirectory(folder.path());
        pattern = new PatternWindow;
        pattern->show();
        QVERIFY(QTest::qWaitForWindowExposed(pattern));
        QTest::qWait(200);
    }

    void init()
    {
        outcome.reset();
        failures.clear();
        previews = 0;
        coordinator = new CaptureCoordinator(std::make_unique<X11ScreenCapturer>());
        coordinator->onFinished = [this](const Result<QString> &r) { outcome = r; };
        coordinator->onFailure = [this](const QString &message) { failures << message; };
        coordinator->onCaptured = [this](const QImage &, int, const QString &, QScreen *) { ++previews; };
        for (const QString &name : savedFiles())
            QFile::remove(folder.filePath(name));
    }

    void cleanup()
    {
        delete coordinator;
        coordinator = nullptr;
        ScreenRecordingPermission::setSource(nullptr);
        ScreenRecordingPermission::stopPolling();
        AppSettings::shared().setDestinationDirectory(folder.path());
        QTest::qWait(50);
    }

    void cleanupTestCase() { delete pattern; }

    void sharedMemoryAndPlainGrabsAgree()
    {
        X11ScreenCapturer shm, plain;
        QVERIFY(shm.usesSharedMemory());
        plain.disableSharedMemory();
        const Result<QImage> a = shm.grabRootRect(QRect(10, 20, 300, 200));
        const Result<QImage> b = plain.grabRootRect(QRect(10, 20, 300, 200));
        QVERIFY(a.ok() && b.ok());
        QCOMPARE(*a, *b);
        QCOMPARE(a->pixelColor(0, 0), PatternWindow::colourAt(10, 20));
        QCOMPARE(a->pixelColor(299, 199), PatternWindow::colourAt(309, 219));
        // The segment is kept: a second grab of another size still matches.
        const Result<QImage> again = shm.grabRootRect(QRect(0, 0, 1920, 1080));
        QVERIFY(again.ok());
        QCOMPARE(again->pixelColor(500, 700), PatternWindow::colourAt(500, 700));
        QCOMPARE(qAlpha(again->pixel(5, 5)), 255);
    }

    void buffersAreReusedOnlyWhenFreeAndGoAfterAQuietSpell()
    {
        X11ScreenCapturer capturer;
        Result<QImage> first = capturer.grabRootRect(QRect(0, 0, 64, 48));
        QVERIFY(first.ok());
        const QImage held = *first;
        const uchar *heldBits = held.constBits();
        first = Error{};
        // The last picture is still held by someone: a new one is made, the held one is left as it was.
        Result<QImage> second = capturer.grabRootRect(QRect(100, 100, 64, 48));
        QVERIFY(second->constBits() != heldBits);
        QCOMPARE(held.pixelColor(0, 0), PatternWindow::colourAt(0, 0));
        // Nobody holds it any more: its memory is used again.
        const uchar *secondBits = second->constBits();
        second = Error{};
        const Result<QImage> third = capturer.grabRootRect(QRect(200, 200, 64, 48));
        QCOMPARE(third->constBits(), secondBits);
        QCOMPARE(third->pixelColor(0, 0), PatternWindow::colourAt(200, 200));
        // After a quiet spell the buffers go.
        capturer.setKeepBuffersFor(100);
        (void)capturer.grabRootRect(QRect(0, 0, 8, 8));
        QVERIFY(capturer.holdsBuffers());
        QTRY_VERIFY(!capturer.holdsBuffers());
    }

    void areaCaptureSavesExactlyTheDraggedPixels()
    {
        coordinator->captureArea();
        waitForOverlays();
        // A second request while selecting is ignored.
        SelectionController *selection = coordinator->selection();
        coordinator->captureArea();
        QCOMPARE(coordinator->selection(), selection);
        // Dragged backwards, from bottom-right to top-left.
        dragWithXdotool(QPoint(340, 260), QPoint(140, 160));
        QVERIFY(waitForOutcome());
        QVERIFY2(outcome->ok(), outcome->ok() ? "" : qPrintable(outcome->error().message));
        QVERIFY(!coordinator->isSelecting());
        QCOMPARE(previews, 1);
        QVERIFY(failures.isEmpty());
        const QImage saved(outcome->value());
        QCOMPARE(saved.size(), QSize(200, 100));
        for (int y = 0; y < 100; y += 7)
            for (int x = 0; x < 200; x += 5)
                QCOMPARE(saved.pixelColor(x, y), PatternWindow::colourAt(140 + x, 160 + y));
        QCOMPARE(HistoryStore::shared().entries().first().path, outcome->value());

        // The clipboard holds the PNG and, on request, a TIFF of the same picture and resolution.
        const QList<QByteArray> targets =
            run("xclip", {"-selection", "clipboard", "-t", "TARGETS", "-o"}).split('\n');
        QVERIFY(targets.contains("image/png"));
        QVERIFY(targets.contains("image/tiff"));
        const QImage png =
            QImage::fromData(run("xclip", {"-selection", "clipboard", "-t", "image/png", "-o"}), "png");
        const QImage tiff =
            QImage::fromData(run("xclip", {"-selection", "clipboard", "-t", "image/tiff", "-o"}), "tiff");
        QCOMPARE(png.convertToFormat(QImage::Format_RGB32), saved.convertToFormat(QImage::Format_RGB32));
        QCOMPARE(tiff.convertToFormat(QImage::Format_RGB32), saved.convertToFormat(QImage::Format_RGB32));
        QCOMPARE(tiff.dotsPerMeterX(), png.dotsPerMeterX());
    }

    void escapeAndPlainClickCancel()
    {
        coordinator->captureArea();
        waitForOverlays();
        xdotool({"key", "Escape"});
        QVERIFY(waitForOutcome());
        QVERIFY(!outcome->ok());
        QVERIFY(outcome->error().message.isEmpty());
        QVERIFY(!coordinator->isSelecting());
        xdotool({"key", "Escape"}); // a second Escape after the end does nothing
        QTest::qWait(100);

        outcome.reset();
        coordinator->captureArea();
        waitForOverlays();
        xdotool({"mousemove", "500", "500", "click", "1"});
        QVERIFY(waitForOutcome());
        QVERIFY(!outcome->ok());
        // A 1-point drag cancels too; 2 × 2 commits.
        outcome.reset();
        coordinator->captureArea();
        waitForOverlays();
        dragWithXdotool(QPoint(600, 600), QPoint(601, 640));
        QVERIFY(waitForOutcome());
        QVERIFY(!outcome->ok());
        outcome.reset();
        coordinator->captureArea();
        waitForOverlays();
        dragWithXdotool(QPoint(600, 600), QPoint(602, 602));
        QVERIFY(waitForOutcome());
        QVERIFY(outcome->ok());
        QCOMPARE(QImage(outcome->value()).size(), QSize(2, 2));
        QCOMPARE(savedFiles().size(), 1);
        QVERIFY(failures.isEmpty());
    }

    void overlayWindowsAreKeptForTheNextSelectionThenGo()
    {
        coordinator->captureArea();
        waitForOverlays();
        QWidget *window = coordinator->selection()->windows().first();
        xdotool({"key", "Escape"});
        QVERIFY(waitForOutcome());
        QCOMPARE(OverlayWindow::kept(), 1);
        QVERIFY(!window->isVisible());
        outcome.reset();
        coordinator->captureArea();
        waitForOverlays();
        QCOMPARE(coordinator->selection()->windows().first(), window);
        xdotool({"key", "Escape"});
        QVERIFY(waitForOutcome());
        OverlayWindow::setKeepFor(100);
        QTRY_COMPARE(OverlayWindow::kept(), 0);
        OverlayWindow::setKeepFor(60000);
    }

    void overlayShowsTheSizeLabel()
    {
        coordinator->captureArea();
        waitForOverlays();
        auto *window = qobject_cast<OverlayWindow *>(coordinator->selection()->windows().first());
        QVERIFY(window);
        OverlayView *view = window->overlayView();
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseMove(view, QPoint(300, 200));
        QCOMPARE(view->labelText(), QStringLiteral("200 × 100 px"));
        // The screen under the overlay shows dimmed, the selection clear.
        const QImage shown = window->grab().toImage();
        QCOMPARE(shown.pixelColor(150, 150), PatternWindow::colourAt(150, 150));
        const QColor outside = shown.pixelColor(50, 50), original = PatternWindow::colourAt(50, 50);
        QVERIFY(std::abs(outside.red() - original.red() * 3 / 4) <= 2);
        xdotool({"key", "Escape"});
        QVERIFY(waitForOutcome());
    }

    void fullScreenTakesTheScreenUnderThePointer()
    {
        xdotool({"mousemove", "900", "500"});
        coordinator->captureFullScreen(0);
        QVERIFY(waitForOutcome());
        QVERIFY(outcome->ok());
        const QImage saved(outcome->value());
        QCOMPARE(saved.size(), QSize(1920, 1080));
        QCOMPARE(saved.pixelColor(1000, 900), PatternWindow::colourAt(1000, 900));
        QCOMPARE(previews, 1);
    }

    void unwritableFolderAlertsAndKeepsTheClipboard()
    {
        // A file where the folder should be.
        QFile blocker(folder.filePath("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        AppSettings::shared().setDestinationDirectory(folder.filePath("blocker/sub"));
        const qsizetype historyBefore = HistoryStore::shared().entries().size();
        coordinator->captureFullScreen(0);
        QVERIFY(waitForOutcome());
        QVERIFY(!outcome->ok());
        QCOMPARE(failures.size(), 1);
        QCOMPARE(failures.first(), QString::fromLocal8Bit(std::strerror(ENOTDIR)));
        QCOMPARE(previews, 0);
        QCOMPARE(HistoryStore::shared().entries().size(), historyBefore);
        QCOMPARE(savedFiles(), QStringList{QStringLiteral("blocker")});
        const QImage pasted =
            QImage::fromData(run("xclip", {"-selection", "clipboard", "-t", "image/png", "-o"}), "png");
        QCOMPARE(pasted.size(), QSize(1920, 1080));
        QFile::remove(blocker.fileName());
    }

    void aFailedGrabAlerts()
    {
        struct Broken : ScreenCapturer {
            Result<QImage> grabScreen(QScreen *) override { return Error{QStringLiteral("display gone")}; }
        };
        CaptureCoordinator broken(std::make_unique<Broken>());
        broken.onFailure = [this](const QString &message) { failures << message; };
        broken.onFinished = [this](const Result<QString> &r) { outcome = r; };
        broken.captureArea();
        QVERIFY(outcome && !outcome->ok());
        QVERIFY(!broken.isSelecting());
        outcome.reset();
        broken.captureFullScreen(0);
        QVERIFY(outcome && !outcome->ok());
        QCOMPARE(failures, (QStringList{"display gone", "display gone"}));
        QVERIFY(savedFiles().isEmpty());
    }

    // A screen reader that waits for the desktop (the portal) keeps the event loop turning: a request that
    // arrives meanwhile is ignored without an alert, and the first goes on.
    void requestsWhileReadingTheScreenAreIgnored()
    {
        struct Waiting : ScreenCapturer {
            std::function<void()> whileWaiting;
            Result<QImage> grabScreen(QScreen *screen) override
            {
                if (whileWaiting)
                    std::exchange(whileWaiting, nullptr)();
                QImage image(screen->size() * screen->devicePixelRatio(), QImage::Format_RGB32);
                image.fill(Qt::darkCyan);
                return image;
            }
        };
        auto capturer = std::make_unique<Waiting>();
        Waiting *waiting = capturer.get();
        CaptureCoordinator coordinator(std::move(capturer));
        coordinator.onFailure = [this](const QString &message) { failures << message; };
        QList<bool> nested;
        waiting->whileWaiting = [&] {
            coordinator.captureArea([&](const Result<QString> &r) { nested << r.ok(); });
            coordinator.captureFullScreen(0, [&](const Result<QString> &r) { nested << r.ok(); });
        };
        std::optional<Result<QString>> first;
        coordinator.captureFullScreen(0, [&](const Result<QString> &r) { first = r; });
        QCOMPARE(nested, (QList<bool>{false, false}));
        QVERIFY(failures.isEmpty());
        QVERIFY(first && first->ok());
        QCOMPARE(savedFiles().size(), 1);
    }

    void deniedPermissionGuidesPollsAndOffersTheRelaunch()
    {
        auto source = std::make_unique<DeniedSource>();
        DeniedSource *denied = source.get();
        ScreenRecordingPermission::setSource(std::move(source));
        QList<ScreenRecordingPermission::Alert> alerts;
        ScreenRecordingPermission::setAlertRunner([&](const ScreenRecordingPermission::Alert &alert) {
            alerts << alert;
            return 1; // "Plus tard" for the guidance; the relaunch is answered below
        });
        int relaunches = 0;
        ScreenRecordingPermission::setRelauncher([&] { ++relaunches; });
        ScreenRecordingPermission::setPollInterval(50);

        coordinator->captureArea();
        QVERIFY(!coordinator->isSelecting());
        coordinator->captureFullScreen(0);
        QTest::qWait(100);
        QCOMPARE(denied->requests, 2);
        QCOMPARE(alerts.size(), 2);
        QCOMPARE(alerts.first().message,
                 QStringLiteral("Pim a besoin de la permission « Enregistrement d'écran »"));
        QVERIFY(alerts.first().informative.startsWith(QStringLiteral(
            "Le bureau exige cette permission pour capturer l'écran.\n\n1. Ouvre les Paramètres")));
        QCOMPARE(alerts.first().buttons, (QStringList{"Ouvrir les Paramètres", "Plus tard"}));
        QVERIFY(ScreenRecordingPermission::isPolling());
        QVERIFY(!ScreenRecordingPermission::isGranted());
        QVERIFY(savedFiles().isEmpty());
        QCOMPARE(previews, 0);

        // The grant is seen by the polling: one offer, then the relaunch when accepted.
        ScreenRecordingPermission::setAlertRunner([&](const ScreenRecordingPermission::Alert &alert) {
            alerts << alert;
            return 0;
        });
        denied->granted = true;
        QTRY_VERIFY(!ScreenRecordingPermission::isPolling());
        QTest::qWait(200);
        QCOMPARE(alerts.size(), 3);
        QCOMPARE(alerts.last().message, QStringLiteral("Permission accordée"));
        QCOMPARE(alerts.last().buttons, (QStringList{"Relancer Pim", "Plus tard"}));
        QCOMPARE(relaunches, 1);
        QVERIFY(ScreenRecordingPermission::isGranted());
        ScreenRecordingPermission::setAlertRunner(nullptr);
        ScreenRecordingPermission::setRelauncher(nullptr);
        ScreenRecordingPermission::setPollInterval(2000);
    }

    void relaunchCommandQuotesThePath()
    {
        QCOMPARE(ScreenRecordingPermission::relaunchCommand("/opt/my pim/pim"),
                 QStringLiteral("sleep 0.4; exec \"/opt/my pim/pim\""));
        QCOMPARE(ScreenRecordingPermission::relaunchCommand("/a$b\"c`"),
                 QStringLiteral("sleep 0.4; exec \"/a\\$b\\\"c\\`\""));
    }
};

QTEST_MAIN(TestCaptureX11)
#include "tst_capture_x11.moc"
