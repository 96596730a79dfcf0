// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/PngWriter.h"

#include "common/ImageLimits.h"
#include "common/Resolution.h"

#include <QColorSpace>

#include <zlib.h>

// The byte shuffle that unpacks RGB rows needs x86's SSSE3 (checked at run time); elsewhere, or built with
// PIM_PNG_SCALAR, rows are unpacked a pixel at a time.
#if (defined(__x86_64__) || defined(__i386__)) && !defined(PIM_PNG_SCALAR)
#define PIM_PNG_SHUFFLE 1
#include <immintrin.h>
#endif
// ISA-L's Adler-32 is several times faster than zlib's on large rows; zlib's serves when it is missing.
#ifdef PIM_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

#include <algorithm>
#include <atomic>
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

// The PNG filters we choose from (Average is rarely the best on screens and is left out), each applied to
// byte i of a row c whose prior row is p, with bpp bytes per pixel.
enum Filter : uint8_t { none = 0, sub = 1, up = 2, paeth = 4 };

// Paeth's predictor for byte i. Written with 16-bit values, |a + b - 2d| as |pa + pb| and a non-short-
// circuit "and", so that the loops using it vectorise.
template <int BPP>
inline int16_t paethPredictor(const uint8_t *__restrict c, const uint8_t *__restrict p, size_t i)
{
    const int16_t a = c[i - BPP], b = p[i], d = p[i - BPP];
    int16_t pa = int16_t(b - d), pb = int16_t(a - d), pc = int16_t(pa + pb);
    pa = pa < 0 ? int16_t(-pa) : pa;
    pb = pb < 0 ? int16_t(-pb) : pb;
    pc = pc < 0 ? int16_t(-pc) : pc;
    return ((pa <= pb) & (pa <= pc)) ? a : (pb <= pc ? b : d);
}

// |v| of a byte read as a signed value.
inline unsigned magnitude(uint8_t v)
{
    const uint8_t minus = uint8_t(0 - v);
    return v < minus ? v : minus;
}

// The usual estimate of how well a filtered row packs is the sum of its bytes' magnitudes. We sum them
// over a quarter of the row (64 bytes of every 256), which picks nearly the same filters for a quarter of
// the work. Each filter is summed in its own plain loop, without storing its output, so that the compiler
// vectorises them; the Paeth loop stays out of line, as inlined into the row loop GCC no longer
// vectorises it.
constexpr size_t sampleBytes = 64, sampleStep = 256;

template <int BPP>
__attribute__((noinline)) unsigned paethCost(const uint8_t *__restrict c, const uint8_t *__restrict p,
                                             size_t n)
{
    unsigned sum = 0;
    for (size_t start = BPP; start < n; start += sampleStep) {
        const size_t end = std::min(n, start + sampleBytes);
        for (size_t i = start; i < end; ++i)
            sum += magnitude(uint8_t(c[i] - paethPredictor<BPP>(c, p, i)));
    }
    return sum;
}

template <int BPP> Filter chooseFilter(const uint8_t *__restrict c, const uint8_t *__restrict p, size_t n)
{
    unsigned noneCost = 0, subCost = 0, upCost = 0;
    for (size_t start = BPP; start < n; start += sampleStep) {
        const size_t end = std::min(n, start + sampleBytes);
        for (size_t i = start; i < end; ++i)
            noneCost += magnitude(c[i]);
        for (size_t i = start; i < end; ++i)
            subCost += magnitude(uint8_t(c[i] - c[i - BPP]));
        for (size_t i = start; i < end; ++i)
            upCost += magnitude(uint8_t(c[i] - p[i]));
    }
    // A row that Sub or Up turns into zeros (most rows of a screen) needs no Paeth estimate.
    const unsigned paethEstimate = std::min(subCost, upCost) == 0 ? ~0u : paethCost<BPP>(c, p, n);
    const unsigned costs[4] = {noneCost, subCost, upCost, paethEstimate};
    static constexpr Filter filters[4] = {none, sub, up, paeth};
    int best = 0;
    for (int f = 1; f < 4; ++f) {
        if (costs[f] < costs[best])
            best = f;
    }
    return filters[best];
}

template <int BPP>
__attribute__((noinline)) void paethRow(const uint8_t *__restrict c, const uint8_t *__restrict p, size_t n,
                                        uint8_t *__restrict out)
{
    for (size_t i = 0; i < BPP; ++i)
        out[i] = uint8_t(c[i] - p[i]);
    for (size_t i = BPP; i < n; ++i)
        out[i] = uint8_t(c[i] - paethPredictor<BPP>(c, p, i));
}

