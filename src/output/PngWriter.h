// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

// Our own PNG encoder for the hot path of a capture: adaptive row filters, zlib's deflate at a fast level,
// ISA-L's Adler sum and zlib's CRC, the rows split between two threads. Pixel-exact: opaque pictures are
// written as 8-bit RGB, others as 8-bit RGBA with straight alpha. The file carries 72 × scale dpi (pHYs) and,
// when it has one, the picture's colour space (sRGB or an ICC profile).
namespace PngWriter {

std::optional<QByteArray> encode(const QImage &image, double scale);

} // namespace PngWriter
