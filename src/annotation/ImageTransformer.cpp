// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotation/ImageTransformer.h"

#include "annotation/Geometry.h"
#include "common/ImageLimits.h"

#include <QColorSpace>
#include <QTransform>

#include <cmath>

namespace ImageTransformer {

namespace {

QImage premultiplied(const QImage &image)
{
    return image.format() == QImage::Format_ARGB32_Premultiplied
               ? image
               : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

} // namespace

std::optional<QImage> resize(const QImage &image, double factor)
{
    if (image.isNull() || !(factor > 0) || !std::isfinite(factor))
        return std::nullopt;
    const double width = std::max(1.0, Geometry::roundHalfAway(image.width() * factor));
    const double height = std::max(1.0, Geometry::roundHalfAway(image.height() * factor));
    const double limit = double(ImageLimits::maxPixels);
    if (width > limit || height > limit || !ImageLimits::allows(std::int64_t(width), std::int64_t(height)))
        return std::nullopt;
    QImage result =
        premultiplied(image).scaled(int(width), int(height), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (result.isNull())
        return std::nullopt;
    if (image.colorSpace().isValid())
        result.setColorSpace(image.colorSpace());
    return result;
}

std::optional<QImage> rotated90(const QImage &image, bool clockwise)
{
    if (image.isNull())
        return std::nullopt;
    // Qt's y-down rotation by +90° is a clockwise turn on screen; quarter turns move pixels exactly.
    QImage result = premultiplied(image).transformed(QTransform().rotate(clockwise ? 90 : -90));
    if (result.isNull())
        return std::nullopt;
    // The turn keeps the pixels' meaning: same colour space.
    if (image.colorSpace().isValid())
        result.setColorSpace(image.colorSpace());
    return result;
}

QRectF cropPixelRect(const QRectF &rect, double imagePointHeight, double scale)
{
    return Geometry::pixelRect(rect, imagePointHeight, scale);
}

std::optional<QImage> crop(const QImage &image, const QRectF &rect, double scale)
{
    if (image.isNull() || !(scale > 0))
        return std::nullopt;
    const QRectF pixels = cropPixelRect(rect, image.height() / scale, scale);
    const QRect inside = Geometry::insideBitmap(pixels, image.width(), image.height());
    if (inside.isEmpty())
        return std::nullopt;
    QImage result = image.copy(inside);
    if (result.isNull())
        return std::nullopt;
    return result;
}

std::optional<Transformed> resize(const QImage &image, const QList<Annotation> &annotations, double factor)
{
    std::optional<QImage> resized = resize(image, factor);
    if (!resized)
        return std::nullopt;
    Transformed result{std::move(*resized), {}};
    for (const Annotation &a : annotations)
        result.annotations.append(a.scaled(factor));
    return result;
}

std::optional<Transformed> rotated90(const QImage &image, const QList<Annotation> &annotations, double scale,
                                     bool clockwise)
{
    std::optional<QImage> turned = rotated90(image, clockwise);
    if (!turned)
        return std::nullopt;
    const QSizeF size(image.width() / scale, image.height() / scale);
    Transformed result{std::move(*turned), {}};
    for (const Annotation &a : annotations)
        result.annotations.append(a.rotated90(clockwise, size));
    return result;
}

std::optional<Transformed> crop(const QImage &image, const QList<Annotation> &annotations, const QRectF &rect,
                                double scale)
{
    std::optional<QImage> cut = crop(image, rect, scale);
    if (!cut)
        return std::nullopt;
    const QRectF r = Geometry::normalized(rect);
    Transformed result{std::move(*cut), annotations};
    for (Annotation &a : result.annotations)
        a.translate(-r.x(), -r.y());
    return result;
}

} // namespace ImageTransformer
