#include "platform/portal/PortalPermissionSource.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>

PortalPermissionSource::PortalPermissionSource(const QDBusConnection &bus) : m_bus(bus) {}

bool PortalPermissionSource::preflight()
{
    return !storeRefuses();
}

bool PortalPermissionSource::storeRefuses()
{
    if (!m_bus.isConnected())
        return false;
    QDBusMessage lookup = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.impl.portal.PermissionStore"),
        QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"),
        QStringLiteral("org.freedesktop.impl.portal.PermissionStore"), QStringLiteral("Lookup"));
    lookup.setArguments({QStringLiteral("screenshot"), QStringLiteral("screenshot")});
    // A store that does not answer at once is no reason to hold up a capture.
    const QDBusMessage reply = m_bus.call(lookup, QDBus::Block, 500);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    // a{sas}: application id → permissions. A program outside a sandbox has the empty id.
    const QDBusArgument table = reply.arguments().first().value<QDBusArgument>();
    QMap<QString, QStringList> permissions;
    table >> permissions;
    return permissions.value(QString()).contains(QStringLiteral("no"));
}
