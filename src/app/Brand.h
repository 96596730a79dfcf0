// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QString>

// The look of Pim's own windows (welcome, About) and the version from the build.
namespace Brand {

inline const QColor background{5, 5, 8};
inline const QColor surface{12, 12, 16};
inline const QColor elevated{20, 20, 26};
inline const QColor accent{43, 127, 232};
inline const QColor foreground{232, 228, 223};
inline const QColor muted{154, 149, 144};
inline const QColor faint{85, 82, 78};
inline const QColor line{255, 255, 255, 20}; // white at 0.08

// Who makes Pim, for the credit line of the tray menu.
inline const QString maker = QStringLiteral("l'équipe Pim");

// Pim's web page, when the build names one (empty otherwise).
inline QString pimURL()
{
#ifdef PIM_HOMEPAGE
    return QStringLiteral(PIM_HOMEPAGE);
#else
    return QString();
#endif
}

// The project version CMake builds with, "?" when the build says none.
inline QString version()
{
#ifdef PIM_VERSION
    const QString built = QStringLiteral(PIM_VERSION);
    return built.isEmpty() ? QStringLiteral("?") : built;
#else
    return QStringLiteral("?");
#endif
}

} // namespace Brand
