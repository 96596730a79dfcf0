#include "output/ImageWriter.h"

#include "common/ImageLimits.h"
#include "output/ImageMetadata.h"

#include <QBuffer>
#include <QImageWriter>

#include <algorithm>
#include <cmath>

namespace ImageWriterError {
Error encodingFailed()
{
    return Error{QStringLiteral("L'encodage de l'image a échoué.")};
}
} // namespace ImageWriterError

namespace ImageWriter {

Result<QByteArray> data(const QImage &image, qreal scale, ImageFormat format, double quality)
{
    if (image.isNull() || !ImageLimits::allows(image.size()) || !std::isfinite(scale) || scale <= 0)
        return ImageWriterError::encodingFailed();
    if (!isEncodingSupported(format))
        return ImageWriterError::encodingFailed();

    const double dpi = 72.0 * scale;
    const int dotsPerMeter = int(std::lround(dpi / 0.0254));
    QImage tagged = image; // shares the pixels; only the header changes
    tagged.setDotsPerMeterX(dotsPerMeter);
    tagged.setDotsPerMeterY(dotsPerMeter);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, qtFormatName(format));
    if (isLossy(format)) {
        const double clamped = std::min(std::max(quality, 0.1), 1.0);
        writer.setQuality(int(std::lround(clamped * 100)));
    }
    if (!writer.write(tagged) || bytes.isEmpty())
        return ImageWriterError::encodingFailed();

    if (format == ImageFormat::webp) {
        // Qt's WebP writer stores no resolution: add it as EXIF in the extended layout.
        std::optional<QByteArray> withResolution =
            ImageMetadata::webpWithResolution(bytes, image.size(), dpi);
        if (!withResolution)
            return ImageWriterError::encodingFailed();
        return *withResolution;
    }
    return bytes;
}

} // namespace ImageWriter
