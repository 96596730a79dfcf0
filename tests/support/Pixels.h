// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>

#include <cmath>

// Reading rendered pictures in image-space terms (points, y up).
namespace Pixels {

// The colour of the pixel under an image-space point of a picture H points high at scale s.
inline QColor at(const QImage &image, QPointF point, double imageHeight, double scale = 1)
{
    const int x = int(std::floor(point.x() * scale));
    const int y = int(std::floor((imageHeight - point.y()) * scale));
    return image.pixelColor(x, y);
}

inline bool near(const QColor &a, const QColor &b, int tolerance = 6)
{
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

inline bool dark(const QColor &c)
{
    return c.alpha() > 128 && c.lightness() < 100;
}

inline QImage filled(int width, int height, QColor color)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    return image;
}

// The bounding box (pixels) of the pixels matching a predicate.
template <typename F> QRect boundsOf(const QImage &image, F &&matches)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (matches(image.pixelColor(x, y)))
                box = box.united(QRect(x, y, 1, 1));
    return box;
}

} // namespace Pixels
