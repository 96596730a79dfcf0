// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QSizeF>
#include <QString>

#include <optional>

class QPainter;
class QPaintDevice;

// The one definition of how annotation text is set and measured, shared by the model (boxes), the
// renderer (painting) and the canvas, so that boxes and painted text always agree. Sizes are in image
// points, and a font of size n is exactly n units tall in the painter's user space, whatever the device.
namespace TextFont {

// The named family at the size when it is installed; otherwise the application font at medium weight.
QFont textFont(const std::optional<QString> &fontName, double size);
// The application font, bold, at the size (badge labels).
QFont boldSystemFont(double size);

// The same font for a device with its own dots per inch (a widget, an image), so that it keeps its size in
// units there.
QFont forDevice(const QFont &font, const QPaintDevice *device);

// Width and height of one unwrapped line of text in the font.
QSizeF measure(const QString &text, const QFont &font);
// The distance from the baseline to the bottom of the measured box.
double descent(const QFont &font);

// Draws one line with the bottom-left corner of its measured box at origin, in a painter whose user
// space is y-up (the text itself comes out upright).
void drawUpright(QPainter &painter, const QString &text, const QFont &font, const QPointF &origin);

} // namespace TextFont
