// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Brand.h"
#include "app/InstanceServer.h"
#include "app/Localization.h"
#include "app/MainMenu.h"
#include "app/StatusItemController.h"
#include "capture/CaptureCoordinator.h"
#include "capture/ScreenRecordingPermission.h"
#include "common/Log.h"
#include "common/WindowPlacement.h"
#include "editor/AnnotationCanvasView.h"
#include "editor/EditorManager.h"
#include "editor/EditorWindowController.h"
#include "history/HistoryStore.h"
#include "history/HistoryWindowController.h"
#include "history/TextIndex.h"
#include "history/TextIndexer.h"
#include "imagetools/ColorPickerService.h"
#include "platform/DesktopSession.h"
#include "platform/portal/PortalPermissionSource.h"
#include "platform/portal/PortalScreenCapturer.h"
#include "platform/portal/PortalShortcutService.h"
#include "platform/x11/X11HotKeyService.h"
#include "platform/x11/X11ScreenCapturer.h"
#include "platform/x11/XkbKeyboardLayout.h"
#include "preview/PreviewPanel.h"
#include "settings/AppSettings.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/MenuTracker.h"
#include "shortcuts/ShortcutRecorder.h"

#include <QApplication>
#include <QDBusConnection>
#include <QSocketNotifier>
#include <QTimer>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <map>
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
    switch (session) {
    case DesktopSession::Kind::X11: {
        auto capturer = std::make_unique<X11ScreenCapturer>();
        // PIM_CAPTURE_BUFFERS_MS: how long the screen reader keeps its buffers after a burst (tests).
        bool number = false;
        const int keep = qEnvironmentVariableIntValue("PIM_CAPTURE_BUFFERS_MS", &number);
        if (number && keep >= 0)
            capturer->setKeepBuffersFor(keep);
        return capturer;
    }
    case DesktopSession::Kind::Wayland:
        return std::make_unique<PortalScreenCapturer>();
    case DesktopSession::Kind::None:
        break;
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

// The session's services besides the screen reader. The global shortcuts: Pim's own key grabs on X11; on
// Wayland the desktop owns them through its portal (or, without one, the user binds the `pim area` and
// `pim full` commands in the desktop's settings), and the portal keeps the screenshot permission.
void installSessionServices(DesktopSession::Kind session, ScreenCapturer &capturer)
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        installX11KeyboardLayout();
    if (session == DesktopSession::Kind::X11) {
        GlobalShortcuts::setHotKeyService(std::make_unique<X11HotKeyService>());
    } else if (session == DesktopSession::Kind::Wayland) {
        // Only the compositor places windows: the overlays and the pipette cover their screen full-screen,
        // the preview neither slides nor fades.
        WindowPlacement::setCompositorPlacesWindows(true);
        // Asking for the permission is one interactive screenshot: the desktop shows its own dialog.
        auto *portal = dynamic_cast<PortalScreenCapturer *>(&capturer);
        ScreenRecordingPermission::setSource(
            std::make_unique<PortalPermissionSource>(QDBusConnection::sessionBus(), [portal] {
                if (portal)
                    portal->askPermission();
            }));
        GlobalShortcuts::setDesktopService(std::make_unique<PortalShortcutService>());
    }
}

// Hands Pim's two shortcuts to the desktop, where it owns them.
void bindDesktopShortcuts()
{
    using GlobalShortcuts::Name;
    if (GlobalShortcuts::DesktopShortcutService *desktop = GlobalShortcuts::desktopService())
        desktop->bind({{Name::captureArea().rawValue, QStringLiteral("Capturer une zone"),
                        Name::captureArea().shortcut()},
                       {Name::captureFullScreen().rawValue, QStringLiteral("Capturer l'écran complet"),
                        Name::captureFullScreen().shortcut()}});
}

// The main menu's editor commands act on the active editor window.
void connectEditorCommands()
{
    MainMenu &menu = MainMenu::shared();
    const auto onActive = [](void (*command)(EditorWindowController *)) {
        return [command] {
            if (EditorWindowController *editor = EditorManager::shared().activeEditor())
                command(editor);
        };
    };
    QObject::connect(menu.save, &QAction::triggered, qApp,
                     onActive([](EditorWindowController *e) { e->saveComposedImage(); }));
    QObject::connect(menu.copy, &QAction::triggered, qApp,
                     onActive([](EditorWindowController *e) { e->copyComposedImage(); }));
    QObject::connect(menu.undo, &QAction::triggered, qApp,
                     onActive([](EditorWindowController *e) { e->undo(); }));
    QObject::connect(menu.redo, &QAction::triggered, qApp,
                     onActive([](EditorWindowController *e) { e->redo(); }));
    EditorManager::shared().onWindowCreated = [](QWidget *window) {
        window->addActions(MainMenu::shared().allActions());
    };
}

