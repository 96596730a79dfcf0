// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/ImageMetadata.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace ImageMetadata {

namespace {

// Bounds-checked reads from a byte array.
class Bytes {
public:
    explicit Bytes(const QByteArray &data)
        : m_data(reinterpret_cast<const uint8_t *>(data.constData())), m_size(data.size())
    {}

    qsizetype size() const { return m_size; }
    bool has(qsizetype offset, qsizetype length) const
    {
        return offset >= 0 && length >= 0 && offset <= m_size && length <= m_size - offset;
    }
    uint8_t u8(qsizetype at) const { return m_data[at]; }
    uint16_t u16be(qsizetype at) const { return uint16_t(m_data[at] << 8 | m_data[at + 1]); }
    uint32_t u32be(qsizetype at) const { return uint32_t(u16be(at)) << 16 | u16be(at + 2); }
    uint16_t u16le(qsizetype at) const { return uint16_t(m_data[at] | m_data[at + 1] << 8); }
    uint32_t u32le(qsizetype at) const { return uint32_t(u16le(at)) | uint32_t(u16le(at + 2)) << 16; }
    uint16_t u16(qsizetype at, bool littleEndian) const { return littleEndian ? u16le(at) : u16be(at); }
    uint32_t u32(qsizetype at, bool littleEndian) const { return littleEndian ? u32le(at) : u32be(at); }
    bool matches(qsizetype at, const char *text) const
    {
        const qsizetype length = qsizetype(std::strlen(text));
        return has(at, length) && std::memcmp(m_data + at, text, size_t(length)) == 0;
    }

private:
    const uint8_t *m_data;
    qsizetype m_size;
};

std::optional<double> positive(double dpi)
{
    if (std::isfinite(dpi) && dpi > 0)
        return dpi;
    return std::nullopt;
}

std::optional<double> pngDpi(const Bytes &png)
{
    qsizetype at = 8;
    while (png.has(at, 8)) {
        const uint32_t length = png.u32be(at);
        const qsizetype data = at + 8;
        if (png.matches(at + 4, "IDAT") || png.matches(at + 4, "IEND") || !png.has(data, length))
            return std::nullopt;
        if (png.matches(at + 4, "pHYs")) {
            if (length < 9 || png.u8(data + 8) != 1)
                return std::nullopt;
            return positive(png.u32be(data) * 0.0254);
        }
        at = data + qsizetype(length) + 4;
    }
    return std::nullopt;
}

std::optional<double> jpegDpi(const QByteArray &file, const Bytes &jpeg)
{
    std::optional<double> fromExif;
    qsizetype at = 2;
    while (jpeg.has(at, 4)) {
        if (jpeg.u8(at) != 0xFF)
            return fromExif;
        const uint8_t marker = jpeg.u8(at + 1);
        if (marker == 0xFF) {
            ++at; // fill byte
            continue;
        }
        if (marker == 0xDA || marker == 0xD9)
            break; // image data follows: no more metadata
        const uint16_t length = jpeg.u16be(at + 2);
        const qsizetype data = at + 4;
        if (length < 2 || !jpeg.has(at + 2, length))
            break;
        const qsizetype payload = length - 2;
        if (marker == 0xE0 && payload >= 12 && jpeg.matches(data, "JFIF")) {
            const uint8_t units = jpeg.u8(data + 7);
            const uint16_t x = jpeg.u16be(data + 8);
            if (units == 1)
                return positive(x);
            if (units == 2)
                return positive(x * 2.54);
        } else if (marker == 0xE1 && !fromExif && jpeg.matches(data, "Exif")) {
            fromExif = exifHorizontalDpi(file.mid(data, payload));
        }
        at = data + payload;
    }
    return fromExif;
}

std::optional<double> webpDpi(const QByteArray &file, const Bytes &webp)
{
    qsizetype at = 12;
    while (webp.has(at, 8)) {
        const uint32_t length = webp.u32le(at + 4);
        const qsizetype data = at + 8;
        if (!webp.has(data, length))
            return std::nullopt;
        if (webp.matches(at, "EXIF"))
            return exifHorizontalDpi(file.mid(data, length));
        at = data + qsizetype(length) + (length & 1);
    }
    return std::nullopt;
}

void putU16le(QByteArray &out, uint16_t v)
{
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}

void putU32le(QByteArray &out, uint32_t v)
{
    putU16le(out, uint16_t(v & 0xFFFF));
    putU16le(out, uint16_t(v >> 16));
}

void putU24le(QByteArray &out, uint32_t v)
{
    putU16le(out, uint16_t(v & 0xFFFF));
    out.append(char((v >> 16) & 0xFF));
}

void setU32le(QByteArray &out, qsizetype at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out[at + i] = char((v >> (8 * i)) & 0xFF);
}

} // namespace

