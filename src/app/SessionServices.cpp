// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SessionServices.h"

#include "app/MainMenu.h"
#include "capture/CaptureCoordinator.h"
#include "capture/ScreenRecordingPermission.h"
#include "common/WindowPlacement.h"
#include "editor/EditorManager.h"
#include "editor/EditorWindowController.h"
#include "history/HistoryStore.h"
#include "history/TextIndexer.h"
#include "imagetools/ColorPickerService.h"
#include "imagetools/OCRService.h"
#include "platform/portal/PortalPermissionSource.h"
#include "platform/portal/PortalScreenCapturer.h"
#include "platform/portal/PortalShortcutService.h"
#include "platform/x11/X11Compositing.h"
#include "platform/x11/X11HotKeyService.h"
#include "platform/x11/XkbKeyboardLayout.h"
#include "preview/PinWindow.h"
#include "preview/PreviewPanel.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/KeyboardLayout.h"

#include <QAction>
#include <QDBusConnection>
#include <QGuiApplication>

namespace {

void recordInHistory(const QString &path)
{
    HistoryStore::shared().add(path);
}

} // namespace

SessionServices::SessionServices(DesktopSession::Kind session, CaptureCoordinator &coordinator,
                                 TextIndexer &indexer)
    : m_session(session), m_coordinator(coordinator), m_indexer(indexer)
{
    installBackends();
    installHooks();
    connectEditorCommands();
}

SessionServices::~SessionServices()
{
    // The windows that use the backends go first: the preview, then the editors' hook.
    PreviewManager::shared().dismissImmediately();
    EditorManager::shared().onWindowCreated = nullptr;
    PreviewManager::shared().openEditor = nullptr;
    PinWindow::openEditor = nullptr;
    for (PinWindow *pin : PinWindow::all())
        delete pin;
    HistoryStore::shared().onEntriesChanged = nullptr;
    m_coordinator.output().onSaved = nullptr;
    m_coordinator.onCaptured = nullptr;
    m_coordinator.onFinished = nullptr;
    m_coordinator.onCaptureStarting = nullptr;

    ColorPickerService::setPointerLocator(nullptr);
    ColorPickerService::setScreenGrabber(nullptr);
    GlobalShortcuts::setDesktopService(nullptr);
    ScreenRecordingPermission::stopPolling();
    ScreenRecordingPermission::setSource(nullptr);
    WindowPlacement::setCompositorPlacesWindows(false);
    GlobalShortcuts::setHotKeyService(nullptr);
    KeyboardLayout::setLayoutSource(nullptr);
    // The recognition engine is not left to the end of the process.
    OCRService::releaseEngine();
}

// The global shortcuts: Pim's own key grabs on X11; on Wayland the desktop owns them through its portal
// (or, without one, the user binds the `pim area` and `pim full` commands in the desktop's settings), and
// the portal keeps the screenshot permission.
void SessionServices::installBackends()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        KeyboardLayout::setLayoutSource(XkbKeyboardLayout::fromServer());
    switch (m_session) {
    case DesktopSession::Kind::X11:
        GlobalShortcuts::setHotKeyService(std::make_unique<X11HotKeyService>());
        WindowPlacement::setCompositingProbe(X11Compositing::managerRuns);
        break;
    case DesktopSession::Kind::Wayland: {
        // Only the compositor places windows: the overlays and the pipette cover their screen full-screen,
        // the preview neither slides nor fades.
        WindowPlacement::setCompositorPlacesWindows(true);
        WindowPlacement::setCompositingProbe([] { return true; });
        // Asking for the permission is one interactive screenshot: the desktop shows its own dialog.
        auto *portal = dynamic_cast<PortalScreenCapturer *>(&m_coordinator.capturer());
        ScreenRecordingPermission::setSource(
            std::make_unique<PortalPermissionSource>(QDBusConnection::sessionBus(), [portal] {
                if (portal)
                    portal->askPermission();
            }));
        GlobalShortcuts::setDesktopService(std::make_unique<PortalShortcutService>());
        break;
    }
    case DesktopSession::Kind::None: break;
    }
    // The pipette reads the screens the way a capture does, through the coordinator's screen reader.
    CaptureCoordinator &coordinator = m_coordinator;
    ColorPickerService::setScreenGrabber(
        [&coordinator](const QList<QScreen *> &screens, ScreenCapturer::Completion done) {
            coordinator.readScreens(screens, std::move(done));
        });
    ColorPickerService::setPointerLocator([&coordinator] { return coordinator.capturer().nativePointer(); });
    // The permission is read at launch and again whenever Pim becomes active.
    ScreenRecordingPermission::refresh();
    QObject::connect(qApp, &QGuiApplication::applicationStateChanged, &m_context,
                     [](Qt::ApplicationState state) {
                         if (state == Qt::ApplicationActive)
                             ScreenRecordingPermission::refresh();
                     });
}

void SessionServices::installHooks()
{
    TextIndexer &indexer = m_indexer;
    HistoryStore::shared().onEntriesChanged = [&indexer] {
        indexer.follow(HistoryStore::shared().entries());
    };
    indexer.follow(HistoryStore::shared().entries());
    // A capture pauses the text index and takes any preview away at once.
    m_coordinator.onCaptureStarting = [&indexer] {
        indexer.setCaptureRunning(true);
        PreviewManager::shared().dismissImmediately();
    };
    m_coordinator.onFinished = [&indexer](const CaptureOutcome &) { indexer.setCaptureRunning(false); };
    m_coordinator.onCaptured = [](const QImage &image, int scale, const QString &path, QScreen *screen) {
        PreviewManager::shared().show(image, scale, path, screen);
    };
    m_coordinator.output().onSaved = recordInHistory;
    PreviewManager::shared().openEditor = [](const QImage &image, double scale, const QString &path) {
        EditorManager::shared().openEditor(image, scale, path);
    };
    EditorManager::shared().onWindowCreated = [](EditorWindowController *editor) {
        editor->addActions(MainMenu::shared().allActions());
        editor->output().onSaved = recordInHistory;
        editor->onPin = [](const QImage &image, double scale) { PinWindow::open(image, scale); };
    };
    PinWindow::openEditor = [](const QImage &image, double scale, const QString &path) {
        EditorManager::shared().openEditor(image, scale, path);
    };
}

// The main menu's editor commands act on the active editor window.
void SessionServices::connectEditorCommands()
{
    MainMenu &menu = MainMenu::shared();
    const auto onActive = [](void (*command)(EditorWindowController *)) {
        return [command] {
            if (EditorWindowController *editor = EditorManager::shared().activeEditor())
                command(editor);
        };
    };
    QObject::connect(menu.save, &QAction::triggered, &m_context,
                     onActive([](EditorWindowController *e) { e->saveComposedImage(); }));
    QObject::connect(menu.copy, &QAction::triggered, &m_context,
                     onActive([](EditorWindowController *e) { e->copyComposedImage(); }));
    QObject::connect(menu.undo, &QAction::triggered, &m_context,
                     onActive([](EditorWindowController *e) { e->undo(); }));
    QObject::connect(menu.redo, &QAction::triggered, &m_context,
                     onActive([](EditorWindowController *e) { e->redo(); }));
}
