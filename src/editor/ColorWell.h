// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QToolButton>

#include <functional>

// A small swatch showing a colour; a click opens the colour dialog and a choice is reported.
class ColorWell : public QToolButton {
    Q_OBJECT
public:
    ColorWell(const QColor &color, QSize size, QWidget *parent = nullptr);

    QColor color() const { return m_color; }
    // Shows a colour without reporting it.
    void setColor(const QColor &color);
    // A colour chosen by the user: shown, then reported.
    void choose(const QColor &color);

    std::function<void(const QColor &)> onColorChosen;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
};