std::optional<double> exifHorizontalDpi(const QByteArray &exif)
{
    QByteArray tiff = exif;
    if (tiff.startsWith(QByteArrayLiteral("Exif\0\0")))
        tiff = tiff.mid(6);
    const Bytes b(tiff);
    if (!b.has(0, 8))
        return std::nullopt;
    bool little;
    if (b.matches(0, "II"))
        little = true;
    else if (b.matches(0, "MM"))
        little = false;
    else
        return std::nullopt;
    if (b.u16(2, little) != 42)
        return std::nullopt;
    const qsizetype ifd = b.u32(4, little);
    if (!b.has(ifd, 2))
        return std::nullopt;
    const uint16_t count = b.u16(ifd, little);
    std::optional<double> resolution;
    uint32_t unit = 2; // inch, the default
    for (uint16_t i = 0; i < count; ++i) {
        const qsizetype entry = ifd + 2 + qsizetype(i) * 12;
        if (!b.has(entry, 12))
            break;
        const uint16_t tag = b.u16(entry, little);
        const uint16_t type = b.u16(entry + 2, little);
        if (tag == 0x011A && type == 5) { // XResolution, RATIONAL
            const qsizetype value = b.u32(entry + 8, little);
            if (b.has(value, 8)) {
                const uint32_t numerator = b.u32(value, little);
                const uint32_t denominator = b.u32(value + 4, little);
                if (denominator != 0)
                    resolution = double(numerator) / double(denominator);
            }
        } else if (tag == 0x0128 && type == 3) { // ResolutionUnit, SHORT (stored in the entry itself)
            unit = b.u16(entry + 8, little);
        }
    }
    if (!resolution || unit == 1)
        return std::nullopt;
    return positive(unit == 3 ? *resolution * 2.54 : *resolution);
}

std::optional<double> horizontalDpi(const QByteArray &file)
{
    const Bytes b(file);
    if (b.matches(0, "\x89PNG\r\n\x1a\n"))
        return pngDpi(b);
    if (b.has(0, 3) && b.u8(0) == 0xFF && b.u8(1) == 0xD8)
        return jpegDpi(file, b);
    if (b.matches(0, "RIFF") && b.matches(8, "WEBP"))
        return webpDpi(file, b);
    return std::nullopt;
}

QByteArray exifWithResolution(double dpi)
{
    // Integral resolutions are stored exactly; others to a thousandth of a dot.
    const bool integral = std::abs(dpi - std::round(dpi)) < 1e-9;
    const uint32_t denominator = integral ? 1 : 1000;
    const uint32_t numerator = uint32_t(std::llround(dpi * denominator));

    QByteArray out;
    out.append("II*\0", 4);
    putU32le(out, 8); // IFD0 right after the header
    const uint16_t entries = 3;
    putU16le(out, entries);
    const uint32_t values = 8 + 2 + entries * 12 + 4;
    // XResolution, YResolution: RATIONAL, one value each, stored after the IFD.
    for (uint16_t tag : {uint16_t(0x011A), uint16_t(0x011B)}) {
        putU16le(out, tag);
        putU16le(out, 5);
        putU32le(out, 1);
        putU32le(out, values + (tag == 0x011A ? 0 : 8));
    }
    // ResolutionUnit: SHORT 2 (inch).
    putU16le(out, 0x0128);
    putU16le(out, 3);
    putU32le(out, 1);
    putU32le(out, 2);
    putU32le(out, 0); // no next IFD
    for (int i = 0; i < 2; ++i) {
        putU32le(out, numerator);
        putU32le(out, denominator);
    }
    return out;
}

std::optional<QByteArray> webpWithResolution(const QByteArray &webp, QSize canvasSize, double dpi)
{
    const Bytes b(webp);
    if (!b.matches(0, "RIFF") || !b.matches(8, "WEBP") || !b.has(12, 8) || canvasSize.isEmpty())
        return std::nullopt;
    if (canvasSize.width() > (1 << 24) || canvasSize.height() > (1 << 24))
        return std::nullopt;

    // Copy every chunk but an existing EXIF one; note whether the file is already extended.
    QByteArray chunks;
    bool extended = false;
    bool alpha = false;
    qsizetype at = 12;
    while (b.has(at, 8)) {
        const uint32_t length = b.u32le(at + 4);
        const qsizetype padded = qsizetype(length) + (length & 1);
        if (!b.has(at + 8, length))
            return std::nullopt;
        if (b.matches(at, "VP8X")) {
            extended = true;
        } else if (b.matches(at, "VP8L") && length >= 5) {
            alpha = alpha || (b.u32le(at + 9) >> 28 & 1);
        } else if (b.matches(at, "ALPH")) {
            alpha = true;
        }
        if (!b.matches(at, "EXIF") && !b.matches(at, "VP8X"))
            chunks.append(webp.mid(at, 8 + padded).leftJustified(8 + padded, '\0', true));
        at += 8 + padded;
    }
    if (chunks.isEmpty())
        return std::nullopt;

    uint8_t flags = 0x08; // EXIF
    if (extended) {
        const uint8_t old = b.u8(20);
        flags |= old & ~0x08;
        alpha = alpha || (old & 0x10);
    }
    if (alpha)
        flags |= 0x10;

    QByteArray out;
    out.append("RIFF", 4);
    putU32le(out, 0); // filled in below
    out.append("WEBP", 4);
    out.append("VP8X", 4);
    putU32le(out, 10);
    out.append(char(flags));
    out.append(3, '\0');
    putU24le(out, uint32_t(canvasSize.width() - 1));
    putU24le(out, uint32_t(canvasSize.height() - 1));
    out.append(chunks);
    const QByteArray exif = exifWithResolution(dpi);
    out.append("EXIF", 4);
    putU32le(out, uint32_t(exif.size()));
    out.append(exif);
    if (exif.size() & 1)
        out.append('\0');
    setU32le(out, 4, uint32_t(out.size() - 8));
    return out;
}

} // namespace ImageMetadata
