// SPDX-License-Identifier: GPL-3.0-or-later
// Canvas figures: one frame painted while an annotation is dragged on a 4K scale-2 document (1920×1080
// points) with 200 annotations, 10 of them pixelations, and a shadowed gradient decoration, at 100 % and
// at the zoom that fits it in an editor window on a 1920 × 1080 screen.
// Prints "name value unit" lines (medians).
#include "BenchUtil.h"
#include "SceneUtil.h"

#include "editor/AnnotationCanvasView.h"
#include "editor/CanvasGeometry.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

namespace {

void sendMouse(AnnotationCanvasView *canvas, QEvent::Type type, QPointF imagePoint, Qt::MouseButtons buttons)
{
    const QPointF local = canvas->toWidget(imagePoint);
    QMouseEvent event(type, local, canvas->mapToGlobal(local), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(canvas, &event);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(3, atoi(argv[1])) : 30;

    EditorDocument document(Bench::screenshotLike(3840, 2160, 2), 2);
    EditorDocument::State setUp = document.state();
    setUp.annotations = Bench::mixedAnnotations(QSizeF(1920, 1080), 200, 10);
    setUp.decoration =
        Decoration{40, Decoration::Gradient{QColor(90, 80, 220), QColor(255, 60, 120)}, 12, true};
    document.resetState(setUp);
    EditorState state;
    state.tool = EditorState::Tool::select;
    AnnotationCanvasView canvas(&document, &state);
    document.onChange = [&] { canvas.documentDidChange(); };
    canvas.show();

    qsizetype badge = -1;
    for (qsizetype i = document.state().annotations.size() - 1; i >= 0 && badge < 0; --i)
        if (document.state().annotations[i].is<Annotation::Badge>())
            badge = i;

    // At 100 % and fitted to an editor window on a 1920 × 1080 screen (92 % of it, less the bars).
    const double fitted = CanvasGeometry::fittedZoom(document.paddedPointSize(), QSizeF(1766, 910));
    for (const auto &[suffix, zoom] : {std::pair{"", 1.0}, std::pair{"_fitted", fitted}}) {
        canvas.setZoom(zoom);
        QPixmap frame(canvas.size());
        auto paint = [&] {
            QPainter painter(&frame);
            canvas.render(&painter);
        };
        const auto name = [&](const char *figure) { return std::string(figure) + suffix; };
        Bench::print(name("canvas_full_frame").c_str(), Bench::medianMs(5, paint), "ms");

        // Drag a badge (near the top of the list) and the last annotation across the picture.
        auto dragFrames = [&](qsizetype index) {
            const Annotation target = document.state().annotations[index];
            const QPointF start = target.is<Annotation::Badge>() ? target.as<Annotation::Badge>()->center
                                                                 : target.boundingBox().center();
            sendMouse(&canvas, QEvent::MouseButtonPress, start, Qt::LeftButton);
            int step = 0;
            const double ms = Bench::medianMs(frames, [&] {
                ++step;
                sendMouse(&canvas, QEvent::MouseMove, start + QPointF(step * 3, step * 2), Qt::LeftButton);
                paint();
            });
            sendMouse(&canvas, QEvent::MouseButtonRelease, start + QPointF(step * 3, step * 2), Qt::NoButton);
            return ms;
        };
        Bench::print(name("canvas_drag_frame_top_badge").c_str(), dragFrames(badge), "ms");
        Bench::print(name("canvas_drag_frame_middle").c_str(), dragFrames(100), "ms");
    }
    return 0;
}
