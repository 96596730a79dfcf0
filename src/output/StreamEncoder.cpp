// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/StreamEncoder.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

Error failure(const QString &what, int code)
{
    return Error{code ? QStringLiteral("%1 : %2").arg(what, VideoEncoder::libraryError(code)) : what};
}

// A key frame at least this often (milliseconds): what a recording cut short can lose.
constexpr qint64 keyInterval = 1000;

} // namespace

Result<std::unique_ptr<VideoEncoder>> StreamEncoder::create(const QString &path, const Options &options)
{
    std::unique_ptr<StreamEncoder> encoder(new StreamEncoder);
    const Result<Done> opened = encoder->open(path, options);
    if (!opened)
        return opened.error();
    return std::unique_ptr<VideoEncoder>(std::move(encoder));
}

Result<Done> StreamEncoder::open(const QString &path, const Options &options)
{
    m_options = options;
    const QSize size = options.size;
    if (size.width() < 2 || size.height() < 2 || size.width() % 2 || size.height() % 2)
        return Error{QStringLiteral("taille de vidéo impossible : %1 × %2 (il faut des dimensions paires)")
                         .arg(size.width())
                         .arg(size.height())};
    const bool mp4 = options.format == VideoFormat::mp4;
    const char *codecName = mp4 ? "libx264" : "libvpx-vp9";
    const AVCodec *codec = avcodec_find_encoder_by_name(codecName);
    if (!codec)
        return Error{QStringLiteral("encodeur %1 introuvable dans les bibliothèques FFmpeg installées")
                         .arg(QString::fromLatin1(codecName))};
    const QByteArray file = path.toLocal8Bit();
    int code = avformat_alloc_output_context2(&m_format, nullptr, mp4 ? "mp4" : "webm", file.constData());
    if (code < 0 || !m_format)
        return failure(QStringLiteral("format de vidéo indisponible"), code);
    m_stream = avformat_new_stream(m_format, nullptr);
    m_codec = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_stream || !m_codec || !m_frame || !m_packet)
        return Error{QStringLiteral("mémoire insuffisante pour l'encodeur vidéo")};

    const int rate = std::max(1, options.framesPerSecond);
    m_codec->width = size.width();
    m_codec->height = size.height();
    m_codec->pix_fmt = AV_PIX_FMT_YUV420P;
    m_codec->time_base = AVRational{1, 1000};
    m_codec->framerate = AVRational{rate, 1};
    m_codec->gop_size = rate;
    m_codec->max_b_frames = 0;
    m_codec->color_range = AVCOL_RANGE_MPEG;
    m_codec->colorspace = AVCOL_SPC_BT709;
    m_codec->color_primaries = AVCOL_PRI_BT709;
    m_codec->color_trc = AVCOL_TRC_BT709;
    m_codec->thread_count = 0;
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
        m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary *codecOptions = nullptr;
    if (mp4) {
        // Larger than 1080p at 30 images a second, the fastest preset keeps up on two cores.
        const bool heavy = qint64(size.width()) * size.height() * rate > 1920LL * 1080 * 30;
        av_dict_set(&codecOptions, "preset", heavy ? "ultrafast" : "veryfast", 0);
        av_dict_set(&codecOptions, "tune", "zerolatency", 0);
        av_dict_set(&codecOptions, "crf", "23", 0);
    } else {
        av_dict_set(&codecOptions, "deadline", "realtime", 0);
        av_dict_set(&codecOptions, "cpu-used", "8", 0);
        av_dict_set(&codecOptions, "row-mt", "1", 0);
        av_dict_set(&codecOptions, "lag-in-frames", "0", 0);
        av_dict_set(&codecOptions, "crf", "33", 0);
        // Constrained quality: the rate a screen at this size needs at most.
        m_codec->bit_rate = std::max<qint64>(500000, qint64(size.width()) * size.height() * rate / 10);
    }
    code = avcodec_open2(m_codec, codec, &codecOptions);
    av_dict_free(&codecOptions);
    if (code < 0)
        return failure(QStringLiteral("l'encodeur %1 n'a pas démarré").arg(QString::fromLatin1(codecName)),
                       code);
    code = avcodec_parameters_from_context(m_stream->codecpar, m_codec);
    if (code < 0)
        return failure(QStringLiteral("paramètres de la vidéo"), code);
    m_stream->time_base = m_codec->time_base;
    m_stream->avg_frame_rate = AVRational{rate, 1};

    code = avio_open(&m_format->pb, file.constData(), AVIO_FLAG_WRITE);
    if (code < 0)
        return failure(QStringLiteral("impossible d'écrire %1").arg(path), code);
    AVDictionary *muxerOptions = nullptr;
    if (mp4)
        av_dict_set(&muxerOptions, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    else
        av_dict_set(&muxerOptions, "cluster_time_limit", "1000", 0);
    code = avformat_write_header(m_format, &muxerOptions);
    av_dict_free(&muxerOptions);
    if (code < 0)
        return failure(QStringLiteral("impossible d'écrire %1").arg(path), code);
    m_headerWritten = true;
    avio_flush(m_format->pb);

    m_frame->format = AV_PIX_FMT_YUV420P;
    m_frame->width = size.width();
    m_frame->height = size.height();
    code = av_frame_get_buffer(m_frame, 0);
    if (code < 0)
        return failure(QStringLiteral("mémoire insuffisante pour l'encodeur vidéo"), code);
    m_convert = sws_getContext(size.width(), size.height(), AV_PIX_FMT_BGRA, size.width(), size.height(),
                               AV_PIX_FMT_YUV420P, SWS_POINT, nullptr, nullptr, nullptr);
    if (!m_convert)
        return Error{QStringLiteral("conversion des couleurs indisponible")};
    // BT.709 in the limited range, as the stream says.
    const int *coefficients = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(m_convert, coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);
    return Done{};
}

