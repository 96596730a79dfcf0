// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/VideoFormat.h"

QString rawValue(VideoFormat format)
{
    switch (format) {
    case VideoFormat::mp4: return QStringLiteral("mp4");
    case VideoFormat::webm: return QStringLiteral("webm");
    case VideoFormat::gif: return QStringLiteral("gif");
    }
    return {};
}

std::optional<VideoFormat> videoFormatFromRawValue(const QString &raw)
{
    for (VideoFormat format : allVideoFormats) {
        if (rawValue(format) == raw)
            return format;
    }
    return std::nullopt;
}

QString title(VideoFormat format)
{
    switch (format) {
    case VideoFormat::mp4: return QStringLiteral("MP4");
    case VideoFormat::webm: return QStringLiteral("WebM");
    case VideoFormat::gif: return QStringLiteral("GIF");
    }
    return {};
}

QString mimeType(VideoFormat format)
{
    switch (format) {
    case VideoFormat::mp4: return QStringLiteral("video/mp4");
    case VideoFormat::webm: return QStringLiteral("video/webm");
    case VideoFormat::gif: return QStringLiteral("image/gif");
    }
    return {};
}

std::optional<VideoFormat> videoFormatOfFile(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || path.indexOf(u'/', dot) >= 0)
        return std::nullopt;
    return videoFormatFromRawValue(path.mid(dot + 1).toLower());
}
