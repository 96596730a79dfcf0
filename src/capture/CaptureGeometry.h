#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>

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
// (origin rounded down, far edges rounded up).
QRectF selectionRect(QPointF a, QPointF b, QSizeF viewSize);

// "200 × 100 px": the selection's size in pixels of its screen.
QString sizeLabel(const QRectF &selection, double devicePixelRatio);
// The label's box in the view (y down): right-aligned with the selection and 6 points below it, or 6
// points above its bottom edge inside it when there is no room below; at least 4 points from the view's
// left and right edges.
QRectF labelBox(const QRectF &selection, QSizeF textSize, QSizeF viewSize);

} // namespace CaptureGeometry
