#include "platform/x11/X11HotKeyService.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/MenuTracker.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>
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

void installPlatformServices()
{
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        GlobalShortcuts::setHotKeyService(std::make_unique<X11HotKeyService>());
        installX11KeyboardLayout();
    }
}

void registerShortcuts()
{
    using GlobalShortcuts::Name;
    // The capture flows are not built yet: each shortcut announces itself on standard output.
    GlobalShortcuts::onKeyDown(Name::captureArea(), [] {
        std::printf("Pim: captureArea\n");
        std::fflush(stdout);
    });
    GlobalShortcuts::onKeyDown(Name::captureFullScreen(), [] {
        std::printf("Pim: captureFullScreen\n");
        std::fflush(stdout);
    });
}

} // namespace

int main(int argc, char **argv)
{
    ensureSingleThreadedOpenMP(argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pim"));
    QApplication::setOrganizationName(QStringLiteral("Pim"));
    QApplication::setQuitOnLastWindowClosed(false);
    installPlatformServices();
    MenuTracker::install();
    registerShortcuts();
    return app.exec();
}