template <int BPP>
void applyFilter(Filter filter, const uint8_t *__restrict c, const uint8_t *__restrict p, size_t n,
                 uint8_t *__restrict out)
{
    switch (filter) {
    case none: std::memcpy(out, c, n); break;
    case sub:
        std::memcpy(out, c, BPP);
        for (size_t i = BPP; i < n; ++i)
            out[i] = uint8_t(c[i] - c[i - BPP]);
        break;
    case up:
        for (size_t i = 0; i < n; ++i)
            out[i] = uint8_t(c[i] - p[i]);
        break;
    case paeth: paethRow<BPP>(c, p, n, out); break;
    }
}

uint32_t adler32Of(uint32_t adler, const uint8_t *bytes, size_t size)
{
#ifdef PIM_HAVE_ISAL
    return isal_adler32(adler, bytes, uint64_t(size));
#else
    return uint32_t(adler32_z(adler, bytes, size));
#endif
}

#ifdef PIM_PNG_SHUFFLE
// One picture row as PNG samples: RGB or RGBA from Qt's 0xAARRGGBB words.
// Four BGRX pixels to twelve RGB bytes at a time with SSSE3's byte shuffle; returns the pixels done.
__attribute__((target("ssse3"))) int unpackRgbShuffled(const quint32 *pixels, int w, uint8_t *out)
{
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    int x = 0;
    // Each store writes 16 bytes, 4 past the 12 it means (the next store overwrites them): only while the
    // row has those 4 bytes, that is 6 pixels from x on.
    for (; x + 6 <= w; x += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i *>(pixels + x));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + size_t(x) * 3), _mm_shuffle_epi8(four, order));
    }
    return x;
}

const bool hasSsse3 = __builtin_cpu_supports("ssse3");
#endif

template <int BPP> void unpackRow(const QImage &image, int y, uint8_t *__restrict out)
{
    const auto *pixels = reinterpret_cast<const quint32 *>(image.constScanLine(y));
    const int w = image.width();
    int x = 0;
#ifdef PIM_PNG_SHUFFLE
    if constexpr (BPP == 3) {
        if (hasSsse3) {
            x = unpackRgbShuffled(pixels, w, out);
            out += size_t(x) * 3;
        }
    }
#endif
    for (; x < w; ++x) {
        const quint32 p = pixels[x];
        out[0] = uint8_t(p >> 16);
        out[1] = uint8_t(p >> 8);
        out[2] = uint8_t(p);
        if constexpr (BPP == 4)
            out[3] = uint8_t(p >> 24);
        out += BPP;
    }
}

// A byte buffer that is not zeroed: only the pages the compressor writes are ever touched, which on a
// virtual machine saves most of the cost of a large, mostly unused output buffer.
struct Buffer {
    std::unique_ptr<uint8_t[]> bytes;
    size_t capacity = 0;
    size_t used = 0;

    void reserve(size_t n)
    {
        if (n <= capacity)
            return;
        std::unique_ptr<uint8_t[]> grown(new uint8_t[n]);
        if (used)
            std::memcpy(grown.get(), bytes.get(), used);
        bytes = std::move(grown);
        capacity = n;
    }
    uint8_t *data() const { return bytes.get(); }
    size_t size() const { return used; }
};

struct Part {
    Buffer deflated;
    uint32_t adler = 1;
    size_t rawSize = 0;
    bool ok = false;
};

// Each slice of filtered rows goes to one of two compressors, by what it shows. Where fewer than 85 % of
// its filtered bytes are zero (photographs, gradients), ISA-L's fast level takes it: zlib gains 1 to 5 %
// there at ten times the cost. Elsewhere (windows, text, flat colour) zlib at level 3 does: it comes out
// about 10 % smaller than ISA-L on such rows, where it is fast anyway. Each compressor sees only its own
// slices, so when the slice before went to the other one it is given the last 32 KiB of the stream as its
// dictionary.
constexpr int deflateLevel = 3;
#ifdef PIM_HAVE_ISAL
#endif
constexpr size_t window = 32 * 1024;

#ifdef PIM_HAVE_ISAL
// Whether a slice of filtered rows looks photographic: fewer than 85 % of its bytes are zero, counted over
// a quarter of them as the filter estimate is.
bool photographic(const uint8_t *__restrict bytes, size_t n)
{
    size_t zeros = 0, counted = 0;
    for (size_t start = 0; start < n; start += sampleStep) {
        const size_t end = std::min(n, start + sampleBytes);
        unsigned inSample = 0;
        for (size_t i = start; i < end; ++i)
            inSample += bytes[i] == 0;
        zeros += inSample;
        counted += end - start;
    }
    return double(zeros) < 0.85 * double(counted);
}
#endif

