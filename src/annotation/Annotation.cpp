// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotation/Annotation.h"

#include "annotation/Geometry.h"
#include "annotation/TextFont.h"
#include "common/Overloaded.h"

#include <algorithm>
#include <cmath>

namespace {

using Geometry::spanned;

// Applies a function to the rectangle of any of the four rectangle kinds.
template <typename Kind, typename F> bool withRectangle(Kind &kind, F &&f)
{
    return std::visit(
        [&](auto &k) {
            if constexpr (requires { k.rect; }) {
                f(k.rect);
                return true;
            } else {
                return false;
            }
        },
        kind);
}

} // namespace

std::optional<QRectF> Annotation::rectangle() const
{
    std::optional<QRectF> result;
    withRectangle(kind, [&](const QRectF &r) { result = r; });
    return result;
}

QRectF Annotation::textBoundingRect() const
{
    const Text *text = as<Text>();
    if (!text)
        return QRectF();
    return QRectF(text->origin,
                  TextFont::measure(text->string, TextFont::textFont(text->fontName, text->fontSize)));
}

QRectF Annotation::boundingBox() const
{
    return std::visit(Overloaded{
                          [](const Arrow &k) { return spanned(k.from, k.to); },
                          [](const Line &k) { return spanned(k.from, k.to); },
                          [](const Rect &k) { return k.rect; },
                          [](const Ellipse &k) { return k.rect; },
                          [](const Highlight &k) { return k.rect; },
                          [](const Pixelate &k) { return k.rect; },
                          [](const Badge &k) {
                              return QRectF(k.center.x() - badgeRadius, k.center.y() - badgeRadius,
                                            2 * badgeRadius, 2 * badgeRadius);
                          },
                          [](const Freehand &k) {
                              if (k.points.isEmpty())
                                  return QRectF();
                              double x0 = k.points[0].x(), x1 = x0, y0 = k.points[0].y(), y1 = y0;
                              for (const QPointF &p : k.points) {
                                  x0 = std::min(x0, p.x());
                                  x1 = std::max(x1, p.x());
                                  y0 = std::min(y0, p.y());
                                  y1 = std::max(y1, p.y());
                              }
                              return QRectF(x0, y0, x1 - x0, y1 - y0);
                          },
                          [this](const Text &) { return textBoundingRect(); },
                      },
                      kind);
}

void Annotation::translate(double dx, double dy)
{
    const QPointF d(dx, dy);
    std::visit(Overloaded{
                   [&](Arrow &k) { k.from += d, k.to += d; },
                   [&](Line &k) { k.from += d, k.to += d; },
                   [&](Badge &k) { k.center += d; },
                   [&](Freehand &k) {
                       for (QPointF &p : k.points)
                           p += d;
                   },
                   [&](Text &k) { k.origin += d; },
                   [&](auto &k) { k.rect.translate(d); },
               },
               kind);
}

Annotation Annotation::scaled(double f) const
{
    Annotation copy = *this;
    copy.lineWidth = std::max(lineWidth * f, 0.5);
    std::visit(Overloaded{
                   [&](Arrow &k) { k.from *= f, k.to *= f; },
                   [&](Line &k) { k.from *= f, k.to *= f; },
                   [&](Badge &k) { k.center *= f; },
                   [&](Freehand &k) {
                       for (QPointF &p : k.points)
                           p *= f;
                   },
                   [&](Text &k) {
                       k.origin *= f;
                       k.fontSize = std::max(k.fontSize * f, 4.0);
                   },
                   [&](auto &k) {
                       const QRectF n = Geometry::normalized(k.rect);
                       k.rect = QRectF(n.x() * f, n.y() * f, n.width() * f, n.height() * f);
                   },
               },
               copy.kind);
    return copy;
}

QPointF Annotation::rotatedPoint(const QPointF &p, bool clockwise, QSizeF imageSize)
{
    return clockwise ? QPointF(p.y(), imageSize.width() - p.x()) : QPointF(imageSize.height() - p.y(), p.x());
}

Annotation Annotation::rotated90(bool clockwise, QSizeF imageSize) const
{
    Annotation copy = *this;
    auto map = [&](const QPointF &p) { return rotatedPoint(p, clockwise, imageSize); };
    std::visit(Overloaded{
                   [&](Arrow &k) { k.from = map(k.from), k.to = map(k.to); },
                   [&](Line &k) { k.from = map(k.from), k.to = map(k.to); },
                   [&](Badge &k) { k.center = map(k.center); },
                   [&](Freehand &k) {
                       for (QPointF &p : k.points)
                           p = map(p);
                   },
                   [&](Text &k) { k.origin = map(k.origin); },
                   [&](auto &k) {
                       const QRectF n = Geometry::normalized(k.rect);
                       k.rect = spanned(map(n.topLeft()), map(QPointF(Geometry::maxX(n), Geometry::maxY(n))));
                   },
               },
               copy.kind);
    return copy;
}

QList<QPointF> Annotation::handles() const
{
    if (const Arrow *k = as<Arrow>())
        return {k->from, k->to};
    if (const Line *k = as<Line>())
        return {k->from, k->to};
    if (const std::optional<QRectF> r = rectangle()) {
        const QRectF n = Geometry::normalized(*r);
        const double x0 = Geometry::minX(n), x1 = Geometry::maxX(n), y0 = Geometry::minY(n),
                     y1 = Geometry::maxY(n);
        return {QPointF(x0, y0), QPointF(x1, y0), QPointF(x1, y1), QPointF(x0, y1)};
    }
    return {};
}

double Annotation::distance(const QPointF &p, const QPointF &a, const QPointF &b)
{
    const QPointF d = b - a;
    const double length = d.x() * d.x() + d.y() * d.y();
    if (length <= 0)
        return std::hypot(p.x() - a.x(), p.y() - a.y());
    const double u = std::clamp(((p.x() - a.x()) * d.x() + (p.y() - a.y()) * d.y()) / length, 0.0, 1.0);
    const QPointF nearest = a + u * d;
    return std::hypot(p.x() - nearest.x(), p.y() - nearest.y());
}

bool Annotation::hitTest(const QPointF &p) const
{
    const double t = std::max(lineWidth + 4, 6.0);
    return std::visit(
        Overloaded{
            [&](const Arrow &k) { return distance(p, k.from, k.to) <= t; },
            [&](const Line &k) { return distance(p, k.from, k.to) <= t; },
            [&](const Badge &k) {
                return std::hypot(p.x() - k.center.x(), p.y() - k.center.y()) <= t + badgeRadius;
            },
            [&](const Freehand &k) {
                for (qsizetype i = 0; i + 1 < k.points.size(); ++i) {
                    if (distance(p, k.points[i], k.points[i + 1]) <= t)
                        return true;
                }
                return false;
            },
            [&](const Text &) { return Geometry::contains(Geometry::grown(textBoundingRect(), 4), p); },
            [&](const auto &k) { return Geometry::contains(Geometry::grown(k.rect, t), p); },
        },
        kind);
}
