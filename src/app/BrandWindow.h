// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QLabel>
#include <QWidget>

// What the welcome and About windows share: a dark window in the Brand colours and its labels.
namespace BrandWindow {

void style(QWidget *window, int width);
QLabel *label(const QString &text, double pointSize, QColor colour, QFont::Weight weight = QFont::Normal);
QLabel *icon(int size);
QWidget *divider();

} // namespace BrandWindow
