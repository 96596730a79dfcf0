// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QIcon>
#include <QString>

// Our own SVG icons (resources/icons), named after their role: "arrow", "crop", "close", …
namespace Icons {

// The icon drawn in one colour (an invalid colour keeps the drawing's own), rendered from the SVG at 1× and
// 2× so that it stays crisp on every screen.
QIcon icon(const QString &role, const QColor &tint, int size = 18);
// Whether the resources hold an icon for the role.
bool exists(const QString &role);

} // namespace Icons
