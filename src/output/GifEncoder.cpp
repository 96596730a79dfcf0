// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/GifEncoder.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <numeric>
#include <zlib.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

namespace {

Error writeFailure(const QString &path, const QString &reason)
{
    return Error{QStringLiteral("impossible d'écrire %1 : %2").arg(path, reason)};
}

int index15(QRgb pixel)
{
    return int((qRed(pixel) >> 3) << 10 | (qGreen(pixel) >> 3) << 5 | (qBlue(pixel) >> 3));
}

// A box of the colour cube for median cut: its colours, as indices into the list of histogram entries.
struct Box {
    std::vector<int> colours;
    quint64 weight = 0;
};

int channel(int colour15, int which)
{
    return (colour15 >> (10 - 5 * which)) & 31;
}

// The spread of the ordered dithering, in 8-bit levels either side: about half the distance between
// neighbouring colours of a palette of 256.
constexpr int ditherSpread = 10;
constexpr int bayer4[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

struct FormatCloser {
    AVFormatContext *format = nullptr;
    AVCodecContext *codec = nullptr;
    AVFrame *frame = nullptr;
    AVPacket *packet = nullptr;
    ~FormatCloser()
    {
        if (format && format->pb)
            avio_closep(&format->pb);
        avformat_free_context(format);
        avcodec_free_context(&codec);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
};

} // namespace

std::vector<quint32> GifEncoder::choosePalette(const std::vector<quint32> &histogram)
{
    // Up to 255 colours; the last entry of the GIF's palette is kept transparent, for the parts of a frame
    // that did not change.
    constexpr size_t most = 255;
    std::vector<int> present;
    for (int i = 0; i < int(histogram.size()); ++i) {
        if (histogram[size_t(i)])
            present.push_back(i);
    }
    if (present.empty())
        return {0xff000000u};
    std::vector<Box> boxes(1);
    boxes[0].colours = present;
    for (int i : present)
        boxes[0].weight += histogram[size_t(i)];
    // Split the heaviest box that can be split along its longest side, at its weighted median.
    while (boxes.size() < most) {
        int best = -1;
        for (int b = 0; b < int(boxes.size()); ++b) {
            if (boxes[size_t(b)].colours.size() > 1 &&
                (best < 0 || boxes[size_t(b)].weight > boxes[size_t(best)].weight))
                best = b;
        }
        if (best < 0)
            break;
        Box &box = boxes[size_t(best)];
        int axis = 0, longest = -1;
        for (int which = 0; which < 3; ++which) {
            int low = 31, high = 0;
            for (int c : box.colours) {
                low = std::min(low, channel(c, which));
                high = std::max(high, channel(c, which));
            }
            if (high - low > longest) {
                longest = high - low;
                axis = which;
            }
        }
        std::sort(box.colours.begin(), box.colours.end(),
                  [axis](int a, int b) { return channel(a, axis) < channel(b, axis); });
        quint64 half = 0;
        size_t cut = 0;
        while (cut + 1 < box.colours.size() && (half += histogram[size_t(box.colours[cut])]) * 2 < box.weight)
            ++cut;
        cut = std::max<size_t>(1, std::min(cut + 1, box.colours.size() - 1));
        Box upper;
        upper.colours.assign(box.colours.begin() + qsizetype(cut), box.colours.end());
        box.colours.resize(cut);
        box.weight = 0;
        for (int c : box.colours)
            box.weight += histogram[size_t(c)];
        for (int c : upper.colours)
            upper.weight += histogram[size_t(c)];
        boxes.push_back(std::move(upper));
    }
    std::vector<quint32> palette;
    for (const Box &box : boxes) {
        quint64 sum[3] = {0, 0, 0};
        for (int c : box.colours) {
            for (int which = 0; which < 3; ++which)
                sum[which] += quint64(channel(c, which) * 8 + 4) * histogram[size_t(c)];
        }
        const quint64 weight = std::max<quint64>(1, box.weight);
        palette.push_back(0xff000000u | quint32(sum[0] / weight) << 16 | quint32(sum[1] / weight) << 8 |
                          quint32(sum[2] / weight));
    }
    return palette;
}

Result<std::unique_ptr<VideoEncoder>> GifEncoder::create(const QString &path, const Options &options)
{
    if (options.size.width() < 1 || options.size.height() < 1 || options.size.width() > 65535 ||
        options.size.height() > 65535)
        return Error{QStringLiteral("taille de GIF impossible : %1 × %2")
                         .arg(options.size.width())
                         .arg(options.size.height())};
    std::unique_ptr<GifEncoder> encoder(new GifEncoder);
    encoder->m_path = path;
    encoder->m_options = options;
    encoder->m_histogram.assign(32768, 0);
    // The spool lies beside the GIF, hidden, and goes once the GIF is written.
    const QFileInfo info(path);
    encoder->m_spool.setFileName(info.dir().filePath(QStringLiteral(".%1.spool").arg(info.fileName())));
    if (!encoder->m_spool.open(QIODevice::ReadWrite | QIODevice::Truncate))
        return writeFailure(encoder->m_spool.fileName(), encoder->m_spool.errorString());
    return std::unique_ptr<VideoEncoder>(std::move(encoder));
}

GifEncoder::~GifEncoder()
{
    if (m_spool.isOpen())
        m_spool.remove();
}

Result<Done> GifEncoder::write(const QImage &image, qint64 microseconds)
{
    if (m_finished)
        return Error{QStringLiteral("la vidéo est déjà terminée")};
    if (image.size() != m_options.size)
        return Error{QStringLiteral("image de taille %1 × %2 dans un GIF de %3 × %4")
                         .arg(image.width())
                         .arg(image.height())
                         .arg(m_options.size.width())
                         .arg(m_options.size.height())};
    const qint64 time = (microseconds + 5000) / 10000;
    if (!m_times.empty() && time <= m_times.back())
        return Done{};
    const QImage frame = image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32
                             ? image
                             : image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < frame.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(frame.constScanLine(y));
        for (int x = 0; x < frame.width(); ++x)
            ++m_histogram[size_t(index15(line[x]))];
    }
    // Runs of the same bytes are most of a screen: zlib's run-length strategy is fast and enough.
    const size_t rowBytes = size_t(frame.width()) * 4;
    z_stream stream{};
    if (deflateInit2(&stream, 1, Z_DEFLATED, 15, 8, Z_RLE) != Z_OK)
        return Error{QStringLiteral("compression indisponible")};
    std::vector<unsigned char> out(deflateBound(&stream, uLong(rowBytes * size_t(frame.height()))));
    stream.next_out = out.data();
    stream.avail_out = uInt(out.size());
    for (int y = 0; y < frame.height(); ++y) {
        stream.next_in = const_cast<unsigned char *>(frame.constScanLine(y));
        stream.avail_in = uInt(rowBytes);
        deflate(&stream, y + 1 == frame.height() ? Z_FINISH : Z_NO_FLUSH);
    }
    const qint64 size = qint64(stream.total_out);
    deflateEnd(&stream);
    if (m_spool.write(reinterpret_cast<const char *>(out.data()), size) != size)
        return writeFailure(m_spool.fileName(), m_spool.errorString());
    m_times.push_back(time);
    m_sizes.push_back(size);
    return Done{};
}

Result<Done> GifEncoder::finish(qint64 endMicroseconds)
{
    if (m_finished)
        return Done{};
    m_finished = true;
    const Result<Done> written = writeGif(endMicroseconds);
    m_spool.remove();
    return written;
}

Result<Done> GifEncoder::writeGif(qint64 endMicroseconds)
{
    if (!m_spool.flush())
        return writeFailure(m_spool.fileName(), m_spool.errorString());
    if (m_times.empty())
        return Error{QStringLiteral("aucune image enregistrée")};
    std::vector<quint32> palette = choosePalette(m_histogram);
    m_histogram = {};
    // Every 15-bit colour's nearest entry.
    std::vector<uint8_t> nearest(32768);
    for (int c = 0; c < 32768; ++c) {
        const int r = channel(c, 0) * 8 + 4, g = channel(c, 1) * 8 + 4, b = channel(c, 2) * 8 + 4;
        int best = 0, bestDistance = INT32_MAX;
        for (int i = 0; i < int(palette.size()); ++i) {
            const int dr = r - int(palette[size_t(i)] >> 16 & 255),
                      dg = g - int(palette[size_t(i)] >> 8 & 255), db = b - int(palette[size_t(i)] & 255);
            const int distance = 2 * dr * dr + 4 * dg * dg + 3 * db * db;
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
            }
        }
        nearest[size_t(c)] = uint8_t(best);
    }
    palette.resize(256, 0u); // the rest transparent: the encoder leaves unchanged pixels to them
    int offsets[16];
    for (int i = 0; i < 16; ++i)
        offsets[i] = (bayer4[i] * 2 - 15) * ditherSpread / 15;

