// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSizeF>

#include <algorithm>
#include <cmath>

// Small geometry rules shared by the model, the renderer and the transforms. Rectangles in image space
// are y-up: QRectF::y() is the minimum y (the bottom edge), QRectF::bottom() the maximum.
namespace Geometry {

// Nearest whole number, halves away from zero.
inline double roundHalfAway(double value)
{
    return std::round(value);
}

inline QRectF normalized(const QRectF &r)
{
    const double x = std::min(r.x(), r.x() + r.width());
    const double y = std::min(r.y(), r.y() + r.height());
    return QRectF(x, y, std::abs(r.width()), std::abs(r.height()));
}

inline double minX(const QRectF &r)
{
    return r.x();
}
inline double minY(const QRectF &r)
{
    return r.y();
}
inline double maxX(const QRectF &r)
{
    return r.x() + r.width();
}
inline double maxY(const QRectF &r)
{
    return r.y() + r.height();
}

// The rectangle two corners span, whichever they are.
inline QRectF spanned(QPointF a, QPointF b)
{
    return QRectF(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(a.x() - b.x()),
                  std::abs(a.y() - b.y()));
}

// A bitmap's size in points at a scale, and that size with a margin on every side.
inline QSizeF pointSize(QSize pixels, double scale)
{
    return QSizeF(pixels.width() / scale, pixels.height() / scale);
}
inline QSizeF padded(QSizeF size, double padding)
{
    return QSizeF(size.width() + 2 * padding, size.height() + 2 * padding);
}

// Minimum edges inside, maximum edges outside.
inline bool contains(const QRectF &r, const QPointF &p)
{
    const QRectF n = normalized(r);
    return p.x() >= minX(n) && p.x() < maxX(n) && p.y() >= minY(n) && p.y() < maxY(n);
}

inline QRectF grown(const QRectF &r, double by)
{
    const QRectF n = normalized(r);
    return QRectF(n.x() - by, n.y() - by, n.width() + 2 * by, n.height() + 2 * by);
}

// The smallest rectangle with whole-number edges that contains r (r normalised first).
inline QRectF integral(const QRectF &r)
{
    const QRectF n = normalized(r);
    const double left = std::floor(minX(n)), top = std::floor(minY(n));
    return QRectF(left, top, std::ceil(maxX(n)) - left, std::ceil(maxY(n)) - top);
}

// The pixel rectangle (rows from the top) of a bitmap for an image-space rectangle in points, made
// integral; H is the image height in points, s the scale.
inline QRectF pixelRect(const QRectF &r, double imageHeight, double scale)
{
    const QRectF n = normalized(r);
    return integral(
        QRectF(minX(n) * scale, (imageHeight - maxY(n)) * scale, n.width() * scale, n.height() * scale));
}

// A pixel rectangle as whole numbers; callers check the values fit first.
inline QRect toRect(const QRectF &integralRect)
{
    return QRect(int(integralRect.x()), int(integralRect.y()), int(integralRect.width()),
                 int(integralRect.height()));
}

// The part of an integral pixel rectangle inside a width × height bitmap; empty when none.
inline QRect insideBitmap(const QRectF &pixels, int width, int height)
{
    const double left = std::max(pixels.x(), 0.0), top = std::max(pixels.y(), 0.0);
    const double right = std::min(pixels.x() + pixels.width(), double(width));
    const double bottom = std::min(pixels.y() + pixels.height(), double(height));
    if (!(right > left && bottom > top))
        return QRect();
    return QRect(int(left), int(top), int(right - left), int(bottom - top));
}

} // namespace Geometry
