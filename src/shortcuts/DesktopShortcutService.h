// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shortcuts/Shortcut.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace GlobalShortcuts {

// Global shortcuts that the desktop owns (Wayland): Pim names its actions and says which keys it would
// like; the desktop decides the keys, may let the user change them, and reports activations by name.
// The portal implementation lives under src/platform; tests use their own.
class DesktopShortcutService {
public:
    struct Binding {
        QString name;        // the shortcut's name (Name::rawValue)
        QString description; // shown by the desktop
        std::optional<Shortcut> preferred;
    };
    enum class State {
        Starting,    // asking the desktop
        Bound,       // the desktop has the shortcuts
        Unavailable, // no way to have global shortcuts from the desktop: see problem()
    };

    virtual ~DesktopShortcutService() = default;
    // Hands the shortcuts to the desktop (again, when they were already given).
    virtual void bind(const QList<Binding> &bindings) = 0;
    virtual State state() const = 0;
    // Why the desktop gives no shortcuts (no portal, no backend for it, the session closed…).
    virtual QString problem() const = 0;
    // The keys the desktop assigned to a name, in its own words; empty when none.
    virtual QString assignedTrigger(const QString &name) const = 0;

    // Set by the shortcut table: the desktop reports a shortcut pressed (true) or released (false).
    std::function<void(const QString &name, bool pressed)> onActivated;
    // Set by the shortcut table: the state or the assigned keys changed.
    std::function<void()> onChanged;
};

} // namespace GlobalShortcuts
