// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "settings/ImageFormat.h"

#include <QByteArray>
#include <QImage>

namespace ImageWriterError {
// "L'encodage de l'image a échoué."
Error encodingFailed();
} // namespace ImageWriterError

namespace ImageWriter {

// Encodes the bitmap with a resolution of 72 × scale dpi. Quality (clamped to 0.1 … 1.0) applies to JPEG
// and WebP only; PNG is always lossless.
Result<QByteArray> data(const QImage &image, qreal scale, ImageFormat format, double quality);

} // namespace ImageWriter
