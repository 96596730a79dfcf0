// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotation/ImageComposer.h"

#include "annotation/AnnotationRenderer.h"
#include "common/ImageLimits.h"
#include "common/Resolution.h"

#include <QColorSpace>
#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <vector>

namespace ImageComposer {

namespace {

// One box-blur pass of radius r along rows (or columns) of an 8-bit mask, with a running sum.
void boxPass(uchar *data, int length, int lines, qsizetype step, qsizetype lineStep, int r,
             std::vector<uchar> &line)
{
    if (r <= 0)
        return;
    line.resize(size_t(length));
    const int window = 2 * r + 1;
    for (int l = 0; l < lines; ++l) {
        uchar *start = data + l * lineStep;
        for (int i = 0; i < length; ++i)
            line[size_t(i)] = start[i * step];
        int sum = 0;
        // Edges count as transparent.
        for (int i = 0; i <= r && i < length; ++i)
            sum += line[size_t(i)];
        for (int i = 0; i < length; ++i) {
            start[i * step] = uchar((sum + window / 2) / window);
            const int add = i + r + 1, drop = i - r;
            if (add < length)
                sum += line[size_t(add)];
            if (drop >= 0)
                sum -= line[size_t(drop)];
        }
    }
}

QPainterPath outline(QSizeF imageSize, double cornerRadius)
{
    QPainterPath path;
    const double r = clampedCornerRadius(cornerRadius, imageSize);
    if (r > 0)
        path.addRoundedRect(QRectF(QPointF(0, 0), imageSize), r, r);
    else
        path.addRect(QRectF(QPointF(0, 0), imageSize));
    return path;
}

// Device pixels per point of a painter.
double deviceScale(const QPainter &painter)
{
    const QTransform t = painter.combinedTransform();
    const double k = std::sqrt(std::abs(t.m11() * t.m22() - t.m12() * t.m21()));
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    return k * ratio;
}

// The shadow picture of an outline at a pixel density: black at 45 %, already blurred, one device pixel a
// pixel, covering the outline's box grown by three blur sigmas. The blur runs at reduced resolution when it
// is wide (a wide Gaussian has no detail to lose). The last one made is kept: the canvas repaints the same
// shadow on every frame.
struct ShadowPicture {
    QSizeF imageSize;
    double radius = -1;
    double pixelsPerPoint = 0;
    QImage image; // device pixels, devicePixelRatio = pixelsPerPoint
    QRectF area;  // in points, relative to the image's top-left corner
};

const ShadowPicture *shadowPicture(QSizeF imageSize, double radius, double k)
{
    thread_local ShadowPicture cached;
    if (cached.imageSize == imageSize && cached.radius == radius && cached.pixelsPerPoint == k &&
        !cached.image.isNull())
        return &cached;

    const double sigmaDevice = shadowBlur * k / 2;
    const double reduction = std::max(1.0, std::floor(sigmaDevice / 3));
    const double reducedScale = k / reduction;
    const double margin = 3 * shadowBlur / 2; // three sigmas, in points
    const QRectF area = QRectF(QPointF(0, 0), imageSize).adjusted(-margin, -margin, margin, margin);
    const QSize reducedSize(int(std::ceil(area.width() * reducedScale)),
                            int(std::ceil(area.height() * reducedScale)));
    const QSize fullSize(int(std::ceil(area.width() * k)), int(std::ceil(area.height() * k)));
    if (!ImageLimits::allows(fullSize) || !ImageLimits::allows(reducedSize))
        return nullptr;
    QImage mask(reducedSize, QImage::Format_Alpha8);
    if (mask.isNull())
        return nullptr;
    mask.fill(0);
    {
        QPainter m(&mask);
        m.setRenderHint(QPainter::Antialiasing);
        m.scale(reducedScale, reducedScale);
        m.translate(-area.topLeft());
        m.fillPath(outline(imageSize, radius), Qt::black);
    }
    blurAlpha(mask, sigmaDevice / reduction);

    QImage shadow(reducedSize, QImage::Format_ARGB32_Premultiplied);
    if (shadow.isNull())
        return nullptr;
    for (int y = 0; y < reducedSize.height(); ++y) {
        const uchar *in = mask.constScanLine(y);
        auto *out = reinterpret_cast<QRgb *>(shadow.scanLine(y));
        for (int x = 0; x < reducedSize.width(); ++x)
            out[x] = qRgba(0, 0, 0, int(in[x] * shadowAlpha + 0.5)); // premultiplied black is just alpha
    }
    if (reduction > 1)
        shadow = shadow.scaled(fullSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (shadow.isNull())
        return nullptr;
    shadow.setDevicePixelRatio(k);
    cached = ShadowPicture{imageSize, radius, k, std::move(shadow), area};
    return &cached;
}

// Draws the shadow of the image outline 6 points below it. The outline's inside is covered by the opaque
// filler drawn next, so only the band around it is blended.
void paintShadow(QPainter &painter, QSizeF imageSize, double radius, QPointF imageOrigin, bool onScreen)
{
    double k = deviceScale(painter);
    if (onScreen)
        k = std::min(k, 2.0);
    if (!(k > 0) || !std::isfinite(k))
        return;
    const ShadowPicture *picture = shadowPicture(imageSize, radius, k);
    if (!picture)
        return;
    const QPointF topLeft = imageOrigin + picture->area.topLeft() + QPointF(0, shadowOffset);
    const QSize pixels = picture->image.size();
    // The covered rectangle (the outline inset by its corner radius) in the shadow's pixels, shrunk to
    // whole pixels so the bands meet without seams.
    const QPointF coveredOrigin = (imageOrigin + QPointF(radius, radius) - topLeft) * k;
    const int left = std::clamp(int(std::ceil(coveredOrigin.x())), 0, pixels.width());
    const int top = std::clamp(int(std::ceil(coveredOrigin.y())), 0, pixels.height());
    const int right = std::clamp(int(std::floor(coveredOrigin.x() + (imageSize.width() - 2 * radius) * k)),
                                 left, pixels.width());
    const int bottom = std::clamp(int(std::floor(coveredOrigin.y() + (imageSize.height() - 2 * radius) * k)),
                                  top, pixels.height());
    const QRect bands[] = {
        QRect(0, 0, pixels.width(), top),
        QRect(0, bottom, pixels.width(), pixels.height() - bottom),
        QRect(0, top, left, bottom - top),
        QRect(right, top, pixels.width() - right, bottom - top),
    };
    painter.save();
    if (onScreen)
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
    for (const QRect &band : bands) {
        if (band.isEmpty())
            continue;
        const QRectF target(topLeft + QPointF(band.topLeft()) / k, QSizeF(band.size()) / k);
        painter.drawImage(target, picture->image, band);
    }
    painter.restore();
}

void paintBackground(QPainter &painter, const Decoration::Background &background, QSizeF total)
{
    const QRectF picture(QPointF(0, 0), total);
    if (const auto *solid = std::get_if<Decoration::Solid>(&background)) {
        painter.fillRect(picture, solid->color);
    } else if (const auto *gradient = std::get_if<Decoration::Gradient>(&background)) {
        // Top-left to bottom-right along the diagonal, extended (padded) beyond both ends.
        QLinearGradient fill(QPointF(0, 0), QPointF(total.width(), total.height()));
        fill.setColorAt(0, gradient->start);
        fill.setColorAt(1, gradient->end);
        fill.setSpread(QGradient::PadSpread);
        painter.fillRect(picture, fill);
    }
}

} // namespace

double clampedCornerRadius(double cornerRadius, QSizeF imagePointSize)
{
    return std::max(0.0,
                    std::min(cornerRadius, std::min(imagePointSize.width(), imagePointSize.height()) * 0.5));
}

void blurAlpha(QImage &mask, double sigma)
{
    if (mask.format() != QImage::Format_Alpha8 || mask.isNull() || !(sigma > 0))
        return;
    // Three boxes of this radius approximate a Gaussian of the given sigma.
    const int r = std::max(1, int(std::lround((std::sqrt(4.0 * sigma * sigma + 1) - 1) / 2)));
    std::vector<uchar> line;
    const int w = mask.width(), h = mask.height();
    const qsizetype stride = mask.bytesPerLine();
    uchar *data = mask.bits();
    for (int pass = 0; pass < 3; ++pass) {
        boxPass(data, w, h, 1, stride, r, line);
        boxPass(data, h, w, stride, 1, r, line);
    }
}

void paintDecoratedImage(QPainter &painter, const Scene &scene)
{
    const Decoration &d = scene.decoration;
    const QSizeF image = scene.imagePointSize();
    painter.save();
    paintBackground(painter, d.background, scene.paddedPointSize());

    const QPointF origin(d.padding, d.padding); // the image's top-left corner, y down
    const double radius = clampedCornerRadius(d.cornerRadius, image);
    const QPainterPath shape = outline(image, radius);
    if (d.hasShadow) {
        paintShadow(painter, image, radius, origin, scene.onScreen);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(shape.translated(origin), Qt::black); // under the image, seen through its holes
    }
    painter.setRenderHint(QPainter::Antialiasing);
    // On screen, an image shown at twice its pixels or more shows them as squares, which is what one zooms
    // in for; below that, smoothing reads better than uneven squares.
    const bool magnified = scene.onScreen && deviceScale(painter) >= scene.scale * (2 - 1e-6);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, !magnified);
    if (radius > 0)
        painter.setClipPath(shape.translated(origin), Qt::IntersectClip);
    painter.drawImage(QRectF(origin, image), scene.baseImage);
    painter.restore();
}

void paintAnnotations(QPainter &painter, const Scene &scene)
{
    if (!scene.annotations)
        return;
    const QSizeF image = scene.imagePointSize();
    painter.save();
    // Image space: origin at the image's bottom-left corner, y up. Annotations are not clipped.
    painter.translate(scene.decoration.padding, scene.decoration.padding + image.height());
    painter.scale(1, -1);
    for (const Annotation &annotation : *scene.annotations)
        AnnotationRenderer::draw(annotation, painter, scene.baseImage, image, scene.scale);
    painter.restore();
}

void paint(QPainter &painter, const Scene &scene)
{
    paintDecoratedImage(painter, scene);
    paintAnnotations(painter, scene);
}

std::optional<QImage> compose(const QImage &baseImage, const QList<Annotation> &annotations, double scale,
                              const Decoration &decoration)
{
    if (baseImage.isNull() || !(scale > 0) || !std::isfinite(scale) || !std::isfinite(decoration.padding))
        return std::nullopt;
    const Scene scene{baseImage, &annotations, scale, decoration};
    const QSizeF total = scene.paddedPointSize();
    const double width = std::round(scale * total.width()), height = std::round(scale * total.height());
    const double limit = double(ImageLimits::maxPixels);
    if (!(width >= 1 && height >= 1 && width <= limit && height <= limit) ||
        !ImageLimits::allows(std::int64_t(width), std::int64_t(height)))
        return std::nullopt;
    QImage result = ImageLimits::newImage(QSize(int(width), int(height)));
    if (result.isNull())
        return std::nullopt;
    result.fill(Qt::transparent);
    // The composition is in the screenshot's colour space.
    if (baseImage.colorSpace().isValid())
        result.setColorSpace(baseImage.colorSpace());
    result.setDotsPerMeterX(Resolution::dotsPerMeter(scale));
    result.setDotsPerMeterY(Resolution::dotsPerMeter(scale));
    QPainter painter(&result);
    painter.scale(scale, scale);
    paint(painter, scene);
    painter.end();
    return result;
}

} // namespace ImageComposer
