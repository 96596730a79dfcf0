// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shortcuts/DesktopShortcutService.h"

#include <QHash>

// A desktop that owns the shortcuts, for tests: its state and keys are set by hand.
class FakeDesktopShortcutService : public GlobalShortcuts::DesktopShortcutService {
public:
    State current = State::Starting;
    QString reason;
    QHash<QString, QString> triggers;
    QList<Binding> bound;

    void bind(const QList<Binding> &bindings) override { bound = bindings; }
    State state() const override { return current; }
    QString problem() const override { return reason; }
    QString assignedTrigger(const QString &name) const override { return triggers.value(name); }

    // The desktop changes its mind, and says so.
    void become(State state, const QHash<QString, QString> &keys = {}, const QString &why = QString())
    {
        current = state;
        triggers = keys;
        reason = why;
        if (onChanged)
            onChanged();
    }
};
