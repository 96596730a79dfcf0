// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotation/Geometry.h"

#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <algorithm>
#include <cmath>
#include <iterator>

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

// Zoom: view pixels per point, 1 showing the picture at its point size.
inline constexpr double minimumZoom = 0.05;
inline constexpr double maximumZoom = 8;

inline double clampedZoom(double zoom)
{
    return std::isfinite(zoom) ? std::clamp(zoom, minimumZoom, maximumZoom) : 1.0;
}

// The zoom at which a canvas of `content` points fits in `viewport` pixels, never above 1: whole pixels
// are rounded up, so the result leaves the canvas no larger than the viewport.
inline double fittedZoom(QSizeF content, QSizeF viewport)
{
    if (!(content.width() > 0) || !(content.height() > 0) || !(viewport.width() > 0) ||
        !(viewport.height() > 0))
        return 1;
    const double zoom =
        std::min({1.0, viewport.width() / content.width(), viewport.height() / content.height()});
    return clampedZoom(zoom);
}

// The next zoom of the usual steps above (direction > 0) or below the current one.
inline double steppedZoom(double zoom, int direction)
{
    static constexpr double steps[] = {0.05, 0.1,  0.125, 0.25, 1.0 / 3, 0.5, 2.0 / 3, 0.75,
                                       1,    1.25, 1.5,   2,    3,       4,   6,       8};
    if (direction > 0) {
        for (double step : steps)
            if (step > zoom * (1 + 1e-6))
                return step;
        return maximumZoom;
    }
    for (auto it = std::rbegin(steps); it != std::rend(steps); ++it)
        if (*it < zoom * (1 - 1e-6))
            return *it;
    return minimumZoom;
}

// The canvas's size in whole view pixels.
inline QSize zoomedSize(QSizeF points, double zoom)
{
    return QSize(std::max(1, int(std::ceil(points.width() * zoom - 1e-6))),
                 std::max(1, int(std::ceil(points.height() * zoom - 1e-6))));
}

// "75 %", "100 %", "12,5 %".
inline QString zoomLabel(double zoom)
{
    const double percent = std::round(zoom * 1000) / 10;
    QString number = QString::number(percent, 'f', percent == std::round(percent) ? 0 : 1);
    number.replace(u'.', u',');
    return number + QStringLiteral(" %");
}

inline constexpr double handleReach = 8;
inline constexpr double minimumDraft = 3;
inline constexpr double minimumCrop = 5;

} // namespace CanvasGeometry
