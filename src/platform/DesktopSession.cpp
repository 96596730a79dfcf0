// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DesktopSession.h"

#include <QGuiApplication>

namespace DesktopSession {

Kind detect(const QString &qtPlatform, const QString &waylandDisplay, const QString &sessionType)
{
    if (qtPlatform.startsWith(QLatin1String("wayland")))
        return Kind::Wayland;
    if (qtPlatform == QLatin1String("xcb")) {
        if (!waylandDisplay.isEmpty() ||
            sessionType.compare(QLatin1String("wayland"), Qt::CaseInsensitive) == 0)
            return Kind::Wayland;
        return Kind::X11;
    }
    return Kind::None;
}

Kind current()
{
    return detect(QGuiApplication::platformName(), qEnvironmentVariable("WAYLAND_DISPLAY"),
                  qEnvironmentVariable("XDG_SESSION_TYPE"));
}

} // namespace DesktopSession
