// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Brand.h"
#include "app/InstanceCommands.h"
#include "app/InstanceServer.h"
#include "app/Localization.h"
#include "app/SessionServices.h"
#include "app/StatusItemController.h"
#include "capture/CaptureCoordinator.h"
#include "capture/RecordingController.h"
#include "common/Log.h"
#include "editor/EditorManager.h"
#include "history/HistoryWindowController.h"
#include "history/TextIndex.h"
#include "history/TextIndexer.h"
#include "imagetools/OCRService.h"
#include "platform/DesktopSession.h"
#include "platform/portal/PipeWireFrameSource.h"
#include "platform/portal/PortalScreenCapturer.h"
#include "platform/sway/SwayWindowLister.h"
#include "platform/x11/X11FrameSource.h"
#include "platform/x11/X11ScreenCapturer.h"
#include "platform/x11/X11ScrollingSource.h"
#include "platform/x11/X11WindowLister.h"
#include "preview/PreviewPanel.h"
#include "settings/AppSettings.h"
#include "shortcuts/GlobalShortcuts.h"

#include <QApplication>
#include <QDBusConnection>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Tesseract's OpenMP threads make recognition several times slower unless OMP_THREAD_LIMIT=1 is in the
// environment when the process starts (setting it later has no effect), so Pim restarts itself once
// with it set.
// This program's own file: exec'ing it by this path (not /proc/self/exe) keeps the process named "pim",
// so that `pkill pim` and the desktop's task lists find it.
std::string ownPath()
{
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    if (n <= 0)
        return "/proc/self/exe";
    return std::string(buffer, size_t(n));
}

void ensureSingleThreadedOpenMP(char **argv)
{
    if (std::getenv("OMP_THREAD_LIMIT"))
        return;
    ::setenv("OMP_THREAD_LIMIT", "1", 1);
    ::execv(ownPath().c_str(), argv);
    // exec failed: carry on in this process, only slower.
}

// The screen reader for the session Pim runs in. It holds its own display connection and ends with the
// coordinator, before the application object does.
std::unique_ptr<ScreenCapturer> makeScreenCapturer(DesktopSession::Kind session)
{
    // PIM_CAPTURE_BUFFERS_MS: how long the screen reader keeps its buffers after a burst, and the text
    // recognition its engines (tests, benches).
    bool number = false;
    int keep = qEnvironmentVariableIntValue("PIM_CAPTURE_BUFFERS_MS", &number);
    if (!number || keep < 0)
        keep = -1;
    else
        OCRService::setEnginesKeptFor(keep);
    switch (session) {
    case DesktopSession::Kind::X11: {
        auto capturer = std::make_unique<X11ScreenCapturer>();
        if (keep >= 0)
            capturer->setKeepBuffersFor(keep);
        return capturer;
    }
    case DesktopSession::Kind::Wayland: return std::make_unique<PortalScreenCapturer>();
    case DesktopSession::Kind::None: break;
    }
    // No way to read the screen on this platform: every capture reports it.
    struct Unavailable : ScreenCapturer {
        QObject context;
        void capture(const Request &, Completion done) override
        {
            QTimer::singleShot(0, &context, [done = std::move(done)] {
                done(
                    Error{QStringLiteral("La capture d'écran n'est pas disponible sur cette plateforme (%1).")
                              .arg(QGuiApplication::platformName())});
            });
        }
    };
    return std::make_unique<Unavailable>();
}

// Hands Pim's shortcuts to the desktop, where it owns them.
void bindDesktopShortcuts()
{
    using GlobalShortcuts::Name;
    if (GlobalShortcuts::DesktopShortcutService *desktop = GlobalShortcuts::desktopService())
        desktop->bind({{Name::captureArea().rawValue, QStringLiteral("Capturer une zone"),
                        Name::captureArea().shortcut()},
                       {Name::captureFullScreen().rawValue, QStringLiteral("Capturer l'écran complet"),
                        Name::captureFullScreen().shortcut()},
                       {Name::captureWindow().rawValue, QStringLiteral("Capturer une fenêtre"),
                        Name::captureWindow().shortcut()},
                       {Name::captureScrolling().rawValue, QStringLiteral("Capture défilante"),
                        Name::captureScrolling().shortcut()},
                       {Name::recordArea().rawValue, QStringLiteral("Enregistrer une zone"),
                        Name::recordArea().shortcut()}});
}

