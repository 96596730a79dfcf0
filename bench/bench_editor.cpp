// SPDX-License-Identifier: GPL-3.0-or-later
// Editor window figures on a 4K scale-2 capture (1920 × 1080 points) with a shadowed gradient frame and
// rounded corners: opening a window to its first painted frame, the copy command end to end (composition
// and clipboard ready), the export composition alone, and saving as PNG. Every run uses a new picture, so
// no cached shadow or layer helps ("cold"). Prints "name value unit" lines (medians). For the first
// frame at full size run it on a 4K display, for instance `xvfb-run -s "-screen 0 3840x2160x24"`.
#include "BenchUtil.h"

#include "annotation/ImageComposer.h"
#include "editor/AnnotationCanvasView.h"
#include "editor/EditorManager.h"
#include "editor/EditorWindowController.h"
#include "settings/AppSettings.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTemporaryDir>

namespace {

const Decoration frame{40, Decoration::Gradient{QColor(88, 86, 214), QColor(255, 45, 85)}, 12, true};

// A new 4K picture each time, two pixels narrower than the last: no cache keyed on the picture or its
// size (the shadow's) can help.
QImage freshCapture(int run)
{
    return Bench::screenshotLike(3840 - 2 * run, 2160, 2);
}

// Waits until the widget has been painted once.
class PaintWatch : public QObject {
public:
    bool painted = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

} // namespace

int main(int argc, char **argv)
{
    // On a display when there is one (the window then opens at 92 % of a real screen); offscreen otherwise.
    if (qgetenv("DISPLAY").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 7;
    QTemporaryDir dir;
    AppSettings::shared().setDestinationDirectory(dir.path());
    AppSettings::shared().setImageFormat(ImageFormat::png);

    std::vector<QImage> pictures;
    for (int i = 0; i < runs; ++i)
        pictures.push_back(freshCapture(i));

    int next = 0;
    Bench::print("open_editor_to_first_frame",
                 Bench::medianMs(runs,
                                 [&] {
                                     EditorWindowController *editor =
                                         EditorManager::shared().openEditor(pictures[size_t(next++)], 2);
                                     PaintWatch watch;
                                     editor->canvas()->installEventFilter(&watch);
                                     while (!watch.painted)
                                         QApplication::processEvents();
                                     editor->canvas()->removeEventFilter(&watch);
                                 }),
                 "ms");
    for (EditorWindowController *editor : EditorManager::shared().controllers())
        editor->close();
    QApplication::processEvents();

    // The commands on a new window each run, with the frame set (its shadow not yet made).
    const auto commandOnFreshWindow = [&](const char *name,
                                          const std::function<void(EditorWindowController &)> &command) {
        std::vector<double> times;
        for (int i = 0; i < runs; ++i) {
            EditorWindowController editor(freshCapture(100 + i), 2);
            EditorDocument::State setUp = editor.document().state();
            setUp.decoration = frame;
            editor.document().resetState(setUp);
            QElapsedTimer timer;
            timer.start();
            command(editor);
            times.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::sort(times.begin(), times.end());
        Bench::print(name, times[times.size() / 2], "ms");
    };
    commandOnFreshWindow("copy_command_cold", [](EditorWindowController &editor) {
        editor.copyComposedImage();
        // Ready: a program asking for the PNG gets it at once.
        (void)QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("image/png"));
    });
    commandOnFreshWindow("save_png_cold", [](EditorWindowController &editor) { editor.saveComposedImage(); });

    next = 0;
    const QList<Annotation> none;
    Bench::print("export_composition_cold",
                 Bench::medianMs(
                     runs, [&] { (void)ImageComposer::compose(pictures[size_t(next++)], none, 2, frame); }),
                 "ms");
    return 0;
}