// What one thread keeps from band to band: its compressors and its row buffers.
struct Worker {
    z_stream stream{};
    bool ready = false;
    std::vector<uint8_t> previous, current;
    std::vector<uint8_t> tail; // the last 32 KiB of input
    bool zlibInStep = true;    // zlib has seen every slice of the band so far
    bool fastInStep = true;    // and ISA-L
    bool zlibPending = false;  // zlib holds input it has not flushed
    std::unique_ptr<uint8_t[]> filtered;
    size_t filteredSize = 0;
#ifdef PIM_HAVE_ISAL
    isal_zstream fast{};
    std::unique_ptr<uint8_t[]> fastLevel{new uint8_t[ISAL_DEF_LVL1_DEFAULT]};
#endif

    Worker()
    {
        ready = deflateInit2(&stream, deflateLevel, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Worker()
    {
        if (ready)
            deflateEnd(&stream);
    }
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    void startBand()
    {
#ifdef PIM_HAVE_ISAL
        isal_deflate_init(&fast);
        fast.level = 1;
        fast.level_buf = fastLevel.get();
        fast.level_buf_size = ISAL_DEF_LVL1_DEFAULT;
        fast.gzip_flag = IGZIP_DEFLATE;
#endif
    }

    // Deflates `bytes` at `out` (room for `room`). The band's `last` slice ends with a sync flush or, when
    // `final`, the final block. Returns the bytes written, or -1 on failure.
    qint64 deflateSlice(uint8_t *in, size_t bytes, uint8_t *out, size_t room, bool last, bool final)
    {
        uint8_t *const start = out;
#ifdef PIM_HAVE_ISAL
        if (photographic(in, bytes)) {
            if (zlibPending) { // zlib's last slice goes out first, ending on a byte
                stream.avail_in = 0;
                stream.next_out = out;
                stream.avail_out = uInt(std::min<size_t>(room, UINT_MAX));
                if (deflate(&stream, Z_SYNC_FLUSH) != Z_OK)
                    return -1;
                room -= size_t(stream.next_out - out);
                out = stream.next_out;
                zlibPending = false;
            }
            if (!fastInStep) {
                isal_deflate_reset(&fast);
                if (!tail.empty() &&
                    isal_deflate_set_dict(&fast, tail.data(), uint32_t(tail.size())) != COMP_OK)
                    return -1;
            }
            fast.next_in = in;
            fast.avail_in = uint32_t(bytes);
            fast.next_out = out;
            fast.avail_out = uint32_t(std::min<size_t>(room, UINT32_MAX));
            fast.end_of_stream = last && final ? 1 : 0;
            fast.flush = last && final ? NO_FLUSH : SYNC_FLUSH;
            if (isal_deflate(&fast) != COMP_OK || fast.avail_in != 0 ||
                (last && final && fast.internal_state.state != ZSTATE_END))
                return -1;
            fastInStep = true;
            zlibInStep = false;
            return qint64(fast.next_out - start);
        }
        fastInStep = false;
#endif
        if (!zlibInStep) {
            if (deflateReset(&stream) != Z_OK ||
                (!tail.empty() && deflateSetDictionary(&stream, tail.data(), uInt(tail.size())) != Z_OK))
                return -1;
        }
        stream.next_in = in;
        stream.avail_in = uInt(bytes);
        stream.next_out = out;
        stream.avail_out = uInt(std::min<size_t>(room, UINT_MAX));
        // Within a run of zlib's slices the stream goes on unflushed.
        const int flush = !last ? Z_NO_FLUSH : (final ? Z_FINISH : Z_SYNC_FLUSH);
        const int status = deflate(&stream, flush);
        if (stream.avail_in != 0 ||
            (flush == Z_FINISH ? status != Z_STREAM_END : (status != Z_OK && status != Z_BUF_ERROR)))
            return -1;
        zlibInStep = true;
        zlibPending = !last;
        return qint64(stream.next_out - start);
    }

    // Keeps the last 32 KiB of what went in.
    void remember(const uint8_t *bytes, size_t n)
    {
        if (n >= window) {
            tail.assign(bytes + n - window, bytes + n);
            return;
        }
        tail.insert(tail.end(), bytes, bytes + n);
        if (tail.size() > window)
            tail.erase(tail.begin(), tail.end() - qsizetype(window));
    }
};

// Filters rows [first, last) and deflates them as a raw deflate stream that ends with a sync flush (byte
// aligned, not final), or with the final block when `final`.
template <int BPP>
void encodeRows(Worker &worker, const QImage &image, int first, int last, bool final, Part &part)
{
    const size_t rowBytes = size_t(image.width()) * BPP;
    const size_t stride = rowBytes + 1;
    // Filtered rows go to the compressor in slices of about 256 KiB, which stay in the cache.
    const int band = std::max(1, int((256 * 1024) / stride));
    if (!worker.ready || deflateReset(&worker.stream) != Z_OK)
        return;
    worker.startBand();
    worker.previous.assign(rowBytes, 0);
    worker.current.resize(rowBytes);
    worker.tail.clear();
    worker.zlibInStep = worker.fastInStep = true;
    worker.zlibPending = false;
    if (worker.filteredSize < stride * size_t(band)) {
        worker.filteredSize = stride * size_t(band);
        worker.filtered.reset(new uint8_t[worker.filteredSize]);
    }
    std::vector<uint8_t> &previous = worker.previous, &current = worker.current;
    uint8_t *const filtered = worker.filtered.get();
    const size_t total = stride * size_t(last - first);
    part.rawSize = total;
    // Room for the worst case of either compressor; untouched pages cost nothing.
    const size_t room =
        deflateBound(&worker.stream, uLong(total)) + total / 64 + size_t(last - first) * 8 + 1024;
    part.deflated.reserve(room);

    if (first > 0)
        unpackRow<BPP>(image, first - 1, previous.data());
    uint32_t adler = 1;
    bool ok = true;
    size_t used = 0;
    for (int y = first; y < last && ok;) {
        const int rows = std::min(band, last - y);
        for (int r = 0; r < rows; ++r) {
            unpackRow<BPP>(image, y + r, current.data());
            uint8_t *out = filtered + size_t(r) * stride;
            const Filter filter = chooseFilter<BPP>(current.data(), previous.data(), rowBytes);
            out[0] = filter;
            applyFilter<BPP>(filter, current.data(), previous.data(), rowBytes, out + 1);
            std::swap(previous, current);
        }
        const size_t bytes = size_t(rows) * stride;
        adler = adler32Of(adler, filtered, bytes);
        y += rows;
        const qint64 written =
            worker.deflateSlice(filtered, bytes, part.deflated.data() + used, room - used, y >= last, final);
        ok = written >= 0;
        used += size_t(std::max<qint64>(written, 0));
        worker.remember(filtered, bytes);
    }
    if (last == first && final) {
        worker.stream.avail_in = 0;
        worker.stream.next_out = part.deflated.data();
        worker.stream.avail_out = uInt(room);
        ok = deflate(&worker.stream, Z_FINISH) == Z_STREAM_END;
        used = size_t(worker.stream.next_out - part.deflated.data());
    }
    part.deflated.used = used;
    part.adler = adler;
    part.ok = ok;
}

void encodePart(Worker &worker, const QImage &image, bool alpha, int first, int last, bool final, Part &part)
{
    if (alpha)
        encodeRows<4>(worker, image, first, last, final, part);
    else
        encodeRows<3>(worker, image, first, last, final, part);
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
    // Bands of rows, each its own deflate stream (all but the last ending in a sync flush, so that they
    // join into one), taken in turn by two threads: how hard a band compresses varies with what it shows,
    // and the thread that finishes first takes the next one.
    const int bandCount = h >= 256 ? 8 : 1;
    std::vector<Part> parts(static_cast<size_t>(bandCount));
    const auto bandStart = [&](int i) { return int(qint64(h) * i / bandCount); };
    std::atomic<int> next{0};
    const auto work = [&] {
        const auto worker = std::make_unique<Worker>(); // large: ISA-L's state holds its history
        for (int i = next++; i < bandCount; i = next++)
            encodePart(*worker, image, alpha, bandStart(i), bandStart(i + 1), i == bandCount - 1,
                       parts[size_t(i)]);
    };
    if (bandCount > 1) {
        std::thread worker(work);
        work();
        worker.join();
    } else {
        work();
    }
    size_t deflatedSize = 0;
    for (const Part &part : parts) {
        if (!part.ok)
            return std::nullopt;
        deflatedSize += part.deflated.size();
    }

    QByteArray out;
    out.reserve(qsizetype(deflatedSize + 1024));
    out.append("\x89PNG\r\n\x1a\n", 8);

    QByteArray header;
    putU32(header, quint32(image.width()));
    putU32(header, quint32(h));
    header.append(char(8));             // bits per sample
    header.append(char(alpha ? 6 : 2)); // RGBA or RGB
    header.append(3, '\0');             // deflate, adaptive filters, no interlace
    appendChunk(out, "IHDR", header);

    const quint32 dotsPerMeter = quint32(Resolution::dotsPerMeter(scale));
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
    data.reserve(qsizetype(deflatedSize + 6));
    data.append(char(0x78));
    data.append(char(0x01));
    uLong adler = parts.front().adler;
    for (size_t i = 0; i < parts.size(); ++i) {
        const Part &part = parts[i];
        data.append(reinterpret_cast<const char *>(part.deflated.data()), qsizetype(part.deflated.size()));
        if (i > 0)
            adler = adler32_combine(adler, part.adler, z_off_t(part.rawSize));
    }
    putU32(data, quint32(adler));
    appendChunk(out, "IDAT", data);
    appendChunk(out, "IEND", QByteArray());
    return out;
}

} // namespace PngWriter
