// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QPainter>
#include <QStringList>

#include <cstdint>

// Small pictures and hand-made files for the output tests.
namespace TestImages {

// A picture with flat areas, lines and a gradient, so every encoder has something to do.
inline QImage sample(int width = 64, int height = 40)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(240, 240, 245));
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, width, height);
    gradient.setColorAt(0, QColor(20, 90, 200));
    gradient.setColorAt(1, QColor(220, 60, 40));
    painter.fillRect(QRect(0, 0, width / 2, height / 2), gradient);
    painter.setPen(QPen(Qt::black, 2));
    painter.drawLine(0, height - 1, width - 1, 0);
    painter.end();
    return image;
}

inline uint32_t crc32(const QByteArray &bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (char c : bytes) {
        crc ^= uint8_t(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

inline void appendBigEndian(QByteArray &out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((v >> shift) & 0xFF));
}

// A valid PNG chunk (length, type, data, CRC).
inline QByteArray pngChunk(const char *type, const QByteArray &data)
{
    QByteArray out;
    appendBigEndian(out, uint32_t(data.size()));
    QByteArray typed = QByteArray(type, 4) + data;
    out += typed;
    appendBigEndian(out, crc32(typed));
    return out;
}

// A PNG whose header claims width × height pixels, followed by a token amount of data.
inline QByteArray pngClaiming(uint32_t width, uint32_t height)
{
    QByteArray ihdr;
    appendBigEndian(ihdr, width);
    appendBigEndian(ihdr, height);
    ihdr += QByteArray("\x08\x06\x00\x00\x00", 5); // 8-bit RGBA
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) +
           pngChunk("IDAT", QByteArray("\x78\x9c\x03\x00\x00\x00\x00\x01", 8)) + pngChunk("IEND", {});
}

// Inserts a JPEG APP1 segment right after the start-of-image marker.
inline QByteArray jpegWithApp1(const QByteArray &jpeg, const QByteArray &payload)
{
    QByteArray segment("\xFF\xE1", 2);
    const int length = int(payload.size()) + 2;
    segment.append(char(length >> 8));
    segment.append(char(length & 0xFF));
    segment += payload;
    return jpeg.left(2) + segment + jpeg.mid(2);
}

// "Exif\0\0" and a big-endian TIFF with one SHORT entry in IFD0.
inline QByteArray exifWithShort(uint16_t tag, uint16_t value)
{
    QByteArray tiff("Exif\0\0MM\0\x2a\0\0\0\x08", 14);
    tiff += QByteArray("\0\x01", 2);
    tiff.append(char(tag >> 8)).append(char(tag & 0xFF));
    tiff += QByteArray("\0\x03\0\0\0\x01", 6);
    tiff.append(char(value >> 8)).append(char(value & 0xFF)).append(2, '\0');
    tiff += QByteArray(4, '\0');
    return tiff;
}

// Lines of text in DejaVu Sans, dark on a light background, one every `step` pixels from `top`: pictures
// for the text-recognition tests.
inline QImage textLines(const QStringList &lines, QSize size, int pixelSize, int top, int step)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(250, 250, 250));
    QPainter p(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    p.setFont(font);
    p.setPen(QColor(30, 30, 30));
    for (int i = 0; i < lines.size(); ++i)
        p.drawText(QPointF(30, top + i * step), lines[i]);
    return image;
}

} // namespace TestImages
