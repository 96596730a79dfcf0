// SPDX-License-Identifier: GPL-3.0-or-later
// Output figures for a 4K screenshot-like picture: encoding, saving, clipboard, thumbnails.
// Prints "name value unit" lines (medians).
#include "BenchUtil.h"

#include "output/ImageLoader.h"
#include "output/ImageWriter.h"
#include "output/OutputPipeline.h"
#include "settings/AppSettings.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 5;
    const QImage image = Bench::screenshotLike(3840, 2160, 2);

    struct Case {
        const char *name;
        ImageFormat format;
        double quality;
    };
    for (const Case &c : {Case{"png", ImageFormat::png, 1.0}, Case{"jpeg_0.85", ImageFormat::jpeg, 0.85},
                          Case{"webp_0.85", ImageFormat::webp, 0.85}}) {
        QByteArray bytes;
        const double ms =
            Bench::medianMs(runs, [&] { bytes = *ImageWriter::data(image, 2, c.format, c.quality); });
        Bench::print(qPrintable(QString("encode_%1_time").arg(c.name)), ms, "ms");
        Bench::print(qPrintable(QString("encode_%1_size").arg(c.name)), bytes.size() / 1024.0, "KiB");
    }

    // The whole save into a private folder, with the history in a private data folder.
    QTemporaryDir dir;
    qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toUtf8());
    AppSettings::shared().setDestinationDirectory(dir.filePath("captures"));
    AppSettings::shared().setImageFormat(ImageFormat::png);
    OutputPipeline pipeline;
    QString saved;
    Bench::print("save_png_end_to_end", Bench::medianMs(runs, [&] { saved = *pipeline.save(image, 2); }),
                 "ms");
    Bench::print("clipboard_copy", Bench::medianMs(runs, [&] { (void)pipeline.copyToPasteboard(image, 2); }),
                 "ms");
    Bench::print("thumbnail_400_png",
                 Bench::medianMs(runs, [&] { (void)ImageLoader::thumbnail(saved, 400); }), "ms");
    Bench::print("load_png", Bench::medianMs(runs, [&] { (void)ImageLoader::load(saved); }), "ms");
    return 0;
}
