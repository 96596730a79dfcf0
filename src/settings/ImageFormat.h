// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The formats captures are written in, in the order of every list of formats.
enum class ImageFormat { png, jpeg, webp };

inline constexpr ImageFormat allImageFormats[] = {ImageFormat::png, ImageFormat::jpeg, ImageFormat::webp};

// "png", "jpeg", "webp": the value stored in the settings.
QString rawValue(ImageFormat format);
std::optional<ImageFormat> imageFormatFromRawValue(const QString &raw);
// "png", "jpg", "webp".
QString fileExtension(ImageFormat format);
// "PNG", "JPEG", "WebP": the title shown in the preferences.
QString title(ImageFormat format);
// The name of the format for QImageWriter and QImageReader.
QByteArray qtFormatName(ImageFormat format);
// The MIME type of the format.
QString mimeType(ImageFormat format);
// True when an encoder for the format is installed.
bool isEncodingSupported(ImageFormat format);
// Every format that can be encoded, in table order.
QList<ImageFormat> availableImageFormats();
// Only PNG is lossless: the quality setting applies to the other two.
inline bool isLossy(ImageFormat format)
{
    return format != ImageFormat::png;
}
