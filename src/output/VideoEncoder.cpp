// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/VideoEncoder.h"

#include "output/GifEncoder.h"
#include "output/StreamEncoder.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

QString VideoEncoder::libraryError(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof(text));
    return QString::fromLocal8Bit(text);
}

void VideoEncoder::quietLibraries()
{
    static const bool quiet = [] {
        av_log_set_level(AV_LOG_ERROR);
        return true;
    }();
    Q_UNUSED(quiet);
}

Result<std::unique_ptr<VideoEncoder>> VideoEncoder::open(const QString &path, const Options &options)
{
    quietLibraries();
    if (options.format == VideoFormat::gif)
        return GifEncoder::create(path, options);
    return StreamEncoder::create(path, options);
}
