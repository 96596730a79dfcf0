// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/CaptureCoordinator.h"
#include "capture/ClosingWindows.h"
#include "capture/OverlayView.h"
#include "capture/OverlayWindow.h"
#include "capture/ScreenRecordingPermission.h"
#include "history/HistoryStore.h"
#include "platform/x11/X11HotKeyService.h"
#include "platform/x11/X11ScreenCapturer.h"
#include "settings/AppSettings.h"
#include "shortcuts/GlobalShortcuts.h"
#include "support/Programs.h"
#include "support/TestSession.h"

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

// A magenta window over the middle of the pattern, closed just before a reading.
class MagentaCover : public QWidget {
public:
    MagentaCover() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint)
    {
        setGeometry(400, 300, 500, 300);
        setAutoFillBackground(true);
        QPalette colours = palette();
        colours.setColor(QPalette::Window, QColor(255, 0, 255));
        setPalette(colours);
    }
};

class DeniedSource : public ScreenRecordingPermission::Source {
public:
    bool granted = false;
    int requests = 0;
    bool preflight() override { return granted; }
    void request() override { ++requests; }
    bool canOpenSettings() const override { return true; }
};

class TestCaptureX11 : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    PatternWindow *pattern = nullptr;
    CaptureCoordinator *coordinator = nullptr;
    std::optional<CaptureOutcome> outcome;
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

    // The overlays are on the screen: the server shows the dimmed picture.
    void waitForOverlays()
    {
        QTRY_VERIFY(coordinator->isSelecting());
        for (QWidget *window : coordinator->selection()->windows())
            QVERIFY(QTest::qWaitForWindowExposed(window));
        X11ScreenCapturer probe;
        const QColor original = PatternWindow::colourAt(5, 5);
        QTRY_VERIFY(std::abs(probe.grabRootRect(QRect(5, 5, 1, 1))->pixelColor(0, 0).red() -
                             original.red() * 3 / 4) <= 2);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        AppSettings::shared().setDestinationDirectory(folder.path());
        pattern = new PatternWindow;
        pattern->show();
        QVERIFY(QTest::qWaitForWindowExposed(pattern));
        X11ScreenCapturer probe;
        QTRY_COMPARE(probe.grabRootRect(QRect(500, 700, 1, 1))->pixelColor(0, 0),
                     PatternWindow::colourAt(500, 700));
    }

    void init()
    {
        outcome.reset();
        failures.clear();
        previews = 0;
        coordinator = new CaptureCoordinator(std::make_unique<X11ScreenCapturer>());
        coordinator->onFinished = [this](const CaptureOutcome &r) { outcome = r; };
        coordinator->onFailure = [this](const QString &message) { failures << message; };
        coordinator->onCaptured = [this](const QImage &, int, const QString &, QScreen *) { ++previews; };
        // As the app wires it: every saved file goes into the history.
        coordinator->output().onSaved = [](const QString &path) { HistoryStore::shared().add(path); };
        for (const QString &name : savedFiles())
            QFile::remove(folder.filePath(name));
    }

    // Everything a test may change goes back here, so that one failure does not fail the next test.
    void cleanup()
    {
        if (coordinator && coordinator->selection())
            xdotool({"key", "Escape"});
        delete coordinator;
        coordinator = nullptr;
        resetTestSession();
        AppSettings::shared().setDestinationDirectory(folder.path());
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
        // A second request while selecting is ignored: its asker hears so, the capture under way goes on.
        SelectionController *selection = coordinator->selection();
        std::optional<CaptureOutcome> second;
        coordinator->captureArea([&second](const CaptureOutcome &r) { second = r; });
        QCOMPARE(coordinator->selection(), selection);
        QVERIFY(second && second->kind == CaptureOutcome::Kind::ignored);
        QVERIFY(!outcome); // nothing has ended
        // Dragged backwards, from bottom-right to top-left.
        dragWithXdotool(QPoint(340, 260), QPoint(140, 160));
        QVERIFY(waitForOutcome());
        QVERIFY2(outcome->isSaved(), qPrintable(outcome->message));
        QVERIFY(!coordinator->isSelecting());
        QCOMPARE(previews, 1);
        QVERIFY(failures.isEmpty());
        const QImage saved(outcome->path);
        QCOMPARE(saved.size(), QSize(200, 100));
        for (int y = 0; y < 100; y += 7)
            for (int x = 0; x < 200; x += 5)
                QCOMPARE(saved.pixelColor(x, y), PatternWindow::colourAt(140 + x, 160 + y));
        QCOMPARE(HistoryStore::shared().entries().first().path, outcome->path);

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
        QCOMPARE(outcome->kind, CaptureOutcome::Kind::cancelled);
        QVERIFY(!coordinator->isSelecting());
        xdotool({"key", "Escape"}); // a second Escape after the end does nothing
        QTest::qWait(100);
        QVERIFY(!coordinator->isSelecting());

        outcome.reset();
        coordinator->captureArea();
        waitForOverlays();
        xdotool({"mousemove", "500", "500", "click", "1"});
        QVERIFY(waitForOutcome());
        QVERIFY(!outcome->isSaved());
        // A 1-point drag cancels too; 2 × 2 commits.
        outcome.reset();
        coordinator->captureArea();
        waitForOverlays();
        dragWithXdotool(QPoint(600, 600), QPoint(601, 640));
        QVERIFY(waitForOutcome());
        QVERIFY(!outcome->isSaved());
        outcome.reset();
        coordinator->captureArea();
        waitForOverlays();
        dragWithXdotool(QPoint(600, 600), QPoint(602, 602));
        QVERIFY(waitForOutcome());
        QVERIFY(outcome->isSaved());
        QCOMPARE(QImage(outcome->path).size(), QSize(2, 2));
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
        QCOMPARE(coordinator->overlays().kept(), 1);
        QVERIFY(!window->isVisible());
        outcome.reset();
        coordinator->captureArea();
        waitForOverlays();
        QCOMPARE(coordinator->selection()->windows().first(), window);
        xdotool({"key", "Escape"});
        QVERIFY(waitForOutcome());
        coordinator->overlays().setKeepFor(100);
        QTRY_COMPARE(coordinator->overlays().kept(), 0);
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
        QVERIFY(outcome->isSaved());
        const QImage saved(outcome->path);
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
        QVERIFY(!outcome->isSaved());
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
            QObject context;
            void capture(const Request &, Completion done) override
            {
                QTimer::singleShot(0, &context, [done] { done(Error{QStringLiteral("display gone")}); });
            }
        };
        CaptureCoordinator broken(std::make_unique<Broken>());
        QStringList order;
        broken.onFailure = [this, &order](const QString &message) {
            failures << message;
            order << "alert";
        };
        broken.onFinished = [this](const CaptureOutcome &r) { outcome = r; };
        // Whoever waits for the answer (`pim full`) hears it before the alert, which waits for the user.
        broken.captureArea([&order](const CaptureOutcome &) { order << "answer"; });
        QTRY_VERIFY(outcome.has_value());
        QCOMPARE(order, (QStringList{"answer", "alert"}));
        QCOMPARE(outcome->kind, CaptureOutcome::Kind::failed);
        QCOMPARE(outcome->message, QStringLiteral("display gone"));
        QVERIFY(!broken.isSelecting());
        outcome.reset();
        broken.captureFullScreen(0);
        QTRY_VERIFY(outcome.has_value());
        QCOMPARE(outcome->kind, CaptureOutcome::Kind::failed);
        QCOMPARE(failures, (QStringList{"display gone", "display gone"}));
        QVERIFY(savedFiles().isEmpty());
    }

    // The screens are read later: requests that arrive meanwhile are ignored without an alert, and the
    // first goes on once the pictures come.
    void requestsWhileReadingTheScreenAreIgnored()
    {
        struct Held : ScreenCapturer {
            QList<Completion> waiting;
            QList<Request> requests;
            void capture(const Request &request, Completion done) override
            {
                requests << request;
                waiting << std::move(done);
            }
        };
        auto capturer = std::make_unique<Held>();
        Held *held = capturer.get();
        CaptureCoordinator coordinator(std::move(capturer));
        coordinator.onFailure = [this](const QString &message) { failures << message; };
        std::optional<CaptureOutcome> first;
        coordinator.captureFullScreen(0, [&](const CaptureOutcome &r) { first = r; });
        QVERIFY(coordinator.isReading());
        QVERIFY(!first);
        QList<CaptureOutcome::Kind> nested;
        coordinator.captureArea([&](const CaptureOutcome &r) { nested << r.kind; });
        coordinator.captureFullScreen(0, [&](const CaptureOutcome &r) { nested << r.kind; });
        bool pipetteRefused = false;
        coordinator.readScreens({QGuiApplication::primaryScreen()},
                                [&](const ScreenCapturer::Pictures &p) { pipetteRefused = !p.ok(); });
        QCOMPARE(nested,
                 (QList<CaptureOutcome::Kind>{CaptureOutcome::Kind::ignored, CaptureOutcome::Kind::ignored}));
        QVERIFY(pipetteRefused);
        QCOMPARE(held->waiting.size(), 1);
        QCOMPARE(held->requests.first().screens, QList<QScreen *>{QGuiApplication::primaryScreen()});

        QScreen *screen = QGuiApplication::primaryScreen();
        QImage image(screen->size() * screen->devicePixelRatio(), QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        held->waiting.takeFirst()(QList<QImage>{image});
        QVERIFY(first && first->isSaved());
        QVERIFY(!coordinator.isReading());
        QVERIFY(failures.isEmpty());
        QCOMPARE(savedFiles().size(), 1);
        QCOMPARE(QImage(first->path).pixelColor(10, 10), QColor(Qt::darkCyan));
    }

    // A window of Pim's hidden just before a capture is not in it, and the window of Pim's it uncovered
    // shows as it is (it cannot repaint while the screen is read, so it is repainted first).
    void windowsHiddenJustBeforeACaptureAreNotInIt()
    {
        MagentaCover cover;
        for (int round = 0; round < 3; ++round) {
            outcome.reset();
            cover.show();
            QVERIFY(QTest::qWaitForWindowExposed(&cover));
            // The positive control: the cover is on the screen before it closes.
            X11ScreenCapturer probe;
            QTRY_COMPARE(probe.grabRootRect(QRect(600, 400, 1, 1))->pixelColor(0, 0), QColor(255, 0, 255));
            if (round == 2) {
                // Hidden in the same call as the request, as a menu item or the welcome window does it.
                cover.hide();
                coordinator->captureArea();
                waitForOverlays();
                dragWithXdotool(QPoint(350, 250), QPoint(950, 650));
            } else {
                cover.hide();
                coordinator->captureFullScreen(0);
            }
            QVERIFY(waitForOutcome());
            QVERIFY2(outcome->isSaved(), qPrintable(outcome->message));
            const QImage saved(outcome->path);
            const QPoint origin = round == 2 ? QPoint(350, 250) : QPoint(0, 0);
            int wrong = 0;
            for (int y = 300; y < 600; y += 10)
                for (int x = 400; x < 900; x += 10)
                    wrong +=
                        saved.pixelColor(x - origin.x(), y - origin.y()) != PatternWindow::colourAt(x, y);
            QCOMPARE(wrong, 0);
        }
    }

    // A window that went a while before the reading (the event loop was busy in between): Pim's own
    // windows under it are still drawn again before the screen is read, and the picture shows them.
    void ownWindowsUnderAWindowClosedLongAgoAreRepainted()
    {
        MagentaCover cover;
        cover.show();
        QVERIFY(QTest::qWaitForWindowExposed(&cover));
        X11ScreenCapturer capturer;
        QTRY_COMPARE(capturer.grabRootRect(QRect(600, 400, 1, 1))->pixelColor(0, 0), QColor(255, 0, 255));
        const ClosingWindow closed{cover.windowHandle()->winId(), cover.frameGeometry(),
                                   std::chrono::steady_clock::now() - std::chrono::seconds(1)};
        cover.hide();
        ScreenCapturer::Request request;
        request.screens = {QGuiApplication::primaryScreen()};
        request.closing = {closed};
        int repaints = 0;
        request.repaintUncovered = [&repaints, closing = request.closing] {
            ++repaints;
            ClosingWindows::repaintUnder(closing);
        };
        std::optional<ScreenCapturer::Pictures> pictures;
        capturer.capture(request, [&pictures](const ScreenCapturer::Pictures &read) { pictures = read; });
        QTRY_VERIFY(pictures.has_value());
        QVERIFY(pictures->ok());
        QCOMPARE(repaints, 1);
        const QImage &screen = pictures->value().first();
        int wrong = 0;
        for (int y = 300; y < 600; y += 10)
            for (int x = 400; x < 900; x += 10)
                wrong += screen.pixelColor(x, y) != PatternWindow::colourAt(x, y);
        QCOMPARE(wrong, 0);
    }

    // While a selection is on screen the full-screen shortcut still captures (the overlay holds the
    // keyboard, so its key is matched by Pim itself); the area shortcut is ignored then.
    void fullScreenShortcutDuringASelection()
    {
        GlobalShortcuts::setHotKeyService(std::make_unique<X11HotKeyService>());
        using GlobalShortcuts::Name;
        GlobalShortcuts::onKeyDown(Name::captureFullScreen(), [this] { coordinator->captureFullScreen(0); });
        GlobalShortcuts::onKeyDown(Name::captureArea(), [this] { coordinator->captureArea(); });
        xdotool({"mousemove", "900", "500"});
        xdotool({"key", "shift+super+7"});
        QTRY_VERIFY(coordinator->isSelecting());
        waitForOverlays();
        SelectionController *selection = coordinator->selection();
        xdotool({"key", "shift+super+7"});
        xdotool({"key", "shift+super+8"});
        QVERIFY(waitForOutcome());
        QVERIFY2(outcome->isSaved(), qPrintable(outcome->message));
        QCOMPARE(QImage(outcome->path).size(), QSize(1920, 1080));
        QCOMPARE(coordinator->selection(), selection); // still selecting, the same selection
        outcome.reset();
        xdotool({"key", "Escape"});
        QVERIFY(waitForOutcome());
        QCOMPARE(outcome->kind, CaptureOutcome::Kind::cancelled);
        QCOMPARE(savedFiles().size(), 1);
    }

    // A drag to the last pixel column and row of the screen includes them.
    void dragToTheScreensFarEdgeIncludesItsLastPixels()
    {
        coordinator->captureArea();
        waitForOverlays();
        dragWithXdotool(QPoint(1800, 1000), QPoint(1919, 1079));
        QVERIFY(waitForOutcome());
        QVERIFY(outcome->isSaved());
        const QImage saved(outcome->path);
        QCOMPARE(saved.size(), QSize(120, 80));
        QCOMPARE(saved.pixelColor(119, 79), PatternWindow::colourAt(1919, 1079));
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
