// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"

#include <QString>

// Launching Pim at login, through the XDG autostart file ~/.config/autostart/pim.desktop: enabled when
// the file exists and is not marked Hidden=true.
namespace LoginItem {

QString filePath();
bool isEnabled();
// Writes the file (starting the program at the given path) or removes it; the system's error text on
// failure, with nothing half-written left behind.
Result<Done> setEnabled(bool enabled, const QString &programPath);

// The desktop entry's text for a program at that path.
QByteArray desktopEntry(const QString &programPath);

} // namespace LoginItem
