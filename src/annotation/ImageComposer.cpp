#include "annotation/ImageComposer.h"

#include "annotation/AnnotationRenderer.h"
#include "common/ImageLimits.h"

#include <QPaintDevice>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <vector>

namespace ImageComposer {

namespace {

// One box-blur pass of radius r along rows (or columns) of an 8-bit mask, with a running sum.
void boxPass(uchar *data, int length, int lines, qsizetype step, qsizetype lineStep, int r, std::vector<uchar> &line)
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

// The shadow of the outline (in user space, y down, at `at`): a blurred black mask drawn 6 points lower.
// The blur runs at reduced resolution when it is wide: a wide Gaussian has no detail to lose.
void paintShadow(QPainter &painter, const QPainterPath &shape, QPointF at)
{
    const double k = deviceScale(painter);
    if (!(k > 0) || !std::isfinite(k))
        return;
    const double sigmaDevice = shadowBlur * k / 2;
    const double reduction = std::max(1.0, std::floor(sigmaDevice / 3));
    const double pixelsPerPoint = k / reduction;
    const double margin = 3 * shadowBlur / 2; // three sigmas, in points
    const QRectF area = shape.boundingRect().adjusted(-margin, -margin, margin, margin);
    const QSize size(int(std::ceil(area.width() * pixelsPerPoint)), int(std::ceil(area.height() * pixelsPerPoint)));
    if (!ImageLimits::allows(size))
        return;
    QImage mask(size, QImage::Format_Alpha8);
    if (mask.isNull())
        return;
    mask.fill(0);
    {
        QPainter m(&mask);
        m.setRenderHint(QPainter::Antialiasing);
        m.scale(pixelsPerPoint, pixelsPerPoint);
        m.translate(-area.topLeft());
        m.fillPath(shape, Qt::black);
    }
    blurAlpha(mask, sigmaDevice / reduction);

    // Black at 45 %: premultiplied black is just the alpha.
    QImage shadow(size, QImage::Format_ARGB32_Premultiplied);
    if (shadow.isNull())
        return;
    for (int y = 0; y < size.height(); ++y) {
        const uchar *in = mask.constScanLine(y);
        auto *out = reinterpret_cast<QRgb *>(shadow.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            out[x] = qRgba(0, 0, 0, int(in[x] * shadowAlpha + 0.5));
    }
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(area.translated(at + QPointF(0, shadowOffset)), shadow);
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
    return std::max(0.0, std::min(cornerRadius, std::min(imagePointSize.width(), imagePointSize.height()) * 0.5));
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

void paint(QPainter &painter, const Scene &scene)
{
    const Decoration &d = scene.decoration;
    const QSizeF image = scene.imagePointSize();
    const QSizeF total = scene.paddedPointSize();
    painter.save();
    paintBackground(painter, d.background, total);

    const QPointF origin(d.padding, d.padding); // the image's top-left corner, y down
    const QPainterPath shape = outline(image, d.cornerRadius);
    if (d.hasShadow) {
        paintShadow(painter, shape, origin);
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(shape.translated(origin), Qt::black);
        painter.restore();
    }

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (clampedCornerRadius(d.cornerRadius, image) > 0)
        painter.setClipPath(shape.translated(origin), Qt::IntersectClip);
    painter.drawImage(QRectF(origin, image), scene.baseImage);
    painter.restore();

    // Image space: origin at the image's bottom-left corner, y up. Annotations are not clipped.
    if (scene.annotations) {
        painter.translate(d.padding, d.padding + image.height());
        painter.scale(1, -1);
        for (const Annotation &annotation : *scene.annotations)
            AnnotationRenderer::draw(annotation, painter, scene.baseImage, image, scene.scale);
    }
    painter.restore();
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
    QImage result(int(width), int(height), QImage::Format_ARGB32_Premultiplied);
    if (result.isNull())
        return std::nullopt;
    result.fill(Qt::transparent);
    const int dotsPerMeter = int(std::lround(72.0 * scale / 0.0254));
    result.setDotsPerMeterX(dotsPerMeter);
    result.setDotsPerMeterY(dotsPerMeter);
    QPainter painter(&result);
    painter.scale(scale, scale);
    paint(painter, scene);
    painter.end();
    return result;
}

} // namespace ImageComposer
