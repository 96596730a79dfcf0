// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shortcuts/Shortcut.h"

#include <functional>

namespace GlobalShortcuts {

// The system's global hot keys: a combination grabbed here fires while any application is in front.
// The X11 implementation lives under src/platform; tests use their own.
class HotKeyService {
public:
    virtual ~HotKeyService() = default;
    // Grabs the combination. Returns 0, or the failure status (the X error code; 10 is "taken").
    virtual int grab(const Shortcut &shortcut) = 0;
    virtual void ungrab(const Shortcut &shortcut) = 0;
    // Whether another program holds the combination: a trial grab that the system refuses.
    virtual bool isTakenElsewhere(const Shortcut &shortcut) = 0;

    // Set by the hot-key table: a grabbed combination was pressed (true) or released (false).
    std::function<void(const Shortcut &, bool pressed)> onHotKey;
};

} // namespace GlobalShortcuts
