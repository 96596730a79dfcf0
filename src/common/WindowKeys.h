// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class QWidget;

namespace WindowKeys {

// Escape closes the window, wherever its focus is. `first`, when given, runs before and keeps the window
// open by returning true (a search field clears itself first).
void closeOnEscape(QWidget *window, std::function<bool()> first = {});

} // namespace WindowKeys