    FormatCloser gif;
    const QByteArray file = m_path.toLocal8Bit();
    int code = avformat_alloc_output_context2(&gif.format, nullptr, "gif", file.constData());
    const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_GIF);
    if (code < 0 || !gif.format || !codec)
        return Error{QStringLiteral("l'encodeur GIF de FFmpeg est introuvable")};
    AVStream *stream = avformat_new_stream(gif.format, nullptr);
    gif.codec = avcodec_alloc_context3(codec);
    gif.frame = av_frame_alloc();
    gif.packet = av_packet_alloc();
    if (!stream || !gif.codec || !gif.frame || !gif.packet)
        return Error{QStringLiteral("mémoire insuffisante pour l'encodeur GIF")};
    const QSize size = m_options.size;
    gif.codec->width = size.width();
    gif.codec->height = size.height();
    gif.codec->pix_fmt = AV_PIX_FMT_PAL8;
    gif.codec->time_base = AVRational{1, 100};
    if ((code = avcodec_open2(gif.codec, codec, nullptr)) < 0 ||
        (code = avcodec_parameters_from_context(stream->codecpar, gif.codec)) < 0)
        return Error{
            QStringLiteral("l'encodeur GIF n'a pas démarré : %1").arg(VideoEncoder::libraryError(code))};
    stream->time_base = gif.codec->time_base;
    if ((code = avio_open(&gif.format->pb, file.constData(), AVIO_FLAG_WRITE)) < 0 ||
        (code = avformat_write_header(gif.format, nullptr)) < 0)
        return writeFailure(m_path, VideoEncoder::libraryError(code));
    gif.frame->format = AV_PIX_FMT_PAL8;
    gif.frame->width = size.width();
    gif.frame->height = size.height();
    if ((code = av_frame_get_buffer(gif.frame, 0)) < 0)
        return Error{QStringLiteral("mémoire insuffisante pour l'encodeur GIF")};

    // Each frame lasts until the next one, the last one until the end (at least a hundredth of a second).
    const qint64 end = std::max((endMicroseconds + 5000) / 10000, m_times.back() + 1);
    auto drain = [&]() -> Result<Done> {
        int got;
        while ((got = avcodec_receive_packet(gif.codec, gif.packet)) >= 0) {
            av_packet_rescale_ts(gif.packet, gif.codec->time_base, stream->time_base);
            gif.packet->stream_index = stream->index;
            if ((got = av_interleaved_write_frame(gif.format, gif.packet)) < 0)
                return writeFailure(m_path, VideoEncoder::libraryError(got));
        }
        if (got != AVERROR(EAGAIN) && got != AVERROR_EOF)
            return Error{
                QStringLiteral("l'encodage du GIF a échoué : %1").arg(VideoEncoder::libraryError(got))};
        return Done{};
    };

    const size_t rowBytes = size_t(size.width()) * 4;
    std::vector<unsigned char> pixels(rowBytes * size_t(size.height()));
    std::vector<char> packed;
    m_spool.seek(0);
    const qint64 first = m_times.front();
    for (size_t n = 0; n < m_times.size(); ++n) {
        packed.resize(size_t(m_sizes[n]));
        if (m_spool.read(packed.data(), m_sizes[n]) != m_sizes[n])
            return Error{
                QStringLiteral("relecture de %1 : %2").arg(m_spool.fileName(), m_spool.errorString())};
        uLongf length = uLongf(pixels.size());
        if (uncompress(pixels.data(), &length, reinterpret_cast<const Bytef *>(packed.data()),
                       uLong(packed.size())) != Z_OK ||
            length != pixels.size())
            return Error{QStringLiteral("image %1 illisible dans %2").arg(n).arg(m_spool.fileName())};
        if ((code = av_frame_make_writable(gif.frame)) < 0)
            return Error{QStringLiteral("mémoire insuffisante pour l'encodeur GIF")};
        for (int y = 0; y < size.height(); ++y) {
            const auto *line = reinterpret_cast<const QRgb *>(pixels.data() + rowBytes * size_t(y));
            uint8_t *out = gif.frame->data[0] + qsizetype(y) * gif.frame->linesize[0];
            const int *row = offsets + (y & 3) * 4;
            for (int x = 0; x < size.width(); ++x) {
                const int d = row[x & 3];
                const int r = std::clamp(qRed(line[x]) + d, 0, 255),
                          g = std::clamp(qGreen(line[x]) + d, 0, 255),
                          b = std::clamp(qBlue(line[x]) + d, 0, 255);
                out[x] = nearest[size_t((r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))];
            }
        }
        std::copy(palette.begin(), palette.end(), reinterpret_cast<quint32 *>(gif.frame->data[1]));
        gif.frame->pts = m_times[n] - first;
        if ((code = avcodec_send_frame(gif.codec, gif.frame)) < 0)
            return Error{
                QStringLiteral("l'encodage du GIF a échoué : %1").arg(VideoEncoder::libraryError(code))};
        const Result<Done> drained = drain();
        if (!drained)
            return drained;
    }
    avcodec_send_frame(gif.codec, nullptr);
    const Result<Done> drained = drain();
    if (!drained)
        return drained;
    // The muxer times each frame by the next one's; the last one's delay is said here.
    if ((code = av_opt_set_int(gif.format->priv_data, "final_delay", end - m_times.back(), 0)) < 0)
        return Error{
            QStringLiteral("durée de la dernière image du GIF : %1").arg(VideoEncoder::libraryError(code))};
    if ((code = av_write_trailer(gif.format)) < 0 || (code = avio_closep(&gif.format->pb)) < 0)
        return writeFailure(m_path, VideoEncoder::libraryError(code));
    return Done{};
}