void registerShortcuts(CaptureCoordinator *coordinator, RecordingController *recording)
{
    using GlobalShortcuts::Name;
    QPointer<CaptureCoordinator> weak(coordinator);
    // The same keys start a recording of an area and stop it.
    QPointer<RecordingController> recorder(recording);
    GlobalShortcuts::onKeyDown(Name::recordArea(), [recorder] {
        if (recorder && !recorder->stop())
            recorder->recordArea({});
    });
    GlobalShortcuts::onKeyDown(Name::captureArea(), [weak] {
        if (weak)
            weak->captureArea();
    });
    GlobalShortcuts::onKeyDown(Name::captureFullScreen(), [weak] {
        if (weak)
            weak->captureFullScreen(0);
    });
    GlobalShortcuts::onKeyDown(Name::captureWindow(), [weak] {
        if (weak)
            weak->captureWindow();
    });
    GlobalShortcuts::onKeyDown(Name::captureScrolling(), [weak] {
        if (weak)
            weak->captureScrolling();
    });
}

int quitSignalSocket[2] = {-1, -1};

void onQuitSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(quitSignalSocket[0], &byte, 1);
}

// Ctrl+C in the terminal that started Pim, or a plain `kill`, quits it the way its menu does: the event
// loop ends and everything closes in order (the socket file goes, the history is on disk).
void quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, quitSignalSocket) != 0)
        return;
    auto *notifier = new QSocketNotifier(quitSignalSocket[1], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [notifier] {
        char byte;
        while (::read(quitSignalSocket[1], &byte, 1) > 0) {
        }
        notifier->setEnabled(false);
        // A second Ctrl+C ends Pim at once, should quitting hang.
        ::signal(SIGINT, SIG_DFL);
        ::signal(SIGTERM, SIG_DFL);
        QCoreApplication::quit();
    });
    struct sigaction action {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

// Says on standard error when search in the captures goes away or comes back.
void reportSearchAvailability(TextIndexer &indexer, TextIndex &textIndex)
{
    QObject::connect(
        &indexer, &TextIndexer::indexed, &indexer, [&textIndex, off = !textIndex.isAvailable()]() mutable {
            if (off == !textIndex.isAvailable())
                return;
            off = !textIndex.isAvailable();
            if (off)
                qCWarning(logHistory, "recherche dans les captures désactivée pour l'instant : %s",
                          qPrintable(textIndex.problem()));
            else
                qCInfo(logHistory, "recherche dans les captures de nouveau disponible");
        });
}

// The instance's parts, made in the order they use each other and ended in the reverse order, all
// before the application object.
int runInstance(QApplication &app, InstanceServer &server)
{
    // The coordinator owns the screen-reading service; the pipette reads the screens through it too.
    const DesktopSession::Kind session = DesktopSession::current();
    CaptureCoordinator coordinator(makeScreenCapturer(session));
    // On X11 the wheel can be turned over another program's window: scrolling captures.
    // And other programs' windows can be listed: window captures.
    if (auto *x11 = dynamic_cast<X11ScreenCapturer *>(&coordinator.capturer())) {
        coordinator.setScrollingSource(std::make_unique<X11ScrollingSource>(*x11));
        coordinator.setWindowLister(std::make_unique<X11WindowLister>());
    } else if (session == DesktopSession::Kind::Wayland && qEnvironmentVariableIsSet("SWAYSOCK")) {
        // Wayland keeps other programs' windows' places to itself; sway tells them through its own socket.
        coordinator.setWindowLister(std::make_unique<SwayWindowLister>(qEnvironmentVariable("SWAYSOCK")));
    }
    // Recordings read the screen through their own connection, frame after frame.
    RecordingController recording(coordinator);
    if (session == DesktopSession::Kind::X11) {
        recording.setFrameSourceFactory([] { return std::make_unique<X11FrameSource>(); });
    } else if (session == DesktopSession::Kind::Wayland) {
        // The desktop's screen-cast portal; the token it gives keeps its permission from one recording to
        // the next.
        recording.setFrameSourceFactory([] {
            const QString key = QStringLiteral("screenCastRestoreToken");
            return std::make_unique<PipeWireFrameSource>(
                QDBusConnection::sessionBus(),
                PipeWireFrameSource::TokenStore{
                    [key] { return AppSettings::shared().defaults().value(key).toString(); },
                    [key](const QString &token) {
                        AppSettings::shared().defaults().setValue(key, token);
                        AppSettings::shared().defaults().sync();
                    }});
        });
    }
    recording.onRecorded = [](const QImage &first, const QString &path, qint64 microseconds,
                              QScreen *screen) {
        PreviewManager::shared().showRecording(first, path, microseconds, screen);
    };
    // The words in the captures: an index beside the history, kept up to date in the background.
    TextIndex textIndex;
    if (!textIndex.isAvailable())
        qCWarning(logHistory, "recherche dans les captures indisponible : %s",
                  qPrintable(textIndex.problem()));
    TextIndexer indexer(&textIndex, QCoreApplication::applicationFilePath());
    // PIM_TEXT_INDEX_PRIORITY=normal: readings at the normal priority (test runs that keep the machine
    // busy).
    if (qEnvironmentVariable("PIM_TEXT_INDEX_PRIORITY") == QLatin1String("normal"))
        indexer.setIdlePriority(false);
    reportSearchAvailability(indexer, textIndex);
    const SessionServices services(session, coordinator, indexer);

    StatusItemController statusItem(&coordinator, &recording);
    statusItem.onOpenEditor = [](const QImage &image, double scale, const QString &path) {
        EditorManager::shared().openEditor(image, scale, path);
    };
    statusItem.onHistoryWindowCreated = [&textIndex, &indexer](HistoryWindowController *window) {
        window->onSearch = [&textIndex](const QString &words) { return textIndex.search(words); };
        window->textOf = [&textIndex](const QString &path) { return textIndex.text(path); };
        window->setSearchAvailable(textIndex.ensureAvailable(), textIndex.problem());
        QObject::connect(&indexer, &TextIndexer::indexed, window, [window, &textIndex] {
            window->setSearchAvailable(textIndex.isAvailable(), textIndex.problem());
            window->refreshSearch();
        });
    };
    InstanceCommands::Targets commandTargets{coordinator, statusItem, textIndex, recording};
    server.onRequest = [&commandTargets](const CommandLine::Request &request,
                                         const InstanceServer::Reply &reply) {
        InstanceCommands::handle(request, reply, commandTargets);
    };
    registerShortcuts(&coordinator, &recording);
    bindDesktopShortcuts();
    if (!AppSettings::shared().hasSeenWelcome())
        statusItem.showWelcome();

    const int status = app.exec();
    // A recording under way when Pim quits is finished and kept in the history.
    recording.finishBeforeQuitting();
    server.onRequest = nullptr;
    return status;
}

// `--read-text PATH LANGUAGES`: the text index's reader, a process of its own that the instance starts at
// the lowest priority and stops while a capture runs. Prints the picture's text in reading order.
int readText(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const Result<QString> text = TextIndexer::readPicture(
        QString::fromLocal8Bit(argv[2]), QString::fromUtf8(argv[3]).split(u',', Qt::SkipEmptyParts));
    if (!text) {
        std::fprintf(stderr, "%s\n", qPrintable(text.error().message));
        return 1;
    }
    const QByteArray bytes = text->toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    return 0;
}

} // namespace

