#include "output/PngWriter.h"

#include "common/ImageLimits.h"

#include <QColorSpace>

#include <isa-l/igzip_lib.h> // isal_adler32
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

void putU32(QByteArray &out, quint32 v)
{
    const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    out.append(bytes, 4);
}

void appendChunk(QByteArray &out, const char type[4], const QByteArray &data)
{
    putU32(out, quint32(data.size()));
    const qsizetype start = out.size();
    out.append(type, 4);
    out.append(data);
    const auto *bytes = reinterpret_cast<const Bytef *>(out.constData() + start);
    uLong crc = crc32(0, Z_NULL, 0);
    // crc32 takes a uInt length: feed large chunks in pieces.
    for (qsizetype done = 0, total = out.size() - start; done < total;) {
        const uInt n = uInt(std::min<qsizetype>(total - done, 1 << 30));
        crc = crc32(crc, bytes + done, n);
        done += n;
    }
    putU32(out, quint32(crc));
}

// Sum of the bytes read as signed values, absolute: the usual estimate of how well a filtered row packs.
unsigned cost(const uint8_t *__restrict row, size_t n)
{
    unsigned sum = 0;
    for (size_t i = 0; i < n; ++i) {
        const uint8_t v = row[i], minus = uint8_t(0 - v);
        sum += v < minus ? v : minus;
    }
    return sum;
}

// The Sub, Up and Paeth filters of one row (None is the row itself). Written as plain loops over bytes
// so that the compiler vectorises them.
template <int BPP>
void filters(const uint8_t *__restrict c, const uint8_t *__restrict p, size_t n, uint8_t *__restrict sub,
             uint8_t *__restrict up, uint8_t *__restrict paeth)
{
    for (size_t i = 0; i < BPP; ++i) {
        sub[i] = c[i];
        up[i] = uint8_t(c[i] - p[i]);
        paeth[i] = uint8_t(c[i] - p[i]);
    }
    for (size_t i = BPP; i < n; ++i) {
        sub[i] = uint8_t(c[i] - c[i - BPP]);
        up[i] = uint8_t(c[i] - p[i]);
    }
    for (size_t i = BPP; i < n; ++i) {
        const int16_t a = c[i - BPP], b = p[i], d = p[i - BPP];
        int16_t pa = int16_t(b - d), pb = int16_t(a - d), pc = int16_t(a + b - 2 * d);
        pa = pa < 0 ? int16_t(-pa) : pa;
        pb = pb < 0 ? int16_t(-pb) : pb;
        pc = pc < 0 ? int16_t(-pc) : pc;
        const int16_t predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : d);
        paeth[i] = uint8_t(c[i] - predictor);
    }
}

// One picture row as PNG samples: RGB or RGBA from Qt's 0xAARRGGBB words.
template <int BPP> void unpackRow(const QImage &image, int y, uint8_t *__restrict out)
{
    const auto *pixels = reinterpret_cast<const quint32 *>(image.constScanLine(y));
    const int w = image.width();
    for (int x = 0; x < w; ++x) {
        const quint32 p = pixels[x];
        out[0] = uint8_t(p >> 16);
        out[1] = uint8_t(p >> 8);
        out[2] = uint8_t(p);
        if constexpr (BPP == 4)
            out[3] = uint8_t(p >> 24);
        out += BPP;
    }
}

struct Part {
    std::vector<uint8_t> deflated;
    uint32_t adler = 1;
    size_t rawSize = 0;
    bool ok = false;
};

// zlib at level 3: on screens and photographs alike it stays within a few per cent of the reference
// encoder (libpng at its default level 6), where ISA-L's fast levels come out 10 to 20 % larger; split
// across two threads it is still several times faster than the reference.
constexpr int deflateLevel = 3;

