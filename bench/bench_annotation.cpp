// SPDX-License-Identifier: GPL-3.0-or-later
// Composition and text-recognition figures: the export of a decorated 4K scale-2 scene, one canvas-sized
// paint of it, and OCR of a dense 1920×1080 screenshot next to the tesseract command on the same image.
// Prints "name value unit" lines (medians). Pass a folder as second argument to keep the pictures.
#include "BenchUtil.h"
#include "SceneUtil.h"

#include "annotation/ImageComposer.h"
#include "imagetools/OCRService.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const QString keep = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();

    const QImage base = Bench::screenshotLike(3840, 2160, 2);
    const QList<Annotation> annotations = Bench::mixedAnnotations(QSizeF(1920, 1080), 100, 10);
    Decoration decoration;
    decoration.padding = 40;
    decoration.background = Decoration::Gradient{QColor(90, 80, 220), QColor(255, 60, 120)};
    decoration.cornerRadius = 12;
    decoration.hasShadow = true;

    QImage composed;
    Bench::print(
        "compose_4k_scale2",
        Bench::medianMs(runs, [&] { composed = *ImageComposer::compose(base, annotations, 2, decoration); }),
        "ms");

    const ImageComposer::Scene scene{base, &annotations, 2, decoration};
    const QSizeF points = scene.paddedPointSize();
    QImage frame(points.toSize(), QImage::Format_ARGB32_Premultiplied);
    Bench::print("paint_frame_1920x1080_scale1",
                 Bench::medianMs(runs,
                                 [&] {
                                     frame.fill(Qt::transparent);
                                     QPainter painter(&frame);
                                     ImageComposer::paint(painter, scene);
                                 }),
                 "ms");

    // OCR of a dense screenshot at scale 1.
    const QImage text = Bench::screenshotLike(1920, 1080, 1);
    QTemporaryDir dir;
    const QString textPath = dir.filePath("ocr.png");
    text.save(textPath);
    QString recognised;
    const int ocrRuns = std::max(1, runs / 2);
    Bench::print(
        "ocr_1920x1080",
        Bench::medianMs(
            ocrRuns,
            [&] {
                recognised = OCRService::orderedText(*OCRService::recognize(text, {"fr-FR", "en-US"}));
            }),
        "ms");
    Bench::print("ocr_1920x1080_lines", recognised.count(u'\n') + 1, "lines");
    std::printf("ocr_omp_thread_limit %s\n",
                qgetenv("OMP_THREAD_LIMIT").isEmpty() ? "unset" : qgetenv("OMP_THREAD_LIMIT").constData());

    const QString tesseract = QStandardPaths::findExecutable("tesseract");
    if (!tesseract.isEmpty()) {
        auto command = [&](bool limited) {
            return Bench::medianMs(ocrRuns, [&] {
                QProcess process;
                QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
                if (limited)
                    environment.insert("OMP_THREAD_LIMIT", "1");
                else
                    environment.remove("OMP_THREAD_LIMIT");
                process.setProcessEnvironment(environment);
                process.start(tesseract, {textPath, dir.filePath("out"), "-l", "fra+eng", "--oem", "1"});
                process.waitForFinished(-1);
            });
        };
        Bench::print("tesseract_command_omp1", command(true), "ms");
        Bench::print("tesseract_command_omp_default", command(false), "ms");
    }
    if (!keep.isEmpty()) {
        composed.save(keep + "/composed.png");
        frame.save(keep + "/frame.png");
        text.save(keep + "/ocr-input.png");
    }
    return 0;
}
