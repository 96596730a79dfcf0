// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotation/AnnotationRenderer.h"

#include "annotation/Geometry.h"
#include "annotation/TextFont.h"
#include "common/ImageLimits.h"
#include "common/Overloaded.h"

#include <QPainter>

#include <cmath>

namespace AnnotationRenderer {

namespace {

QPen strokePen(const Annotation &a, Qt::PenCapStyle cap, Qt::PenJoinStyle join)
{
    QPen pen(a.color, a.lineWidth);
    pen.setCapStyle(cap);
    pen.setJoinStyle(join);
    return pen;
}

// A straight stroke with round caps. Qt rasterises round-capped wide lines through its general stroker,
// about twenty times slower than flat ones; for an opaque colour a flat line with a disc at each end
// covers exactly the same pixels.
void drawRoundCappedLine(QPainter &p, const Annotation &a, const QLineF &line)
{
    if (a.color.alpha() != 255 || a.lineWidth <= 0) {
        p.setPen(strokePen(a, Qt::RoundCap, Qt::MiterJoin));
        p.drawLine(line);
        return;
    }
    p.setPen(strokePen(a, Qt::FlatCap, Qt::MiterJoin));
    p.drawLine(line);
    const double radius = a.lineWidth / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(a.color);
    p.drawEllipse(line.p1(), radius, radius);
    p.drawEllipse(line.p2(), radius, radius);
    p.setBrush(Qt::NoBrush);
}

void drawArrow(QPainter &p, const Annotation &a, const Annotation::Arrow &k)
{
    const double length = arrowHeadLength(a.lineWidth);
    const double theta = std::atan2(k.to.y() - k.from.y(), k.to.x() - k.from.x());
    const QPointF unit(std::cos(theta), std::sin(theta));
    drawRoundCappedLine(p, a, QLineF(k.from, k.to - 0.7 * length * unit));

    const QPointF base = k.to - length * unit;
    const double half = 0.4 * length;
    const QPointF normal(-unit.y() * half, unit.x() * half);
    const QPointF head[] = {k.to, base + normal, base - normal};
    p.setPen(Qt::NoPen);
    p.setBrush(a.color);
    p.drawPolygon(head, 3);
}

void drawPixelate(QPainter &p, const QRectF &rect, const QImage &base, QSizeF imagePointSize, double scale)
{
    const QRectF r = Geometry::normalized(rect);
    const QRectF pixels = Geometry::pixelRect(r, imagePointSize.height(), scale);
    if (pixels.width() < 1 || pixels.height() < 1)
        return;
    const QRect inside = Geometry::insideBitmap(pixels, base.width(), base.height());
    if (inside.isEmpty())
        return;
    const QSize grid = pixelateGrid(r);
    if (!ImageLimits::allows(grid))
        return;
    // Area-averaging down to one pixel a block, then nearest-neighbour back up: flat blocks.
    const QImage blocks = base.copy(inside).scaled(grid, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (blocks.isNull())
        return;
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform, false);
    p.translate(r.x(), r.y() + r.height());
    p.scale(1, -1); // bitmaps are drawn top row first
    p.drawImage(QRectF(0, 0, r.width(), r.height()), blocks);
    p.restore();
}

void drawBadge(QPainter &p, const Annotation &a, const Annotation::Badge &k)
{
    p.setPen(Qt::NoPen);
    p.setBrush(a.color);
    p.drawEllipse(k.center, Annotation::badgeRadius, Annotation::badgeRadius);
    const QString label = QString::number(k.number);
    const QFont font = TextFont::boldSystemFont(badgeLabelSize(k.number));
    const QSizeF size = TextFont::measure(label, font);
    p.setPen(Qt::white);
    TextFont::drawUpright(p, label, font,
                          QPointF(k.center.x() - size.width() / 2, k.center.y() - size.height() / 2));
}

} // namespace

double arrowHeadLength(double lineWidth)
{
    return std::max(3.5 * lineWidth, 12.0);
}

QSize pixelateGrid(const QRectF &rect)
{
    const QRectF r = Geometry::normalized(rect);
    const double columns = std::max(1.0, Geometry::roundHalfAway(r.width() * 0.125));
    const double rows = std::max(1.0, Geometry::roundHalfAway(r.height() * 0.125));
    const double limit = double(ImageLimits::maxPixels);
    return QSize(int(std::min(columns, limit)), int(std::min(rows, limit)));
}

double badgeLabelSize(qint64 number)
{
    return number < 100 ? 14 : 11;
}

void draw(const Annotation &a, QPainter &p, const QImage &baseImage, QSizeF imagePointSize, double scale)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    using A = Annotation;
    std::visit(Overloaded{
                   [&](const A::Arrow &k) { drawArrow(p, a, k); },
                   [&](const A::Line &k) { drawRoundCappedLine(p, a, QLineF(k.from, k.to)); },
                   [&](const A::Rect &k) {
                       p.setPen(strokePen(a, Qt::FlatCap, Qt::RoundJoin));
                       p.setBrush(Qt::NoBrush);
                       p.drawRect(Geometry::normalized(k.rect));
                   },
                   [&](const A::Ellipse &k) {
                       p.setPen(strokePen(a, Qt::FlatCap, Qt::MiterJoin));
                       p.setBrush(Qt::NoBrush);
                       p.drawEllipse(Geometry::normalized(k.rect));
                   },
                   [&](const A::Highlight &k) {
                       QColor fill = a.color;
                       fill.setAlphaF(float(highlightAlpha));
                       p.setCompositionMode(QPainter::CompositionMode_SourceOver);
                       p.fillRect(Geometry::normalized(k.rect), fill);
                   },
                   [&](const A::Pixelate &k) { drawPixelate(p, k.rect, baseImage, imagePointSize, scale); },
                   [&](const A::Badge &k) { drawBadge(p, a, k); },
                   [&](const A::Freehand &k) {
                       if (k.points.size() >= 2) {
                           p.setPen(strokePen(a, Qt::RoundCap, Qt::RoundJoin));
                           p.setBrush(Qt::NoBrush);
                           p.drawPolyline(k.points.constData(), int(k.points.size()));
                       }
                   },
                   [&](const A::Text &k) {
                       p.setPen(a.color);
                       TextFont::drawUpright(p, k.string, TextFont::textFont(k.fontName, k.fontSize),
                                             k.origin);
                   },
               },
               a.kind);
    p.restore();
}

} // namespace AnnotationRenderer
