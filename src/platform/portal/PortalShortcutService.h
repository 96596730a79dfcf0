// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/portal/PortalTypes.h"
#include "shortcuts/DesktopShortcutService.h"

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QHash>
#include <QObject>

// Global shortcuts through the desktop portal's GlobalShortcuts interface: one session, created at the
// first bind, holding Pim's shortcuts by name; the desktop assigns the keys and reports activations, which
// are taken only for our own session.
class PortalShortcutService : public QObject, public GlobalShortcuts::DesktopShortcutService {
    Q_OBJECT
public:
    explicit PortalShortcutService(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                                   const QString &service = QString());
    ~PortalShortcutService() override;

    void bind(const QList<Binding> &bindings) override;
    State state() const override { return m_state; }
    QString problem() const override { return m_problem; }
    QString assignedTrigger(const QString &name) const override { return m_triggers.value(name); }

    // The portal session's object path, once created.
    QString sessionHandle() const { return m_session; }
    // How long to wait for each answer, in milliseconds (10 s; a desktop may show a dialog first).
    void setTimeout(int milliseconds) { m_timeout = milliseconds; }

    // The keys Pim asks the desktop for, written as the portal expects them ("SHIFT+LOGO+7"); empty when
    // the key is not a plain letter or digit.
    static QString preferredTrigger(const GlobalShortcuts::Shortcut &shortcut);

private slots:
    void activatedBy(const QDBusObjectPath &session, const QString &id, qulonglong timestamp,
                     const QVariantMap &options);
    void deactivatedBy(const QDBusObjectPath &session, const QString &id, qulonglong timestamp,
                       const QVariantMap &options);
    void shortcutsChangedBy(const QDBusObjectPath &session, const QList<Portal::ShortcutEntry> &shortcuts);
    void onSessionClosed(const QVariantMap &details);

private:
    void createSession();
    void bindNow();
    void list();
    void setState(State state, const QString &problem = QString());
    void readShortcuts(const QVariant &value);
    void setTriggers(const Portal::ShortcutList &shortcuts);
    void listenToSession(bool on);

    QDBusConnection m_bus;
    QString m_service;
    int m_timeout = 10000;
    State m_state = State::Starting;
    QString m_problem;
    QString m_session;
    QList<Binding> m_bindings;
    bool m_creating = false;
    QHash<QString, QString> m_triggers;
};
