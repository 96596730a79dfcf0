#pragma once

#include "capture/ScreenRecordingPermission.h"

#include <QDBusConnection>

// The screenshot permission as the desktop keeps it: the portal's permission store holds the user's
// answer for Pim ("no" once refused in the desktop's dialog). Without a store, or without an entry, the
// portal decides at each capture and the source grants.
class PortalPermissionSource : public ScreenRecordingPermission::Source {
public:
    explicit PortalPermissionSource(const QDBusConnection &bus = QDBusConnection::sessionBus());
    bool preflight() override;

    // The store's answer for our application: true when it holds a refusal.
    bool storeRefuses();

private:
    QDBusConnection m_bus;
};
