// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shortcuts/GlobalShortcuts.h"

#include <optional>

class QAction;

namespace GlobalShortcuts {

// Makes a menu action show the name's current shortcut and follow every later change, or (with no name)
// clears it and stops following. Keypad keys have no menu equivalent: the action then shows none.
void setShortcut(QAction *action, const std::optional<Name> &name);
// Changes the title of such an action, keeping the keys it shows.
void setTitle(QAction *action, const QString &title);

} // namespace GlobalShortcuts
