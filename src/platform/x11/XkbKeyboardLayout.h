// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shortcuts/KeyboardLayout.h"

// Keyboard layouts read with libxkbcommon.
namespace XkbKeyboardLayout {

// The X server's current keymap, read anew at each use; nothing when there is no X connection.
KeyboardLayout::LayoutSource fromServer();
// A layout by its XKB name ("fr", "de", …), as the layout library compiles it.
KeyboardLayout::LayoutSource fromName(const QString &layout);

} // namespace XkbKeyboardLayout
