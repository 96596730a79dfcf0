// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/portal/PortalShortcutService.h"

#include "common/Log.h"
#include "platform/portal/PortalRequest.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusPendingCall>

namespace {

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString sessionInterface = QStringLiteral("org.freedesktop.portal.Session");

QString sessionPath(const QVariant &value)
{
    // The frontend sends the handle as a string, though it names an object.
    if (value.userType() == qMetaTypeId<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

QString failure(const Portal::Answer &answer, const QString &what)
{
    switch (Portal::outcome(answer)) {
    case Portal::Outcome::Timeout: return QStringLiteral("Le bureau n'a pas répondu (%1).").arg(what);
    case Portal::Outcome::NoPortal:
        return QStringLiteral("Aucun portail de bureau (xdg-desktop-portal) ne répond.");
    case Portal::Outcome::NoInterface:
        return QStringLiteral("Le bureau ne propose pas de raccourcis globaux aux applications.");
    case Portal::Outcome::CallError:
        return QStringLiteral("Le bureau a refusé les raccourcis (%1).").arg(answer.errorMessage);
    case Portal::Outcome::Cancelled:
        return QStringLiteral("Les raccourcis de Pim ont été refusés sur le bureau.");
    case Portal::Outcome::Success:
    case Portal::Outcome::Failed: break;
    }
    return QStringLiteral("Le bureau n'a pas pu enregistrer les raccourcis (%1).").arg(what);
}

} // namespace

PortalShortcutService::PortalShortcutService(const QDBusConnection &bus, const QString &service)
    : m_bus(bus), m_service(service.isEmpty() ? Portal::serviceName() : service)
{
    Portal::registerTypes();
    // From the portal only; the session handle in each signal says whether it is ours.
    const QString path = Portal::objectPath();
    const bool listening =
        m_bus.connect(m_service, path, shortcutsInterface, QStringLiteral("Activated"), this,
                      SLOT(activatedBy(QDBusObjectPath, QString, qulonglong, QVariantMap))) &&
        m_bus.connect(m_service, path, shortcutsInterface, QStringLiteral("Deactivated"), this,
                      SLOT(deactivatedBy(QDBusObjectPath, QString, qulonglong, QVariantMap))) &&
        m_bus.connect(m_service, path, shortcutsInterface, QStringLiteral("ShortcutsChanged"), this,
                      SLOT(shortcutsChangedBy(QDBusObjectPath, QList<Portal::ShortcutEntry>)));
    if (!listening)
        qCWarning(logPortal, "les signaux des raccourcis du bureau ne peuvent pas être suivis");
}

PortalShortcutService::~PortalShortcutService()
{
    // The desktop forgets the shortcuts with the session.
    if (!m_session.isEmpty())
        m_bus.asyncCall(
            QDBusMessage::createMethodCall(m_service, m_session, sessionInterface, QStringLiteral("Close")));
}

QString PortalShortcutService::preferredTrigger(const GlobalShortcuts::Shortcut &shortcut)
{
    using namespace GlobalShortcuts;
    const std::optional<QString> key = shortcut.menuKeyEquivalent();
    if (!key || key->size() != 1 || key->at(0).unicode() > 0x7e || !key->at(0).isLetterOrNumber())
        return QString();
    QStringList parts;
    if (shortcut.keyModifiers & Modifier::control)
        parts << QStringLiteral("CTRL");
    if (shortcut.keyModifiers & Modifier::option)
        parts << QStringLiteral("ALT");
    if (shortcut.keyModifiers & Modifier::shift)
        parts << QStringLiteral("SHIFT");
    if (shortcut.keyModifiers & Modifier::command)
        parts << QStringLiteral("LOGO");
    parts << key->toLower();
    return parts.join(u'+');
}

void PortalShortcutService::bind(const QList<Binding> &bindings)
{
    m_bindings = bindings;
    if (m_session.isEmpty())
        createSession();
    else
        bindNow();
}

void PortalShortcutService::createSession()
{
    if (m_creating)
        return;
    m_creating = true;
    setState(State::Starting);
    Portal::request(
        m_bus, m_service, shortcutsInterface, QStringLiteral("CreateSession"), {},
        {{QStringLiteral("session_handle_token"), Portal::newToken()}}, m_timeout, this,
        [this](const Portal::Answer &answer) {
            m_creating = false;
            const QString session = sessionPath(answer.results.value(QStringLiteral("session_handle")));
            if (!answer.ok() || session.isEmpty()) {
                setState(State::Unavailable, failure(answer, QStringLiteral("création de la session")));
                return;
            }
            m_session = session;
            listenToSession(true);
            bindNow();
        });
}

void PortalShortcutService::bindNow()
{
    Portal::ShortcutList shortcuts;
    for (const Binding &binding : m_bindings) {
        QVariantMap properties{{QStringLiteral("description"), binding.description}};
        if (binding.preferred) {
            const QString trigger = preferredTrigger(*binding.preferred);
            if (!trigger.isEmpty())
                properties.insert(QStringLiteral("preferred_trigger"), trigger);
        }
        shortcuts << Portal::ShortcutEntry{binding.name, properties};
    }
    Portal::request(
        m_bus, m_service, shortcutsInterface, QStringLiteral("BindShortcuts"),
        {QVariant::fromValue(QDBusObjectPath(m_session)), QVariant::fromValue(shortcuts), QString()}, {},
        m_timeout, this, [this](const Portal::Answer &answer) {
            if (!answer.ok()) {
                setState(State::Unavailable, failure(answer, QStringLiteral("enregistrement")));
                return;
            }
            readShortcuts(answer.results.value(QStringLiteral("shortcuts")));
            setState(State::Bound);
            list();
        });
}

void PortalShortcutService::list()
{
    Portal::request(m_bus, m_service, shortcutsInterface, QStringLiteral("ListShortcuts"),
                    {QVariant::fromValue(QDBusObjectPath(m_session))}, {}, m_timeout, this,
                    [this](const Portal::Answer &answer) {
                        // The bind's own answer stands when the list cannot be had.
                        if (answer.ok() && answer.results.contains(QStringLiteral("shortcuts"))) {
                            readShortcuts(answer.results.value(QStringLiteral("shortcuts")));
                            if (onChanged)
                                onChanged();
                        }
                    });
}

void PortalShortcutService::readShortcuts(const QVariant &value)
{
    Portal::ShortcutList shortcuts;
    if (value.userType() == qMetaTypeId<QDBusArgument>())
        shortcuts = qdbus_cast<Portal::ShortcutList>(value.value<QDBusArgument>());
    else
        shortcuts = value.value<Portal::ShortcutList>();
    setTriggers(shortcuts);
}

void PortalShortcutService::setTriggers(const Portal::ShortcutList &shortcuts)
{
    m_triggers.clear();
    for (const Portal::ShortcutEntry &entry : shortcuts)
        m_triggers.insert(entry.id, entry.properties.value(QStringLiteral("trigger_description")).toString());
}

void PortalShortcutService::setState(State state, const QString &problem)
{
    m_state = state;
    m_problem = problem;
    if (state == State::Unavailable)
        m_triggers.clear();
    if (onChanged)
        onChanged();
}

void PortalShortcutService::listenToSession(bool on)
{
    if (on)
        m_bus.connect(m_service, m_session, sessionInterface, QStringLiteral("Closed"), this,
                      SLOT(onSessionClosed(QVariantMap)));
    else
        m_bus.disconnect(m_service, m_session, sessionInterface, QStringLiteral("Closed"), this,
                         SLOT(onSessionClosed(QVariantMap)));
}

void PortalShortcutService::activatedBy(const QDBusObjectPath &session, const QString &id, qulonglong,
                                        const QVariantMap &)
{
    if (session.path() == m_session && !m_session.isEmpty() && onActivated)
        onActivated(id, true);
}

void PortalShortcutService::deactivatedBy(const QDBusObjectPath &session, const QString &id, qulonglong,
                                          const QVariantMap &)
{
    if (session.path() == m_session && !m_session.isEmpty() && onActivated)
        onActivated(id, false);
}

void PortalShortcutService::shortcutsChangedBy(const QDBusObjectPath &session,
                                               const QList<Portal::ShortcutEntry> &shortcuts)
{
    if (session.path() != m_session || m_session.isEmpty())
        return;
    setTriggers(shortcuts);
    if (onChanged)
        onChanged();
}

void PortalShortcutService::onSessionClosed(const QVariantMap &)
{
    listenToSession(false);
    m_session.clear();
    setState(State::Unavailable, QStringLiteral("Le bureau a fermé la session des raccourcis globaux."));
}
