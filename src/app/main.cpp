#include <QApplication>

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

} // namespace

int main(int argc, char **argv)
{
    ensureSingleThreadedOpenMP(argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pim"));
    QApplication::setOrganizationName(QStringLiteral("Pim"));
    QApplication::setQuitOnLastWindowClosed(false);
    return app.exec();
}
