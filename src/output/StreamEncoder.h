// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "output/VideoEncoder.h"

#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

// MP4 with H.264 (libx264) or WebM with VP9 (libvpx), through FFmpeg's libraries, in real-time settings:
// no frame is held back to be encoded later, a key frame at least every second, each packet flushed to
// the file as it comes (MP4 fragmented at key frames, WebM in one-second clusters).
class StreamEncoder : public VideoEncoder {
public:
    static Result<std::unique_ptr<VideoEncoder>> create(const QString &path, const Options &options);
    ~StreamEncoder() override;

    Result<Done> write(const QImage &frame, qint64 microseconds) override;
    Result<Done> finish(qint64 endMicroseconds) override;
    int frameCount() const override { return m_frames; }

private:
    StreamEncoder() = default;
    Result<Done> open(const QString &path, const Options &options);
    // Sends a frame (or, with nullptr, the end) to the codec and writes every packet it gives back.
    Result<Done> encode(AVFrame *frame);

    Options m_options;
    AVFormatContext *m_format = nullptr;
    AVCodecContext *m_codec = nullptr;
    AVStream *m_stream = nullptr;
    AVFrame *m_frame = nullptr;
    AVPacket *m_packet = nullptr;
    SwsContext *m_convert = nullptr;
    bool m_headerWritten = false;
    bool m_finished = false;
    int m_frames = 0;
    // In milliseconds, the codec's time base.
    qint64 m_lastPts = -1;
    qint64 m_lastKey = -1;
    QImage m_last;
    std::vector<uint8_t> m_tail;
};
