// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

// The formats recordings are written in, in the order of every list of them.
enum class VideoFormat { mp4, webm, gif };

inline constexpr VideoFormat allVideoFormats[] = {VideoFormat::mp4, VideoFormat::webm, VideoFormat::gif};

// "mp4", "webm", "gif": the value stored in the settings, the command line's word and the file's extension.
QString rawValue(VideoFormat format);
std::optional<VideoFormat> videoFormatFromRawValue(const QString &raw);
// "MP4", "WebM", "GIF": the title shown in the preferences.
QString title(VideoFormat format);
QString mimeType(VideoFormat format);
// The format a file's name says it is in (its extension, in any case).
std::optional<VideoFormat> videoFormatOfFile(const QString &path);

// The frame rates offered.
inline constexpr int videoFrameRates[] = {15, 30, 60};
