// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Which kind of desktop session Pim runs in, told once at start-up to choose the screen, hot-key and
// colour backends. Nothing else asks.
namespace DesktopSession {

enum class Kind {
    X11,     // an X server of its own: Pim reads the root window and grabs keys there
    Wayland, // Wayland, natively or through XWayland: only the desktop portals reach the screen and keys
    None,    // no display (offscreen): nothing to capture
};

// From Qt's platform plug-in name and the session's variables (WAYLAND_DISPLAY, XDG_SESSION_TYPE). Qt on
// xcb inside a Wayland session talks to XWayland, whose root window shows only X clients and whose key
// grabs see only keys meant for them: that is a Wayland session too.
Kind detect(const QString &qtPlatform, const QString &waylandDisplay, const QString &sessionType);
// The same from the running application and its environment.
Kind current();

} // namespace DesktopSession
