// SPDX-License-Identifier: GPL-3.0-or-later
// Image files from the capture folder and the history: loading and thumbnails never crash, never exceed
// the pixel limit, and a loaded scale is at least 1. Covers our own resolution readers (PNG pHYs, JPEG
// JFIF and EXIF, WebP EXIF) as well as Qt's decoders.
#include "FuzzCheck.h"

#include "common/ImageLimits.h"
#include "output/ImageLoader.h"
#include "output/ImageMetadata.h"

#include <QCoreApplication>

#include <cmath>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv); // image plug-ins are found through the application
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const std::optional<double> dpi = ImageMetadata::horizontalDpi(bytes))
        FUZZ_CHECK(std::isfinite(*dpi) && *dpi > 0);
    if (const std::optional<ImageLoader::Loaded> loaded = ImageLoader::loadData(bytes)) {
        FUZZ_CHECK(loaded->scale >= 1);
        FUZZ_CHECK(!loaded->image.isNull() && ImageLimits::allows(loaded->image.size()));
    }
    if (const std::optional<QImage> thumbnail = ImageLoader::thumbnailData(bytes, 64)) {
        FUZZ_CHECK(!thumbnail->isNull());
        FUZZ_CHECK(std::max(thumbnail->width(), thumbnail->height()) <= 64);
    }
    return 0;
}
