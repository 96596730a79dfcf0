// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotation/TextFont.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

namespace TextFont {

namespace {

// Fonts are sized in points at 72 dpi here, so one point is one unit.
const QPaintDevice *measuringDevice()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        image.setDotsPerMeterX(2835); // 72 dpi
        image.setDotsPerMeterY(2835);
        return image;
    }();
    return &device;
}

QFont sized(QFont font, double size)
{
    font.setPointSizeF(std::max(size, 0.1));
    font.setHintingPreference(QFont::PreferNoHinting); // the same shapes at every scale
    return font;
}

} // namespace

QFont forDevice(const QFont &font, const QPaintDevice *device)
{
    QFont adjusted = font;
    const int dpi = device ? device->logicalDpiY() : 72;
    if (dpi > 0 && dpi != 72)
        adjusted.setPointSizeF(font.pointSizeF() * 72.0 / dpi);
    return adjusted;
}

QFont textFont(const std::optional<QString> &fontName, double size)
{
    if (fontName && !fontName->isEmpty() && QFontDatabase::hasFamily(*fontName))
        return sized(QFont(*fontName), size);
    QFont font = QGuiApplication::font();
    font.setWeight(QFont::Medium);
    return sized(font, size);
}

QFont boldSystemFont(double size)
{
    QFont font = QGuiApplication::font();
    font.setWeight(QFont::Bold);
    return sized(font, size);
}

QSizeF measure(const QString &text, const QFont &font)
{
    const QFontMetricsF metrics(font, measuringDevice());
    return QSizeF(metrics.horizontalAdvance(text), metrics.height());
}

double descent(const QFont &font)
{
    return QFontMetricsF(font, measuringDevice()).descent();
}

void drawUpright(QPainter &painter, const QString &text, const QFont &font, const QPointF &origin)
{
    painter.save();
    painter.translate(origin);
    painter.scale(1, -1); // local y-down, origin at the bottom-left corner of the box
    painter.setFont(forDevice(font, painter.device()));
    painter.drawText(QPointF(0, -descent(font)), text);
    painter.restore();
}

} // namespace TextFont
