#pragma once

#include "annotation/Geometry.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <algorithm>
#include <cmath>

// The canvas's arithmetic, in image space (points, y up) and view space (image space shifted by the
// padding p, y up), kept apart from the widget so it can be checked on its own.
namespace CanvasGeometry {

// The in-place text field for a text at `origin` whose content measures `textSize`: view-space frame.
inline QRectF textFieldFrame(QPointF origin, QSizeF textSize, double padding)
{
    return QRectF(origin.x() + padding - 2, origin.y() + padding - 3, std::max(60.0, textSize.width() + 24),
                  textSize.height() + 6);
}

// The text origin a field frame (view space) stands for.
inline QPointF textOrigin(const QRectF &fieldFrame, double padding)
{
    return QPointF(fieldFrame.x() + 2 - padding, fieldFrame.y() + 3 - padding);
}

inline QPointF clamped(QPointF point, QSizeF imageSize)
{
    return QPointF(std::max(0.0, std::min(imageSize.width(), point.x())),
                   std::max(0.0, std::min(imageSize.height(), point.y())));
}

using Geometry::spanned;

// The corner that stays put when corner handle i is dragged: the diagonally opposite one.
inline int fixedCornerIndex(int grabbed)
{
    return (grabbed & 3) ^ 2;
}

// "201 × 100 px": the crop rectangle's size in image pixels.
inline QString cropLabel(const QRectF &crop, double scale)
{
    const auto pixels = [&](double points) { return QString::number(qint64(std::round(points * scale))); };
    return pixels(crop.width()) + QStringLiteral(" × ") + pixels(crop.height()) + QStringLiteral(" px");
}

// The label's box (image space): 6 points below the crop's bottom edge, right edges aligned, kept 4
// points inside the image's bottom and left edges and 20 points in from the canvas's right edge.
inline QRectF cropLabelBox(const QRectF &crop, QSizeF textSize, double canvasWidth)
{
    const double x = std::min(canvasWidth - textSize.width() - 20,
                              std::max(4.0, crop.x() + crop.width() - textSize.width() - 16));
    const double y = std::max(4.0, crop.y() - textSize.height() - 14);
    return QRectF(x, y, textSize.width() + 16, textSize.height() + 8);
}

inline constexpr double handleReach = 8;
inline constexpr double minimumDraft = 3;
inline constexpr double minimumCrop = 5;

} // namespace CanvasGeometry
