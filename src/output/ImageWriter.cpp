// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ImageWriter.h"

#include "common/ImageLimits.h"
#include "common/Resolution.h"
#include "output/ImageMetadata.h"
#include "output/PngWriter.h"

#include <QBuffer>
#include <QColorSpace>
#include <QImageWriter>
#include <QPainter>

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

    if (format == ImageFormat::png) {
        std::optional<QByteArray> png = PngWriter::encode(image, scale);
        if (!png)
            return ImageWriterError::encodingFailed();
        return *png;
    }

    const double dpi = Resolution::dpi(scale);
    const int dotsPerMeter = Resolution::dotsPerMeter(scale);
    QImage tagged = image; // shares the pixels; only the header changes
    if (format == ImageFormat::jpeg && image.hasAlphaChannel()) {
        // JPEG has no transparency: what was transparent becomes white, not the black of the bare
        // colour values.
        tagged = ImageLimits::newImage(image.size(), QImage::Format_RGB32);
        if (tagged.isNull())
            return ImageWriterError::encodingFailed();
        tagged.setColorSpace(image.colorSpace());
        tagged.fill(Qt::white);
        QPainter painter(&tagged);
        painter.drawImage(0, 0, image);
    }
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
