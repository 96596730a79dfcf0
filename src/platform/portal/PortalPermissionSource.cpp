// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/portal/PortalPermissionSource.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>

PortalPermissionSource::PortalPermissionSource(const QDBusConnection &bus, std::function<void()> askDesktop)
    : m_bus(bus), m_askDesktop(std::move(askDesktop))
{}

void PortalPermissionSource::request()
{
    if (m_askDesktop)
        m_askDesktop();
}

std::optional<PortalPermissionSource::Command> PortalPermissionSource::settingsApplication()
{
    // XDG_CURRENT_DESKTOP is a colon-separated list, most specific first ("ubuntu:GNOME").
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts);
    for (const QString &desktop : desktops) {
        Command command;
        if (desktop.compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0)
            command = {QStringLiteral("gnome-control-center"), {QStringLiteral("applications")}};
        else if (desktop.compare(QLatin1String("KDE"), Qt::CaseInsensitive) == 0)
            command = {QStringLiteral("systemsettings"), {}};
        else
            continue;
        const QString program = QStandardPaths::findExecutable(command.program);
        if (program.isEmpty())
            return std::nullopt;
        command.program = program;
        return command;
    }
    return std::nullopt;
}

void PortalPermissionSource::openSettings()
{
    if (const std::optional<Command> command = settingsApplication())
        QProcess::startDetached(command->program, command->arguments);
}

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
