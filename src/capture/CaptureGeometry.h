// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QList>
#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>

#include "common/Result.h"

// The coordinate rules of a capture, in Qt's y-down coordinates: global logical points, each screen's
// logical geometry, and the native pixels of the screen's frozen picture.
namespace CaptureGeometry {

// Whole pixels for a size in points: each side rounded to the nearest whole number, halves away from zero.
QSize pixelSize(QSizeF pointSize, double scale);
// The scale a file and an editor get for a screen: its device pixel ratio rounded, at least 1.
int wholeScale(double devicePixelRatio);
// The screen's native pixel rectangle in root coordinates: Qt keeps a screen's native top-left and divides
// only its size by the ratio.
QRect nativeScreenRect(const QRect &logicalGeometry, double devicePixelRatio);
// A global logical rectangle as the pixel rectangle of that screen's picture (origin at its top-left).
QRect pixelRectInScreen(const QRectF &globalRect, const QRect &screenGeometry, double devicePixelRatio);
// The selection between two points of a view: spanned, cut to the view's bounds, then made integral
// (origin rounded down, far edges rounded up; a far edge on the view's last column or row reaches the
// view's edge, so that a drag to the screen's last pixel includes it).
QRectF selectionRect(QPointF a, QPointF b, QSizeF viewSize);

// "200 × 100 px": the selection's size in pixels of its screen.
QString sizeLabel(const QRectF &selection, double devicePixelRatio);
// The label's box in the view (y down): right-aligned with the selection and 6 points below it, or 6
// points above its bottom edge inside it when there is no room below; at least 4 points from the view's
// left and right edges.
QRectF labelBox(const QRectF &selection, QSizeF textSize, QSizeF viewSize);

// A screen of the desktop: its logical geometry and its device pixel ratio.
struct ScreenArea {
    QRect geometry;
    double devicePixelRatio = 1;
};

// Cuts a picture of the whole desktop (the bounding box of every screen's logical geometry, drawn at one
// scale for all, as a portal returns it) into one picture per screen, in the order given, each at that
// screen's native size: a part drawn at a higher scale than the screen's own is brought down to it. An error
// when the picture's proportions do not match the screens'.
Result<QList<QImage>> splitDesktopPicture(const QImage &desktop, const QList<ScreenArea> &screens);

// The rectangle with even sides, for the video codecs that need them: a side grows by a pixel towards the
// right or bottom, else the left or top, while it stays inside bounds; it shrinks by one where it cannot.
QRect evenRect(const QRect &rect, const QRect &bounds);

} // namespace CaptureGeometry
