// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QPalette>

// The few system colours the editor's bars use.
namespace EditorPalette {

inline QColor accent(const QPalette &palette)
{
    return palette.color(QPalette::Highlight);
}
inline QColor secondaryLabel(const QPalette &palette)
{
    return palette.color(QPalette::PlaceholderText);
}
inline QColor indigo()
{
    return QColor(88, 86, 214);
}
inline QColor pink()
{
    return QColor(255, 45, 85);
}

} // namespace EditorPalette