void registerShortcuts(CaptureCoordinator *coordinator)
{
    using GlobalShortcuts::Name;
    QPointer<CaptureCoordinator> weak(coordinator);
    GlobalShortcuts::onKeyDown(Name::captureArea(), [weak] {
        if (weak)
            weak->captureArea();
    });
    GlobalShortcuts::onKeyDown(Name::captureFullScreen(), [weak] {
        if (weak)
            weak->captureFullScreen(0);
    });
}

// `pim search WORDS…`: the captures whose text holds every word, newest first, one path a line.
void answerSearch(const CommandLine::Request &request, const InstanceServer::Reply &reply, TextIndex &index)
{
    if (!index.ensureAvailable()) {
        reply(false, QStringLiteral("recherche indisponible : ") + index.problem());
        return;
    }
    QStringList words;
    for (const std::string &word : request.arguments)
        words << QString::fromStdString(word);
    const QSet<QString> matches = index.search(words.join(u' '));
    QStringList paths;
    for (const HistoryStore::Entry &entry : HistoryStore::shared().entries()) {
        if (matches.contains(entry.path))
            paths << entry.path;
    }
    if (paths.isEmpty())
        reply(false, QStringLiteral("aucune capture ne contient ces mots"));
    else
        reply(true, paths.join(u'\n'));
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

// What the commands of the command line act on in the running instance.
struct CommandTargets {
    CaptureCoordinator &coordinator;
    StatusItemController &statusItem;
    TextIndex &textIndex;
};
using Reply = InstanceServer::Reply;
using Command = void (*)(const CommandLine::Request &, const Reply &, CommandTargets &);

// A capture's outcome as the command's answer: the file's path, or why there is none.
std::function<void(const CaptureOutcome &)> answerCapture(const Reply &reply)
{
    return [reply](const CaptureOutcome &outcome) {
        switch (outcome.kind) {
        case CaptureOutcome::Kind::saved:
            reply(true, outcome.path);
            return;
        case CaptureOutcome::Kind::failed:
            reply(false, outcome.message);
            return;
        case CaptureOutcome::Kind::cancelled:
        case CaptureOutcome::Kind::ignored:
        case CaptureOutcome::Kind::permissionMissing:
            reply(false, QStringLiteral("capture annulée"));
            return;
        }
    };
}

QString firstArgument(const CommandLine::Request &request)
{
    return request.arguments.empty() ? QString() : QString::fromStdString(request.arguments.front());
}

void captureFullScreen(const CommandLine::Request &request, const Reply &reply, CommandTargets &targets)
{
    // The command checks the delay; a raw request may send anything.
    const QString argument = firstArgument(request);
    bool number = false;
    const double delay = argument.isEmpty() ? 0 : argument.toDouble(&number);
    if ((!argument.isEmpty() && !number) || !std::isfinite(delay) || delay < 0 || delay > 3600)
        reply(false, QStringLiteral("délai invalide : %1 (de 0 à 3600 secondes)").arg(argument));
    else
        targets.coordinator.captureFullScreen(delay, answerCapture(reply));
}

// The commands the running instance carries out, by name.
const std::map<std::string, Command> &commands()
{
    static const std::map<std::string, Command> table{
        {"show",
         [](const CommandLine::Request &, const Reply &reply, CommandTargets &) { reply(true, QString()); }},
        {"area", [](const CommandLine::Request &, const Reply &reply,
                    CommandTargets &targets) { targets.coordinator.captureArea(answerCapture(reply)); }},
        {"full", captureFullScreen},
        {"edit",
         [](const CommandLine::Request &request, const Reply &reply, CommandTargets &) {
             const QString error = EditorManager::shared().openFile(firstArgument(request));
             reply(error.isEmpty(), error);
         }},
        {"history",
         [](const CommandLine::Request &, const Reply &reply, CommandTargets &targets) {
             targets.statusItem.showHistory();
             reply(true, QString());
         }},
        {"preferences",
         [](const CommandLine::Request &, const Reply &reply, CommandTargets &targets) {
             targets.statusItem.showPreferences();
             reply(true, QString());
         }},
        {"search", [](const CommandLine::Request &request, const Reply &reply,
                      CommandTargets &targets) { answerSearch(request, reply, targets.textIndex); }},
        {"pick-color",
         [](const CommandLine::Request &, const Reply &reply, CommandTargets &) {
             ColorPickerService::pickAndCopyHex(
                 [reply](const QString &code) { reply(true, code); },
                 [reply] { reply(false, QStringLiteral("aucune couleur choisie")); });
         }},
        {"quit",
         [](const CommandLine::Request &, const Reply &reply, CommandTargets &) {
             reply(true, QString());
             QTimer::singleShot(0, qApp, &QCoreApplication::quit);
         }},
    };
    return table;
}

// Carries out a command-line request in the running instance.
void handleRequest(const CommandLine::Request &request, const Reply &reply, CommandTargets &targets)
{
    const auto command = commands().find(request.command);
    if (command == commands().end())
        reply(false, QStringLiteral("commande inconnue : ") + QString::fromStdString(request.command));
    else
        command->second(request, reply, targets);
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

    int status = 0;
    {
        InstanceServer server;
        const Result<InstanceServer::Claim> claim = server.claim();
        if (!claim) {
            qCWarning(logApp, "%s", qPrintable(claim.error().message));
            return 1;
        }
        if (*claim == InstanceServer::Claim::anotherRuns)
            return 0; // another instance started meanwhile: it is the one
        // The coordinator owns the screen-reading service; the pipette reads the screens through it too.
        const DesktopSession::Kind session = DesktopSession::current();
        CaptureCoordinator coordinator(makeScreenCapturer(session));
        ColorPickerService::setScreenGrabber(
            [&coordinator](const QList<QScreen *> &screens, ScreenCapturer::Completion done) {
                coordinator.readScreens(screens, std::move(done));
            });
        ColorPickerService::setPointerLocator(
            [&coordinator] { return coordinator.capturer().nativePointer(); });
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
        QObject::connect(
            &indexer, &TextIndexer::indexed, [&textIndex, off = !textIndex.isAvailable()]() mutable {
                if (off == !textIndex.isAvailable())
                    return;
                off = !textIndex.isAvailable();
                if (off)
                    qCWarning(logHistory, "recherche dans les captures désactivée pour l'instant : %s",
                                 qPrintable(textIndex.problem()));
                else
                    qCInfo(logHistory, "recherche dans les captures de nouveau disponible");
            });
        HistoryStore::shared().onEntriesChanged = [&indexer] {
            indexer.follow(HistoryStore::shared().entries());
        };
        indexer.follow(HistoryStore::shared().entries());
        coordinator.onCaptureStarting = [&indexer] {
            indexer.setCaptureRunning(true);
            PreviewManager::shared().dismissImmediately();
        };
        coordinator.onFinished = [&indexer](const CaptureOutcome &) { indexer.setCaptureRunning(false); };
        coordinator.onCaptured = [](const QImage &image, int scale, const QString &path, QScreen *screen) {
            PreviewManager::shared().show(image, scale, path, screen);
        };
        PreviewManager::shared().openEditor = [](const QImage &image, double scale, const QString &path) {
            EditorManager::shared().openEditor(image, scale, path);
        };
        OutputPipeline::onSaved = [](const QString &path) { HistoryStore::shared().add(path); };
        GlobalShortcuts::Recorder::menuItemFor = [](const QKeySequence &keys) {
            const QAction *action = MainMenu::shared().actionWithShortcut(keys);
            return action ? action->text() : QString();
        };
        connectEditorCommands();
        installSessionServices(session, coordinator.capturer());
        MenuTracker::install();
        StatusItemController statusItem(&coordinator);
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
        CommandTargets commandTargets{coordinator, statusItem, textIndex};
        server.onRequest = [&commandTargets](const CommandLine::Request &r,
                                             const InstanceServer::Reply &reply) {
            handleRequest(r, reply, commandTargets);
        };
        registerShortcuts(&coordinator);
        bindDesktopShortcuts();
        // The permission is read at launch and again whenever Pim becomes active.
        ScreenRecordingPermission::refresh();
        QObject::connect(&app, &QGuiApplication::applicationStateChanged, [](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive)
                ScreenRecordingPermission::refresh();
        });
        if (!AppSettings::shared().hasSeenWelcome())
            statusItem.showWelcome();

        status = app.exec();
        // The services holding X connections and windows end here, before the application object.
        PreviewManager::shared().dismissImmediately();
        ColorPickerService::setScreenGrabber(nullptr);
        ColorPickerService::setPointerLocator(nullptr);
        GlobalShortcuts::setHotKeyService(nullptr);
        GlobalShortcuts::setDesktopService(nullptr);
    }
    return status;
}