// The tray instance: started by the `pim` command (which execs it, or spawns it in the background for a
// command when none runs), from the same folder once installed under libexec.
int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--read-text") == 0)
        return readText(argc, argv);
    ensureSingleThreadedOpenMP(argv);
    // Pictures of a screen are given back to the system when they go: a fixed threshold keeps large
    // blocks out of the heap, where glibc's sliding one would put the second 4K picture and keep it.
    ::mallopt(M_MMAP_THRESHOLD, 4 * 1024 * 1024);
    // One voice on standard error: every message as "pim: text", Qt's own too.
    qSetMessagePattern(QStringLiteral("pim: %{message}"));
    QApplication app(argc, argv);
    if (!Localization::install(app))
        qCWarning(logApp, "traductions françaises de Qt introuvables (paquet qt6-translations-l10n) : "
                          "les fenêtres de Qt restent en anglais");
    QApplication::setApplicationName(QStringLiteral("Pim"));
    QApplication::setOrganizationName(QStringLiteral("Pim"));
    QApplication::setApplicationVersion(Brand::version());
    QApplication::setQuitOnLastWindowClosed(false);
    // Before the socket exists: a signal sent as soon as Pim answers is heard (a background job started by
    // a script ignores SIGINT until then).
    quitOnSignals(app);

    InstanceServer server;
    const Result<InstanceServer::Claim> claim = server.claim();
    if (!claim) {
        qCWarning(logApp, "%s", qPrintable(claim.error().message));
        return 1;
    }
    if (*claim == InstanceServer::Claim::anotherRuns)
        return 0; // another instance started meanwhile: it is the one
    return runInstance(app, server);
}