// Filters rows [first, last) and deflates them as a raw deflate stream that ends with a sync flush (byte
// aligned, not final), or with the final block when `final`.
template <int BPP> void encodeRows(const QImage &image, int first, int last, bool final, Part &part)
{
    const size_t rowBytes = size_t(image.width()) * BPP;
    const size_t stride = rowBytes + 1;
    // Filtered rows go to the compressor in bands of about 256 KiB, which stay in the cache.
    const int band = std::max(1, int((256 * 1024) / stride));
    std::vector<uint8_t> previous(rowBytes, 0), current(rowBytes), candidates(rowBytes * 3);
    std::vector<uint8_t> filtered(stride * size_t(band));

    z_stream stream{};
    if (deflateInit2(&stream, deflateLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return;
    const size_t total = stride * size_t(last - first);
    part.rawSize = total;
    part.deflated.resize(deflateBound(&stream, uLong(total)) + 64);
    stream.next_out = part.deflated.data();
    stream.avail_out = uInt(part.deflated.size());

    if (first > 0)
        unpackRow<BPP>(image, first - 1, previous.data());
    uint32_t adler = 1;
    bool ok = true;
    for (int y = first; y < last && ok;) {
        const int rows = std::min(band, last - y);
        for (int r = 0; r < rows; ++r) {
            unpackRow<BPP>(image, y + r, current.data());
            uint8_t *sub = candidates.data(), *up = sub + rowBytes, *paeth = up + rowBytes;
            filters<BPP>(current.data(), previous.data(), rowBytes, sub, up, paeth);
            const uint8_t *rows4[4] = {current.data(), sub, up, paeth};
            const uint8_t types[4] = {0, 1, 2, 4};
            int best = 0;
            unsigned bestCost = cost(rows4[0], rowBytes);
            for (int f = 1; f < 4; ++f) {
                const unsigned c = cost(rows4[f], rowBytes);
                if (c < bestCost) {
                    bestCost = c;
                    best = f;
                }
            }
            uint8_t *out = filtered.data() + size_t(r) * stride;
            out[0] = types[best];
            std::memcpy(out + 1, rows4[best], rowBytes);
            std::swap(previous, current);
        }
        const size_t bytes = size_t(rows) * stride;
        adler = isal_adler32(adler, filtered.data(), bytes);
        y += rows;
        stream.next_in = filtered.data();
        stream.avail_in = uInt(bytes);
        const int flush = y < last ? Z_NO_FLUSH : (final ? Z_FINISH : Z_SYNC_FLUSH);
        const int status = deflate(&stream, flush);
        ok = stream.avail_in == 0 && (status == Z_OK || status == Z_STREAM_END || status == Z_BUF_ERROR);
        if (flush == Z_FINISH)
            ok = ok && status == Z_STREAM_END;
    }
    if (last == first && final) {
        stream.avail_in = 0;
        ok = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    }
    part.deflated.resize(size_t(stream.total_out));
    deflateEnd(&stream);
    part.adler = adler;
    part.ok = ok;
}

void encodePart(const QImage &image, bool alpha, int first, int last, bool final, Part &part)
{
    if (alpha)
        encodeRows<4>(image, first, last, final, part);
    else
        encodeRows<3>(image, first, last, final, part);
}

QByteArray colourChunk(const QColorSpace &space, const char **type)
{
    if (!space.isValid()) {
        *type = nullptr;
        return {};
    }
    if (space == QColorSpace(QColorSpace::SRgb)) {
        *type = "sRGB";
        return QByteArray(1, '\0'); // perceptual
    }
    const QByteArray profile = space.iccProfile();
    if (profile.isEmpty()) {
        *type = nullptr;
        return {};
    }
    uLongf size = compressBound(uLong(profile.size()));
    QByteArray packed(qsizetype(size), Qt::Uninitialized);
    if (compress2(reinterpret_cast<Bytef *>(packed.data()), &size,
                  reinterpret_cast<const Bytef *>(profile.constData()), uLong(profile.size()), 6) != Z_OK) {
        *type = nullptr;
        return {};
    }
    packed.truncate(qsizetype(size));
    *type = "iCCP";
    return QByteArray("ICC Profile") + '\0' + '\0' + packed;
}

} // namespace

namespace PngWriter {

std::optional<QByteArray> encode(const QImage &source, double scale)
{
    if (source.isNull() || !ImageLimits::allows(source.size()) || !std::isfinite(scale) || scale <= 0)
        return std::nullopt;
    QImage image = source;
    bool alpha = image.hasAlphaChannel();
    if (alpha) {
        // Opaque pictures with an alpha channel (every capture) are written without it.
        bool opaque = true;
        for (int y = 0; y < image.height() && opaque; ++y) {
            const auto *row = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            if (image.depth() != 32) {
                opaque = false;
                break;
            }
            for (int x = 0; x < image.width(); ++x) {
                if ((row[x] >> 24) != 0xff) {
                    opaque = false;
                    break;
                }
            }
        }
        if (opaque && image.depth() == 32)
            alpha = false;
    }
    if (alpha) {
        if (image.format() != QImage::Format_ARGB32)
            image = image.convertToFormat(QImage::Format_ARGB32);
    } else if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32 &&
               image.format() != QImage::Format_ARGB32_Premultiplied) {
        image = image.convertToFormat(QImage::Format_RGB32);
    }
    if (image.isNull())
        return std::nullopt;

    const int h = image.height();
    const int split = h >= 64 ? h / 2 : h;
    Part top, bottom;
    if (split < h) {
        std::thread worker([&] { encodePart(image, alpha, split, h, true, bottom); });
        encodePart(image, alpha, 0, split, false, top);
        worker.join();
    } else {
        encodePart(image, alpha, 0, h, true, top);
        bottom.ok = true;
    }
    if (!top.ok || !bottom.ok)
        return std::nullopt;

    QByteArray out;
    out.reserve(qsizetype(top.deflated.size() + bottom.deflated.size() + 1024));
    out.append("\x89PNG\r\n\x1a\n", 8);

    QByteArray header;
    putU32(header, quint32(image.width()));
    putU32(header, quint32(h));
    header.append(char(8));               // bits per sample
    header.append(char(alpha ? 6 : 2));   // RGBA or RGB
    header.append(3, '\0');               // deflate, adaptive filters, no interlace
    appendChunk(out, "IHDR", header);

    const quint32 dotsPerMeter = quint32(std::lround(72.0 * scale / 0.0254));
    QByteArray physical;
    putU32(physical, dotsPerMeter);
    putU32(physical, dotsPerMeter);
    physical.append(char(1)); // metres
    appendChunk(out, "pHYs", physical);

    const char *colourType = nullptr;
    const QByteArray colour = colourChunk(image.colorSpace(), &colourType);
    if (colourType)
        appendChunk(out, colourType, colour);

    QByteArray data;
    data.reserve(qsizetype(top.deflated.size() + bottom.deflated.size() + 6));
    data.append(char(0x78));
    data.append(char(0x01));
    data.append(reinterpret_cast<const char *>(top.deflated.data()), qsizetype(top.deflated.size()));
    data.append(reinterpret_cast<const char *>(bottom.deflated.data()), qsizetype(bottom.deflated.size()));
    const uLong adler = split < h ? adler32_combine(top.adler, bottom.adler, z_off_t(bottom.rawSize)) : top.adler;
    putU32(data, quint32(adler));
    appendChunk(out, "IDAT", data);
    appendChunk(out, "IEND", QByteArray());
    return out;
}

} // namespace PngWriter
