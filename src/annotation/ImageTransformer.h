// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotation/Annotation.h"

#include <QImage>
#include <QList>

#include <optional>

// Bitmap transforms of the editor, each paired with the annotation transform that keeps the marks on the
// same picture content. Every function returns nothing when the result cannot be made (an impossible
// size, a rectangle outside the image); the caller then leaves its document unchanged.
namespace ImageTransformer {

// Scaled by the factor in both directions: max(1, round(side × factor)) pixels a side.
std::optional<QImage> resize(const QImage &image, double factor);
// Turned a quarter turn; the result is Hp × Wp pixels.
std::optional<QImage> rotated90(const QImage &image, bool clockwise);
// The pixel rectangle (rows from the top) a crop of the image-space rectangle cuts, before clipping.
QRectF cropPixelRect(const QRectF &rect, double imagePointHeight, double scale);
// Cut to the part of that rectangle inside the bitmap.
std::optional<QImage> crop(const QImage &image, const QRectF &rect, double scale);

struct Transformed {
    QImage image;
    QList<Annotation> annotations;
};

std::optional<Transformed> resize(const QImage &image, const QList<Annotation> &annotations, double factor);
std::optional<Transformed> rotated90(const QImage &image, const QList<Annotation> &annotations, double scale,
                                     bool clockwise);
// Annotations move by the rectangle's exact origin; those outside the new image stay in the list.
std::optional<Transformed> crop(const QImage &image, const QList<Annotation> &annotations, const QRectF &rect,
                                double scale);

} // namespace ImageTransformer
