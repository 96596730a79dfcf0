// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "output/VideoEncoder.h"

#include <QFile>

#include <array>
#include <vector>

// An animated GIF in two passes: while recording, each frame is compressed into a spool file beside the
// GIF and counted into a colour histogram; at finish() one palette of 256 colours is chosen for the whole
// recording (median cut), and every frame is dithered to it (ordered dithering, the same for every frame,
// so what did not move stays the same) and written through FFmpeg's GIF encoder, which stores only the
// part of a frame that changed. Delays are in hundredths of a second and add up to the duration.
class GifEncoder : public VideoEncoder {
public:
    static Result<std::unique_ptr<VideoEncoder>> create(const QString &path, const Options &options);
    ~GifEncoder() override;

    Result<Done> write(const QImage &frame, qint64 microseconds) override;
    Result<Done> finish(qint64 endMicroseconds) override;
    int frameCount() const override { return int(m_times.size()); }

    // The palette median cut chooses for a histogram of 5-bit-per-channel colours (index r << 10 | g << 5
    // | b), as 0xffRRGGBB, at most 256 entries and at least one.
    static std::vector<quint32> choosePalette(const std::vector<quint32> &histogram);

private:
    GifEncoder() = default;
    Result<Done> writeGif(qint64 endMicroseconds);

    QString m_path;
    Options m_options;
    QFile m_spool;
    std::vector<quint32> m_histogram;
    // Each spooled frame's time in hundredths of a second, and its compressed size.
    std::vector<qint64> m_times;
    std::vector<qint64> m_sizes;
    bool m_finished = false;
};
