// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"

#include <QImage>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// Reads recordings back with FFmpeg's libraries: the first frame for thumbnails, the duration, or every
// frame with its time. A file cut short (a recording stopped by a crash) reads up to where it ends.
namespace VideoProbe {

struct Summary {
    QImage firstFrame;
    qint64 durationMicroseconds = 0;
};

// The first frame (RGB32) and the duration: the container's when it says, else the end of its last packet.
Result<Summary> summarize(const QString &path);

// The first frame scaled so that its largest side is at most maxPixel (never enlarged).
std::optional<QImage> thumbnail(const QString &path, int maxPixel);

// Calls `frame` for every frame in order with its time from the first, until it returns false; the
// number of frames read.
Result<int> decode(const QString &path,
                   const std::function<bool(const QImage &frame, qint64 microseconds)> &frame);

// "0:07", "1:02:03": a duration as a player shows it.
QString durationText(qint64 microseconds);

} // namespace VideoProbe