StreamEncoder::~StreamEncoder()
{
    if (m_format && m_headerWritten && !m_finished)
        av_write_trailer(m_format);
    if (m_format && m_format->pb)
        avio_closep(&m_format->pb);
    avformat_free_context(m_format);
    avcodec_free_context(&m_codec);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    sws_freeContext(m_convert);
}

Result<Done> StreamEncoder::encode(AVFrame *frame)
{
    int code = avcodec_send_frame(m_codec, frame);
    if (code < 0)
        return failure(QStringLiteral("l'encodage a échoué"), code);
    while ((code = avcodec_receive_packet(m_codec, m_packet)) >= 0) {
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        code = av_interleaved_write_frame(m_format, m_packet);
        if (code < 0)
            return failure(QStringLiteral("écriture de la vidéo"), code);
        // What the muxer has made goes to the file now: a recording cut short keeps it.
        avio_flush(m_format->pb);
        if (m_format->pb->error < 0)
            return failure(QStringLiteral("écriture de la vidéo"), m_format->pb->error);
    }
    if (code != AVERROR(EAGAIN) && code != AVERROR_EOF)
        return failure(QStringLiteral("l'encodage a échoué"), code);
    return Done{};
}

Result<Done> StreamEncoder::write(const QImage &image, qint64 microseconds)
{
    if (m_finished)
        return Error{QStringLiteral("la vidéo est déjà terminée")};
    if (image.size() != m_options.size || image.depth() != 32)
        return Error{QStringLiteral("image de taille %1 × %2 dans une vidéo de %3 × %4")
                         .arg(image.width())
                         .arg(image.height())
                         .arg(m_options.size.width())
                         .arg(m_options.size.height())};
    const qint64 pts = microseconds / 1000;
    if (pts <= m_lastPts)
        return Done{};
    const int code = av_frame_make_writable(m_frame);
    if (code < 0)
        return failure(QStringLiteral("mémoire insuffisante pour l'encodeur vidéo"), code);
    // The converter reads whole blocks past a line's end: all but the last two lines come from the picture
    // itself, those two from a copy with room after them (a picture's memory may end at a page's end).
    const int stride[] = {int(image.bytesPerLine())};
    const int body = image.height() - 2;
    const uint8_t *source[] = {image.constBits()};
    sws_scale(m_convert, source, stride, 0, body, m_frame->data, m_frame->linesize);
    m_tail.resize(size_t(stride[0]) * 2 + 64);
    std::memcpy(m_tail.data(), image.constScanLine(body), size_t(stride[0]) * 2);
    const uint8_t *tail[] = {m_tail.data()};
    sws_scale(m_convert, tail, stride, body, 2, m_frame->data, m_frame->linesize);
    m_frame->pts = pts;
    const bool key = m_lastKey < 0 || pts - m_lastKey >= keyInterval;
    m_frame->pict_type = key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (key)
        m_lastKey = pts;
    m_lastPts = pts;
    m_last = image;
    const Result<Done> sent = encode(m_frame);
    if (sent)
        ++m_frames;
    return sent;
}

Result<Done> StreamEncoder::finish(qint64 endMicroseconds)
{
    if (m_finished)
        return Done{};
    // The last picture once more at the end: its time is the recording's length.
    if (!m_last.isNull() && endMicroseconds / 1000 > m_lastPts) {
        const QImage last = m_last;
        const Result<Done> held = write(last, endMicroseconds);
        if (!held)
            return held;
    }
    m_last = QImage();
    const Result<Done> drained = encode(nullptr);
    m_finished = true;
    if (!drained)
        return drained;
    int code = av_write_trailer(m_format);
    if (code >= 0)
        code = m_format->pb->error;
    if (code >= 0)
        code = avio_closep(&m_format->pb);
    if (code < 0)
        return failure(QStringLiteral("écriture de la vidéo"), code);
    return Done{};
}
