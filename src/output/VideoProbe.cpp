// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/VideoProbe.h"

#include "output/VideoEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace VideoProbe {

namespace {

// One opened file's video stream and its decoder.
class Reader {
public:
    ~Reader()
    {
        avcodec_free_context(&m_codec);
        avformat_close_input(&m_format);
        av_frame_free(&m_frame);
        av_packet_free(&m_packet);
        sws_freeContext(m_convert);
    }

    Result<Done> open(const QString &path)
    {
        VideoEncoder::quietLibraries();
        const QByteArray file = path.toLocal8Bit();
        int code = avformat_open_input(&m_format, file.constData(), nullptr, nullptr);
        if (code < 0)
            return Error{QStringLiteral("%1 : %2").arg(path, VideoEncoder::libraryError(code))};
        if ((code = avformat_find_stream_info(m_format, nullptr)) < 0)
            return Error{QStringLiteral("%1 : %2").arg(path, VideoEncoder::libraryError(code))};
        const AVCodec *codec = nullptr;
        m_stream = av_find_best_stream(m_format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (m_stream < 0 || !codec)
            return Error{QStringLiteral("%1 : aucune image").arg(path)};
        m_codec = avcodec_alloc_context3(codec);
        m_frame = av_frame_alloc();
        m_packet = av_packet_alloc();
        if (!m_codec || !m_frame || !m_packet)
            return Error{QStringLiteral("mémoire insuffisante")};
        avcodec_parameters_to_context(m_codec, m_format->streams[m_stream]->codecpar);
        if ((code = avcodec_open2(m_codec, codec, nullptr)) < 0)
            return Error{QStringLiteral("%1 : %2").arg(path, VideoEncoder::libraryError(code))};
        return Done{};
    }

    AVFormatContext *format() const { return m_format; }
    AVStream *stream() const { return m_format->streams[m_stream]; }

    // The next frame and its time, or nothing at the end (or where the file is damaged).
    std::optional<std::pair<QImage, qint64>> next()
    {
        while (true) {
            const int got = avcodec_receive_frame(m_codec, m_frame);
            if (got >= 0)
                return std::make_pair(toImage(), timeOf(m_frame->best_effort_timestamp));
            if (got != AVERROR(EAGAIN) || m_drained)
                return std::nullopt;
            if (av_read_frame(m_format, m_packet) < 0) {
                m_drained = true;
                avcodec_send_packet(m_codec, nullptr);
                continue;
            }
            if (m_packet->stream_index == m_stream)
                avcodec_send_packet(m_codec, m_packet);
            av_packet_unref(m_packet);
        }
    }

    qint64 timeOf(int64_t timestamp) const
    {
        if (timestamp == AV_NOPTS_VALUE)
            return 0;
        const AVStream *s = m_format->streams[m_stream];
        const int64_t start = s->start_time == AV_NOPTS_VALUE ? 0 : s->start_time;
        return av_rescale_q(timestamp - start, s->time_base, AVRational{1, 1000000});
    }

private:
    QImage toImage()
    {
        const int width = m_frame->width, height = m_frame->height;
        // The converter writes whole blocks of pixels past a line's end: it is given room, a line wider
        // and a line more, and the picture is cut out of it.
        QImage image(width + 32, height + 1, QImage::Format_RGB32);
        if (image.isNull() || width <= 0 || height <= 0)
            return QImage();
        m_convert = sws_getCachedContext(m_convert, width, height, AVPixelFormat(m_frame->format), width,
                                         height, AV_PIX_FMT_BGRA, SWS_POINT, nullptr, nullptr, nullptr);
        if (!m_convert)
            return QImage();
        const int space = m_frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT;
        const int *coefficients = sws_getCoefficients(space);
        sws_setColorspaceDetails(m_convert, coefficients, m_frame->color_range == AVCOL_RANGE_JPEG,
                                 coefficients, 1, 0, 1 << 16, 1 << 16);
        uint8_t *target[] = {image.bits()};
        const int stride[] = {int(image.bytesPerLine())};
        sws_scale(m_convert, m_frame->data, m_frame->linesize, 0, height, target, stride);
        return image.copy(0, 0, width, height);
    }

    AVFormatContext *m_format = nullptr;
    AVCodecContext *m_codec = nullptr;
    AVFrame *m_frame = nullptr;
    AVPacket *m_packet = nullptr;
    SwsContext *m_convert = nullptr;
    int m_stream = -1;
    bool m_drained = false;
};

} // namespace

Result<Summary> summarize(const QString &path)
{
    Reader reader;
    const Result<Done> opened = reader.open(path);
    if (!opened)
        return opened.error();
    Summary summary;
    const std::optional<std::pair<QImage, qint64>> first = reader.next();
    if (!first || first->first.isNull())
        return Error{QStringLiteral("%1 : aucune image").arg(path)};
    summary.firstFrame = first->first;
    const AVStream *stream = reader.stream();
    if (reader.format()->duration > 0) {
        summary.durationMicroseconds = reader.format()->duration;
    } else if (stream->duration > 0) {
        summary.durationMicroseconds =
            reader.timeOf(stream->duration + (stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time));
    } else {
        // A file cut short says nothing of its length: the end of its last packet.
        AVPacket *packet = av_packet_alloc();
        qint64 end = 0;
        while (packet && av_read_frame(reader.format(), packet) >= 0) {
            if (packet->stream_index == stream->index && packet->pts != AV_NOPTS_VALUE)
                end = std::max(end, reader.timeOf(packet->pts + std::max<int64_t>(0, packet->duration)));
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
        summary.durationMicroseconds = end;
    }
    return summary;
}

std::optional<QImage> thumbnail(const QString &path, int maxPixel)
{
    Reader reader;
    if (!reader.open(path))
        return std::nullopt;
    const std::optional<std::pair<QImage, qint64>> first = reader.next();
    if (!first || first->first.isNull())
        return std::nullopt;
    const QImage &image = first->first;
    if (image.width() <= maxPixel && image.height() <= maxPixel)
        return image;
    return image.scaled(maxPixel, maxPixel, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

Result<int> decode(const QString &path, const std::function<bool(const QImage &, qint64)> &frame)
{
    Reader reader;
    const Result<Done> opened = reader.open(path);
    if (!opened)
        return opened.error();
    int count = 0;
    while (const std::optional<std::pair<QImage, qint64>> next = reader.next()) {
        ++count;
        if (!frame(next->first, next->second))
            break;
    }
    return count;
}

QString durationText(qint64 microseconds)
{
    const qint64 seconds = std::max<qint64>(0, (microseconds + 500000) / 1000000);
    if (seconds >= 3600)
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace VideoProbe
