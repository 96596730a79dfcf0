// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotation/Annotation.h"

#include <QList>
#include <QRandomGenerator>

namespace Bench {

// A realistic mix of every kind, the first `pixelations` of them pixelations, spread over `size` points.
inline QList<Annotation> mixedAnnotations(QSizeF size, int count, int pixelations)
{
    using A = Annotation;
    QRandomGenerator random(42);
    auto point = [&] { return QPointF(random.bounded(size.width()), random.bounded(size.height())); };
    auto rect = [&] {
        return QRectF(point(), QSizeF(40 + random.bounded(300.0), 30 + random.bounded(200.0)));
    };
    QList<A> list;
    for (int i = 0; i < count; ++i) {
        const QColor color = QColor::fromHsv(random.bounded(360), 220, 230);
        if (i < pixelations) {
            list << A(A::Pixelate{rect()}, color, 3);
            continue;
        }
        switch (i % 8) {
        case 0: list << A(A::Arrow{point(), point()}, color, 4); break;
        case 1: list << A(A::Line{point(), point()}, color, 3); break;
        case 2: list << A(A::Rect{rect()}, color, 3); break;
        case 3: list << A(A::Ellipse{rect()}, color, 3); break;
        case 4: list << A(A::Highlight{rect()}, color, 3); break;
        case 5: list << A(A::Badge{point(), i}, color, 3); break;
        case 6: {
            QList<QPointF> points{point()};
            for (int k = 0; k < 60; ++k)
                points << points.last() + QPointF(random.bounded(20.0) - 10, random.bounded(20.0) - 10);
            list << A(A::Freehand{points}, color, 5);
            break;
        }
        default:
            list << A(A::Text{point(), QStringLiteral("Note %1 : à vérifier").arg(i), std::nullopt, 24},
                      color, 3);
        }
    }
    return list;
}

} // namespace Bench
