// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>

#include <optional>

// Reads saved captures back: the bitmap with its scale, or a small thumbnail.
namespace ImageLoader {

struct Loaded {
    QImage image;
    int scale = 1;
};

// The scale a file's horizontal resolution stands for: max(round(dpi ÷ 72), 1); 1 without a resolution.
int scaleForDpi(std::optional<double> dpi);

// Files larger than this are not read (a capture at the pixel limit compresses far below it).
inline constexpr qint64 maxFileBytes = qint64(1) << 30;

// Nothing when the file is missing, unreadable, not an image, or larger than the pixel limit. The file is
// read whole first, so one that changes meanwhile gives a damaged picture at worst, never a crash.
std::optional<Loaded> load(const QString &path);
std::optional<Loaded> loadData(const QByteArray &bytes);

// A bitmap whose largest side is at most maxPixel (never enlarged), with the file's orientation applied,
// decoded at reduced size where the format allows it.
std::optional<QImage> thumbnail(const QString &path, int maxPixel);
std::optional<QImage> thumbnailData(const QByteArray &bytes, int maxPixel);

} // namespace ImageLoader
