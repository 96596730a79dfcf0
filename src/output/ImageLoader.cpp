#include "output/ImageLoader.h"

#include "common/ImageLimits.h"
#include "output/ImageMetadata.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <cmath>

namespace ImageLoader {

namespace {

// Maps the file instead of reading it, so opening a large capture costs no copy.
class MappedFile {
public:
    explicit MappedFile(const QString &path) : m_file(path)
    {
        if (!m_file.open(QIODevice::ReadOnly) || m_file.size() <= 0)
            return;
        uchar *address = m_file.map(0, m_file.size());
        if (address)
            m_bytes =
                QByteArray::fromRawData(reinterpret_cast<const char *>(address), qsizetype(m_file.size()));
        else
            m_bytes = m_file.readAll();
    }
    const QByteArray &bytes() const { return m_bytes; }

private:
    QFile m_file;
    QByteArray m_bytes;
};

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
    MappedFile file(path);
    if (file.bytes().isEmpty())
        return std::nullopt;
    std::optional<Loaded> loaded = loadData(file.bytes());
    if (loaded)
        loaded->image.detach(); // the mapping goes away with the file
    return loaded;
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
    MappedFile file(path);
    if (file.bytes().isEmpty())
        return std::nullopt;
    std::optional<QImage> image = thumbnailData(file.bytes(), maxPixel);
    if (image)
        image->detach();
    return image;
}

} // namespace ImageLoader
