// SPDX-License-Identifier: GPL-3.0-or-later
// Output figures for a 4K screenshot-like picture: encoding, saving, clipboard, thumbnails.
// Prints "name value unit" lines (medians).
#include "BenchUtil.h"

#include "output/ImageLoader.h"
#include "output/ImageWriter.h"
#include "output/OutputPipeline.h"
#include "settings/AppSettings.h"
#include "support/DesktopScene.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageWriter>
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

    // PNG on a desktop with a photographic wallpaper and a photograph, beside libpng at its default level.
    for (const auto &[name, picture] :
         {std::pair{"screen", image}, std::pair{"photo", DesktopScene::render(DesktopScene::dark(), 2)}}) {
        QByteArray ours, reference;
        const double ms =
            Bench::medianMs(runs, [&] { ours = *ImageWriter::data(picture, 2, ImageFormat::png, 1); });
        QBuffer buffer(&reference);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "png").write(picture);
        Bench::print(qPrintable(QString("png_%1_time").arg(name)), ms, "ms");
        Bench::print(qPrintable(QString("png_%1_size_ratio_to_libpng").arg(name)),
                     double(ours.size()) / double(reference.size()), "x");
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
