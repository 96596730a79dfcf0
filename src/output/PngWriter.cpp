#include "output/PngWriter.h"

#include "common/ImageLimits.h"

#include <QColorSpace>

#include <isa-l/igzip_lib.h>
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

// The five PNG filters applied to one row of `n` bytes with `bpp` bytes per pixel; the one whose output
// has the smallest sum of absolute values (as signed bytes) is written after its type byte.
struct RowFilter {
    int bpp;
    size_t n;
    std::vector<uint8_t> candidates[5];

    RowFilter(int bytesPerPixel, size_t rowBytes) : bpp(bytesPerPixel), n(rowBytes)
    {
        for (auto &c : candidates)
            c.resize(rowBytes);
    }

    static unsigned cost(const std::vector<uint8_t> &row)
    {
        unsigned sum = 0;
        for (uint8_t v : row)
            sum += v < 128 ? v : 256 - v;
        return sum;
    }

    // Writes 1 + n bytes to out.
    void filter(const uint8_t *row, const uint8_t *prior, uint8_t *out)
    {
        uint8_t *none = candidates[0].data(), *sub = candidates[1].data(), *up = candidates[2].data(),
                *avg = candidates[3].data(), *paeth = candidates[4].data();
        for (int i = 0; i < bpp; ++i) {
            const uint8_t b = prior ? prior[i] : 0;
            none[i] = row[i];
            sub[i] = row[i];
            up[i] = uint8_t(row[i] - b);
            avg[i] = uint8_t(row[i] - (b >> 1));
            paeth[i] = uint8_t(row[i] - b);
        }
        if (prior) {
            for (size_t i = size_t(bpp); i < n; ++i) {
                const int a = row[i - bpp], b = prior[i], c = prior[i - bpp];
                none[i] = row[i];
                sub[i] = uint8_t(row[i] - a);
                up[i] = uint8_t(row[i] - b);
                avg[i] = uint8_t(row[i] - ((a + b) >> 1));
                const int p = a + b - c;
                const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                const int predictor = (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
                paeth[i] = uint8_t(row[i] - predictor);
            }
        } else {
            for (size_t i = size_t(bpp); i < n; ++i) {
                const int a = row[i - bpp];
                none[i] = row[i];
                sub[i] = uint8_t(row[i] - a);
                up[i] = row[i];
                avg[i] = uint8_t(row[i] - (a >> 1));
                paeth[i] = uint8_t(row[i] - a);
            }
        }
        int best = 0;
        unsigned bestCost = ~0u;
        for (int f = 0; f < 5; ++f) {
            const unsigned c = cost(candidates[f]);
            if (c < bestCost) {
                bestCost = c;
                best = f;
            }
        }
        out[0] = uint8_t(best);
        std::memcpy(out + 1, candidates[best].data(), n);
    }
};

// One picture row as PNG samples: RGB or RGBA from Qt's 0xAARRGGBB words.
void unpackRow(const QImage &image, int y, bool alpha, uint8_t *out)
{
    const auto *pixels = reinterpret_cast<const quint32 *>(image.constScanLine(y));
    const int w = image.width();
    if (alpha) {
        for (int x = 0; x < w; ++x) {
            const quint32 p = pixels[x];
            out[0] = uint8_t(p >> 16);
            out[1] = uint8_t(p >> 8);
            out[2] = uint8_t(p);
            out[3] = uint8_t(p >> 24);
            out += 4;
        }
    } else {
        for (int x = 0; x < w; ++x) {
            const quint32 p = pixels[x];
            out[0] = uint8_t(p >> 16);
            out[1] = uint8_t(p >> 8);
            out[2] = uint8_t(p);
            out += 3;
        }
    }
}

struct Part {
    std::vector<uint8_t> deflated;
    uLong adler = 1;
    size_t rawSize = 0;
    bool ok = false;
};

// Filters rows [first, last) and deflates them as a raw deflate stream that ends with a sync flush, or
// with the final block when `final`.
void encodeRows(const QImage &image, bool alpha, int first, int last, bool final, Part &part)
{
    const int bpp = alpha ? 4 : 3;
    const size_t rowBytes = size_t(image.width()) * size_t(bpp);
    const size_t stride = rowBytes + 1;
    // Filtered rows go through in bands, so that the buffers stay in the cache.
    const int band = std::max(1, int((256 * 1024) / stride));
    std::vector<uint8_t> previous(rowBytes), current(rowBytes);
    std::vector<uint8_t> filtered(stride * size_t(band));
    RowFilter filter(bpp, rowBytes);

    isal_zstream stream;
    isal_deflate_init(&stream);
    std::vector<uint8_t> levelBuffer(ISAL_DEF_LVL1_DEFAULT);
    stream.level = 1;
    stream.level_buf = levelBuffer.data();
    stream.level_buf_size = uint32_t(levelBuffer.size());
    stream.flush = SYNC_FLUSH;

    const size_t total = stride * size_t(last - first);
    part.rawSize = total;
    part.deflated.resize(total + total / 8 + 1024);
    stream.next_out = part.deflated.data();
    stream.avail_out = uint32_t(std::min<size_t>(part.deflated.size(), UINT32_MAX));

    bool havePrevious = first > 0;
    if (havePrevious)
        unpackRow(image, first - 1, alpha, previous.data());
    uLong adler = adler32(0, Z_NULL, 0);
    for (int y = first; y < last;) {
        const int rows = std::min(band, last - y);
        for (int r = 0; r < rows; ++r) {
            unpackRow(image, y + r, alpha, current.data());
            filter.filter(current.data(), havePrevious ? previous.data() : nullptr,
                          filtered.data() + size_t(r) * stride);
            std::swap(previous, current);
            havePrevious = true;
        }
        const size_t bytes = size_t(rows) * stride;
        adler = adler32(adler, filtered.data(), uInt(bytes));
        y += rows;
        stream.next_in = filtered.data();
        stream.avail_in = uint32_t(bytes);
        stream.end_of_stream = (final && y == last) ? 1 : 0;
        while (stream.avail_in > 0 || (stream.end_of_stream && stream.internal_state.state != ZSTATE_END)) {
            if (stream.avail_out == 0) {
                const size_t used = part.deflated.size();
                part.deflated.resize(used * 2);
                stream.next_out = part.deflated.data() + used;
                stream.avail_out = uint32_t(std::min<size_t>(used, UINT32_MAX));
            }
            if (isal_deflate(&stream) != COMP_OK)
                return;
            if (stream.avail_in == 0 && !stream.end_of_stream)
                break;
        }
    }
    if (last == first && final) {
        stream.end_of_stream = 1;
        stream.avail_in = 0;
        if (isal_deflate(&stream) != COMP_OK)
            return;
    }
    part.deflated.resize(size_t(stream.next_out - part.deflated.data()));
    part.adler = adler;
    part.ok = true;
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
        std::thread worker([&] { encodeRows(image, alpha, split, h, true, bottom); });
        encodeRows(image, alpha, 0, split, false, top);
        worker.join();
    } else {
        encodeRows(image, alpha, 0, h, true, top);
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
