#include "app/MainMenu.h"
#include "app/StatusItemController.h"
#include "capture/CaptureCoordinator.h"
#include "editor/AnnotationCanvasView.h"
#include "editor/EditorManager.h"
#include "editor/EditorWindowController.h"
#include "imagetools/ColorPickerService.h"
#include "platform/x11/X11HotKeyService.h"
#include "platform/x11/X11ScreenCapturer.h"
#include "preview/PreviewPanel.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/MenuTracker.h"

#include <QApplication>
#include <QLineEdit>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

// Tesseract's OpenMP threads make recognition several times slower unless OMP_THREAD_LIMIT=1 is in the
// environment when the process starts (setting it later has no effect), so Pim restarts itself once
// with it set.
void ensureSingleThreadedOpenMP(char **argv)
{
    if (std::getenv("OMP_THREAD_LIMIT"))
        return;
    ::setenv("OMP_THREAD_LIMIT", "1", 1);
    ::execv("/proc/self/exe", argv);
    // exec failed: carry on in this process, only slower.
}

// The screen reader for the session Pim runs in. It holds its own display connection and ends with the
// coordinator, before the application object does.
std::unique_ptr<ScreenCapturer> makeScreenCapturer()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        return std::make_unique<X11ScreenCapturer>();
    // No way to read the screen on this platform: every capture reports it.
    struct Unavailable : ScreenCapturer {
        Result<QImage> grabScreen(QScreen *) override
        {
            return Error{QStringLiteral("La capture d'écran n'est pas disponible sur cette plateforme (%1).")
                             .arg(QGuiApplication::platformName())};
        }
    };
    return std::make_unique<Unavailable>();
}

void installHotKeys()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        GlobalShortcuts::setHotKeyService(std::make_unique<X11HotKeyService>());
        installX11KeyboardLayout();
    }
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
    QObject::connect(menu.close, &QAction::triggered, qApp,
                     onActive([](EditorWindowController *e) { e->close(); }));
    QObject::connect(menu.undo, &QAction::triggered, qApp, onActive([](EditorWindowController *e) {
                         e->canvas()->commitTextEditing();
                         e->undoStack().undo();
                     }));
    QObject::connect(menu.redo, &QAction::triggered, qApp, onActive([](EditorWindowController *e) {
                         e->canvas()->commitTextEditing();
                         e->undoStack().redo();
                     }));
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

void printUsage(FILE *out)
{
    std::fprintf(out, "Usage: pim [edit FICHIER]\n"
                      "  pim              démarre Pim dans la zone de notification\n"
                      "  pim edit FICHIER ouvre une image PNG, JPEG ou WebP dans l'éditeur\n");
}

} // namespace

int main(int argc, char **argv)
{
    ensureSingleThreadedOpenMP(argv);
    QString editPath;
    if (argc >= 2) {
        if (std::strcmp(argv[1], "edit") == 0 && argc == 3) {
            editPath = QString::fromLocal8Bit(argv[2]);
        } else if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
            printUsage(stdout);
            return 0;
        } else {
            printUsage(stderr);
            return 2;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pim"));
    QApplication::setOrganizationName(QStringLiteral("Pim"));
    QApplication::setQuitOnLastWindowClosed(false);

    int status = 0;
    {
        // The coordinator owns the screen-reading service; the pipette reads the screens through it too.
        CaptureCoordinator coordinator(makeScreenCapturer());
        ColorPickerService::setScreenGrabber(
            [&coordinator](QScreen *screen) { return coordinator.capturer().grabScreen(screen); });
        ColorPickerService::setPointerLocator(
            [&coordinator] { return coordinator.capturer().nativePointer(); });
        coordinator.onCaptureStarting = [] { PreviewManager::shared().dismissImmediately(); };
        coordinator.onCaptured = [](const QImage &image, int scale, const QString &path, QScreen *screen) {
            PreviewManager::shared().show(image, scale, path, screen);
        };
        PreviewManager::shared().openEditor = [](const QImage &image, double scale, const QString &path) {
            EditorManager::shared().openEditor(image, scale, path);
        };
        connectEditorCommands();
        installHotKeys();
        MenuTracker::install();
        StatusItemController statusItem(&coordinator);
        registerShortcuts(&coordinator);

        if (!editPath.isEmpty()) {
            const QString error = EditorManager::shared().openFile(editPath);
            if (!error.isEmpty()) {
                std::fprintf(stderr, "pim: %s\n", qPrintable(error));
                return 1;
            }
        }
        status = app.exec();
        // The services holding X connections and windows end here, before the application object.
        PreviewManager::shared().dismissImmediately();
        ColorPickerService::setScreenGrabber(nullptr);
        ColorPickerService::setPointerLocator(nullptr);
        GlobalShortcuts::setHotKeyService(nullptr);
    }
    return status;
}
