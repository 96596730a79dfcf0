// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "settings/VideoFormat.h"

#include <QImage>
#include <QSize>
#include <QString>

#include <memory>

// Writes a recording's frames into a file as they come. Frames carry their time from the start of the
// recording; a frame is shown until the next one, so a screen that does not change needs no new frame.
// Not thread-safe: one thread feeds it.
//
// MP4 (H.264) is written in fragments of about a second and WebM (VP9) in clusters of a second, each
// flushed to the file once made, so that a recording cut short (a crash, a full disk) plays up to its last
// second. GIF is spooled, compressed, beside the file and written at finish(): one palette for the whole
// recording, ordered dithering, frame delays that add up to the recording's duration.
class VideoEncoder {
public:
    struct Options {
        VideoFormat format = VideoFormat::mp4;
        // The frames' size in pixels; MP4 and WebM need it even (see evenSize).
        QSize size;
        // The rate frames are taken at: the encoder's real-time settings follow it.
        int framesPerSecond = 30;
    };

    virtual ~VideoEncoder() = default;

    // An encoder writing into the file at path (replacing what it holds).
    static Result<std::unique_ptr<VideoEncoder>> open(const QString &path, const Options &options);

    // A frame of the recording (of options.size; any 32-bit format), shown from `microseconds` on. Times
    // must grow; a frame at or before the previous one's time replaces nothing and is left out.
    virtual Result<Done> write(const QImage &frame, qint64 microseconds) = 0;
    // Ends the file: the last frame lasts until `endMicroseconds`. Nothing may be written after it.
    virtual Result<Done> finish(qint64 endMicroseconds) = 0;
    // Frames written so far.
    virtual int frameCount() const = 0;

    // FFmpeg's libraries say only their errors on standard error (they tell every encoder's settings
    // otherwise); Pim reports failures itself. Called before any use of them.
    static void quietLibraries();
    // FFmpeg's text for one of its error codes.
    static QString libraryError(int code);

    // Whether the format's codec needs even dimensions.
    static bool needsEvenSize(VideoFormat format) { return format != VideoFormat::gif; }
};
