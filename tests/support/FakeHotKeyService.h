// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shortcuts/HotKeyService.h"

#include <QList>

// A hot-key service for tests without an X server: it keeps the grabs and presses them on request.
class FakeHotKeyService : public GlobalShortcuts::HotKeyService {
public:
    QList<GlobalShortcuts::Shortcut> grabbed;
    QList<GlobalShortcuts::Shortcut> takenElsewhere;
    int grabCalls = 0;

    int grab(const GlobalShortcuts::Shortcut &shortcut) override
    {
        ++grabCalls;
        if (takenElsewhere.contains(shortcut))
            return 10;
        if (!grabbed.contains(shortcut))
            grabbed.append(shortcut);
        return 0;
    }
    void ungrab(const GlobalShortcuts::Shortcut &shortcut) override { grabbed.removeAll(shortcut); }
    bool isTakenElsewhere(const GlobalShortcuts::Shortcut &shortcut) override
    {
        return takenElsewhere.contains(shortcut);
    }

    // The user presses the combination somewhere on the desktop.
    bool press(const GlobalShortcuts::Shortcut &shortcut)
    {
        if (!grabbed.contains(shortcut) || !onHotKey)
            return false;
        onHotKey(shortcut, true);
        onHotKey(shortcut, false);
        return true;
    }
};
