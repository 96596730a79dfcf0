// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/CaptureGeometry.h"

#include "annotation/Geometry.h"

#include <algorithm>
#include <cmath>

namespace CaptureGeometry {

QSize pixelSize(QSizeF pointSize, double scale)
{
    return QSize(int(std::round(pointSize.width() * scale)), int(std::round(pointSize.height() * scale)));
}

int wholeScale(double devicePixelRatio)
{
    return std::max(1, int(std::round(devicePixelRatio)));
}

QRect nativeScreenRect(const QRect &logicalGeometry, double devicePixelRatio)
{
    return QRect(logicalGeometry.topLeft(), pixelSize(logicalGeometry.size(), devicePixelRatio));
}

QRect pixelRectInScreen(const QRectF &globalRect, const QRect &screenGeometry, double devicePixelRatio)
{
    const QPointF offset = (globalRect.topLeft() - QPointF(screenGeometry.topLeft())) * devicePixelRatio;
    return QRect(QPoint(int(std::round(offset.x())), int(std::round(offset.y()))),
                 pixelSize(globalRect.size(), devicePixelRatio));
}

QRectF selectionRect(QPointF a, QPointF b, QSizeF viewSize)
{
    const QRectF clipped = Geometry::spanned(a, b).intersected(QRectF(QPointF(0, 0), viewSize));
    if (clipped.isEmpty())
        return QRectF(clipped.topLeft(), QSizeF(0, 0));
    const double left = std::floor(clipped.left()), top = std::floor(clipped.top());
    // A pointer on the last column or row of the view holds that pixel: the selection reaches the edge.
    const double right =
        clipped.right() >= viewSize.width() - 1 ? viewSize.width() : std::ceil(clipped.right());
    const double bottom =
        clipped.bottom() >= viewSize.height() - 1 ? viewSize.height() : std::ceil(clipped.bottom());
    return QRectF(left, top, right - left, bottom - top);
}

QString sizeLabel(const QRectF &selection, double devicePixelRatio)
{
    const QSize pixels = pixelSize(selection.size(), devicePixelRatio);
    return QString::number(pixels.width()) + QStringLiteral(" × ") + QString::number(pixels.height()) +
           QStringLiteral(" px");
}

QRectF labelBox(const QRectF &selection, QSizeF textSize, QSizeF viewSize)
{
    const double width = textSize.width() + 16, height = textSize.height() + 8;
    double y = selection.bottom() + 6;
    if (y + height > viewSize.height() - 4)
        y = selection.bottom() - 6 - height;
    const double x = std::max(4.0, std::min(selection.right() - width, viewSize.width() - width - 4));
    return QRectF(x, y, width, height);
}

Result<QList<QImage>> splitDesktopPicture(const QImage &desktop, const QList<ScreenArea> &screens)
{
    QRect bounds;
    for (const ScreenArea &screen : screens)
        bounds = bounds.united(screen.geometry);
    const auto mismatch = [&] {
        return Error{QStringLiteral("L'image du bureau (%1 × %2) ne correspond pas aux écrans (%3 × %4).")
                         .arg(desktop.width())
                         .arg(desktop.height())
                         .arg(bounds.width())
                         .arg(bounds.height())};
    };
    if (desktop.isNull() || bounds.isEmpty())
        return mismatch();
    // One scale for the whole picture, the same across and down (to a pixel of rounding per screen).
    const double scale = double(desktop.width()) / bounds.width();
    if (scale < 0.5 || scale > 16 || std::abs(bounds.height() * scale - desktop.height()) > scale + 0.5)
        return mismatch();

    QList<QImage> pictures;
    for (const ScreenArea &screen : screens) {
        QRect part(qRound((screen.geometry.x() - bounds.x()) * scale),
                   qRound((screen.geometry.y() - bounds.y()) * scale),
                   qRound(screen.geometry.width() * scale), qRound(screen.geometry.height() * scale));
        const QSize native = pixelSize(QSizeF(screen.geometry.size()), screen.devicePixelRatio);
        // Drawn at the screen's own scale (a fractional one rounds its logical size): its native pixels are
        // in the picture as they are, to a pixel of rounding, and are taken unscaled.
        if (std::abs(part.width() - native.width()) <= 1 && std::abs(part.height() - native.height()) <= 1) {
            part.setSize(native);
            if (part.right() > desktop.rect().right())
                part.moveRight(desktop.rect().right());
            if (part.bottom() > desktop.rect().bottom())
                part.moveBottom(desktop.rect().bottom());
        }
        const QRect inside = part.intersected(desktop.rect());
        if (inside.isEmpty())
            return mismatch();
        QImage picture = desktop.copy(inside);
        if (picture.size() != native)
            picture = picture.scaled(native, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (picture.isNull())
            return Error{QStringLiteral("Mémoire insuffisante pour découper l'image du bureau.")};
        pictures << picture;
    }
    return pictures;
}

QRect evenRect(const QRect &rect, const QRect &bounds)
{
    QRect even = rect;
    if (even.width() % 2) {
        if (even.right() < bounds.right())
            even.setRight(even.right() + 1);
        else if (even.left() > bounds.left())
            even.setLeft(even.left() - 1);
        else
            even.setRight(even.right() - 1);
    }
    if (even.height() % 2) {
        if (even.bottom() < bounds.bottom())
            even.setBottom(even.bottom() + 1);
        else if (even.top() > bounds.top())
            even.setTop(even.top() - 1);
        else
            even.setBottom(even.bottom() - 1);
    }
    return even;
}

} // namespace CaptureGeometry
