// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ColorWell.h"

#include <QColorDialog>
#include <QPainter>

ColorWell::ColorWell(const QColor &color, QSize size, QWidget *parent) : QToolButton(parent), m_color(color)
{
    setFixedSize(size);
    setAutoRaise(true);
    setFocusPolicy(Qt::TabFocus);
    connect(this, &QToolButton::clicked, this, [this] {
        const QColor chosen =
            QColorDialog::getColor(m_color, window(), toolTip(), QColorDialog::ShowAlphaChannel);
        if (chosen.isValid())
            choose(chosen);
    });
}

void ColorWell::setColor(const QColor &color)
{
    m_color = color;
    update();
}

void ColorWell::choose(const QColor &color)
{
    setColor(color);
    if (onColorChosen)
        onColorChosen(color);
}

void ColorWell::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF outer = QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5);
    painter.setPen(QPen(palette().color(QPalette::Mid), 1));
    painter.setBrush(palette().color(QPalette::Base));
    painter.drawRoundedRect(outer, 4, 4);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_color);
    painter.drawRoundedRect(outer.adjusted(3, 3, -3, -3), 2, 2);
}
