// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSize>

#include <optional>

// Reads and writes the resolution (dots per inch) stored in PNG, JPEG and WebP files. Everything here
// works on untrusted bytes: every offset is checked, nothing is allocated from a size the file claims.
namespace ImageMetadata {

// The horizontal resolution in dots per inch recorded in the file: PNG pHYs (metre unit), JPEG JFIF
// density or EXIF XResolution, WebP EXIF XResolution. Nothing when the file records none.
std::optional<double> horizontalDpi(const QByteArray &file);

// XResolution of a TIFF structure (the payload of an EXIF block, with or without its "Exif\0\0" prefix),
// converted to dots per inch with its ResolutionUnit.
std::optional<double> exifHorizontalDpi(const QByteArray &exif);

// A minimal EXIF (TIFF, little-endian) block holding XResolution, YResolution and ResolutionUnit = inch.
QByteArray exifWithResolution(double dpi);

// The same WebP file in the extended (VP8X) layout with an EXIF chunk carrying the resolution. Returns
// nothing when the input is not a WebP file this function understands.
std::optional<QByteArray> webpWithResolution(const QByteArray &webp, QSize canvasSize, double dpi);

} // namespace ImageMetadata
