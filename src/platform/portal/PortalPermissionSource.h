// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/ScreenRecordingPermission.h"

#include <QDBusConnection>
#include <QStringList>

#include <functional>
#include <optional>

// The screenshot permission as the desktop keeps it: the portal's permission store holds the user's
// answer for Pim ("no" once refused in the desktop's dialog). Without a store, or without an entry, the
// portal decides at each capture and the source grants.
class PortalPermissionSource : public ScreenRecordingPermission::Source {
public:
    // `askDesktop` makes the request that has the desktop show its own permission dialog (an interactive
    // screenshot through the portal).
    explicit PortalPermissionSource(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                                    std::function<void()> askDesktop = {});
    bool preflight() override;
    void request() override;
    bool canOpenSettings() const override { return settingsApplication().has_value(); }
    void openSettings() override;

    // The store's answer for our application: true when it holds a refusal.
    bool storeRefuses();

    // The desktop's settings application, for the desktops whose settings are known (GNOME's, KDE's) and
    // only when it is installed: the program's path and its arguments.
    struct Command {
        QString program;
        QStringList arguments;
    };
    static std::optional<Command> settingsApplication();

private:
    QDBusConnection m_bus;
    std::function<void()> m_askDesktop;
};
