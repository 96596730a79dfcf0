// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMetaType>
#include <QString>
#include <QVariantMap>

// The types the desktop portals pass around, for QtDBus.
namespace Portal {

// The portal frontend's bus name and object.
inline QString serviceName()
{
    return QStringLiteral("org.freedesktop.portal.Desktop");
}
inline QString objectPath()
{
    return QStringLiteral("/org/freedesktop/portal/desktop");
}

// One entry of a shortcut list, a(sa{sv}): the shortcut's id and its properties ("description",
// "preferred_trigger", "trigger_description").
struct ShortcutEntry {
    QString id;
    QVariantMap properties;
};
using ShortcutList = QList<ShortcutEntry>;

// Registers the types with QtDBus; call once before the first call that carries them.
void registerTypes();

} // namespace Portal

QDBusArgument &operator<<(QDBusArgument &argument, const Portal::ShortcutEntry &entry);
const QDBusArgument &operator>>(const QDBusArgument &argument, Portal::ShortcutEntry &entry);

Q_DECLARE_METATYPE(Portal::ShortcutEntry)
Q_DECLARE_METATYPE(Portal::ShortcutList)
