// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ImageLoader.h"

#include "common/ImageLimits.h"
#include "output/ImageMetadata.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <cmath>

namespace ImageLoader {

namespace {

// The file's bytes, read into memory. Not mapped: a file that shrinks while it is decoded (a folder synced
// by another program, a picture saved again by an editor) would kill the process with SIGBUS; read, it
// only comes out short, and a short picture is refused like any damaged one.
QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 0 || file.size() > maxFileBytes)
        return {};
    return file.read(file.size());
}

// A reader that refuses pictures over the pixel limit before decoding anything.
bool prepare(QImageReader &reader)
{
    static const bool limited = [] {
        QImageReader::setAllocationLimit(int(ImageLimits::maxPixels * 4 / (1024 * 1024)) + 1);
        return true;
    }();
    Q_UNUSED(limited);
    const QSize size = reader.size();
    return size.isValid() && ImageLimits::allows(size);
}

} // namespace

int scaleForDpi(std::optional<double> dpi)
{
    if (!dpi || !std::isfinite(*dpi) || *dpi <= 0)
        return 1;
    const double scale = std::round(*dpi / 72.0);
    if (scale > 1e6)
        return 1000000;
    return std::max(int(scale), 1);
}

std::optional<Loaded> loadData(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    if (!prepare(reader))
        return std::nullopt;
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return Loaded{std::move(image), scaleForDpi(ImageMetadata::horizontalDpi(bytes))};
}

std::optional<Loaded> load(const QString &path)
{
    const QByteArray bytes = fileBytes(path);
    if (bytes.isEmpty())
        return std::nullopt;
    return loadData(bytes);
}

std::optional<QImage> thumbnailData(const QByteArray &bytes, int maxPixel)
{
    if (maxPixel <= 0)
        return std::nullopt;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    if (!prepare(reader))
        return std::nullopt;
    const QSize size = reader.size();
    const int largest = std::max(size.width(), size.height());
    if (largest > maxPixel) {
        const double factor = double(maxPixel) / largest;
        reader.setScaledSize(QSize(std::max(1, int(std::lround(size.width() * factor))),
                                   std::max(1, int(std::lround(size.height() * factor)))));
    }
    QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return image;
}

std::optional<QImage> thumbnail(const QString &path, int maxPixel)
{
    const QByteArray bytes = fileBytes(path);
    if (bytes.isEmpty())
        return std::nullopt;
    return thumbnailData(bytes, maxPixel);
}

} // namespace ImageLoader
