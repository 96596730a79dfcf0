// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/ImageFormat.h"

#include <QImageWriter>

QString rawValue(ImageFormat format)
{
    switch (format) {
    case ImageFormat::png: return QStringLiteral("png");
    case ImageFormat::jpeg: return QStringLiteral("jpeg");
    case ImageFormat::webp: return QStringLiteral("webp");
    }
    return {};
}

std::optional<ImageFormat> imageFormatFromRawValue(const QString &raw)
{
    for (ImageFormat format : allImageFormats) {
        if (rawValue(format) == raw)
            return format;
    }
    return std::nullopt;
}

QString fileExtension(ImageFormat format)
{
    return format == ImageFormat::jpeg ? QStringLiteral("jpg") : rawValue(format);
}

QString title(ImageFormat format)
{
    switch (format) {
    case ImageFormat::png: return QStringLiteral("PNG");
    case ImageFormat::jpeg: return QStringLiteral("JPEG");
    case ImageFormat::webp: return QStringLiteral("WebP");
    }
    return {};
}

QByteArray qtFormatName(ImageFormat format)
{
    return rawValue(format).toLatin1();
}

QString mimeType(ImageFormat format)
{
    return QStringLiteral("image/") + rawValue(format);
}

bool isEncodingSupported(ImageFormat format)
{
    return QImageWriter::supportedImageFormats().contains(qtFormatName(format));
}

QList<ImageFormat> availableImageFormats()
{
    QList<ImageFormat> formats;
    for (ImageFormat format : allImageFormats) {
        if (isEncodingSupported(format))
            formats.append(format);
    }
    return formats;
}
