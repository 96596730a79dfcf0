// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotation/Annotation.h"

#include <QImage>
#include <QSizeF>

class QPainter;

// The look of every annotation kind, for the canvas and the exported picture alike.
namespace AnnotationRenderer {

inline constexpr double highlightAlpha = 0.35;

double arrowHeadLength(double lineWidth);
// Columns and rows of blocks a pixelation of this rectangle (points) is drawn with.
QSize pixelateGrid(const QRectF &rect);
// The label font size of a badge with that number.
double badgeLabelSize(qint64 number);

// Paints one annotation. The painter's user space is image space (one unit a point, origin at the bottom-
// left corner, y up). baseImage, imagePointSize and scale are read by pixelations only.
void draw(const Annotation &annotation, QPainter &painter, const QImage &baseImage, QSizeF imagePointSize,
          double scale);

} // namespace AnnotationRenderer
