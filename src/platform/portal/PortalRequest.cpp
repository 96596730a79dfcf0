// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/portal/PortalRequest.h"

#include "platform/portal/PortalTypes.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>

namespace Portal {

namespace {

const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

// One request in flight: listens on the predicted path, makes the call, and finishes once.
class PendingRequest : public QObject {
    Q_OBJECT
public:
    PendingRequest(const QDBusConnection &bus, const QString &service, QObject *context,
                   std::function<void(const Answer &)> done)
        : m_bus(bus), m_service(service), m_context(context), m_hasContext(context != nullptr),
          m_done(std::move(done))
    {
        m_timer.setSingleShot(true);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            Answer answer;
            answer.errorName = timeoutError();
            answer.errorMessage = QStringLiteral("no answer in time");
            finish(answer);
        });
    }

    void start(const QString &interface, const QString &method, QVariantList arguments, QVariantMap options,
               int timeoutMs)
    {
        const QString token = newToken();
        options.insert(QStringLiteral("handle_token"), token);
        listen(requestPath(m_bus.baseService(), token));
        m_timer.start(timeoutMs);

        QDBusMessage message = QDBusMessage::createMethodCall(m_service, objectPath(), interface, method);
        arguments << options;
        message.setArguments(arguments);
        auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(message, timeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *call) {
            call->deleteLater();
            const QDBusMessage reply = call->reply();
            if (reply.type() == QDBusMessage::ErrorMessage) {
                Answer answer;
                answer.errorName = reply.errorName();
                answer.errorMessage = reply.errorMessage();
                finish(answer);
                return;
            }
            // Older frontends chose the path themselves: follow the one they name.
            const QList<QVariant> values = reply.arguments();
            if (!values.isEmpty()) {
                const QString path = qvariant_cast<QDBusObjectPath>(values.first()).path();
                if (!path.isEmpty() && path != m_path) {
                    unlisten();
                    listen(path);
                }
            }
        });
    }

public slots:
    void onResponse(uint response, const QVariantMap &results)
    {
        Answer answer;
        answer.response = response;
        answer.results = results;
        finish(answer);
    }

private:
    void listen(const QString &path)
    {
        m_path = path;
        m_bus.connect(m_service, path, requestInterface, QStringLiteral("Response"), this,
                      SLOT(onResponse(uint, QVariantMap)));
    }
    void unlisten()
    {
        if (m_path.isEmpty())
            return;
        m_bus.disconnect(m_service, m_path, requestInterface, QStringLiteral("Response"), this,
                         SLOT(onResponse(uint, QVariantMap)));
    }
    void finish(const Answer &answer)
    {
        if (m_finished)
            return;
        m_finished = true;
        m_timer.stop();
        unlisten();
        if (answer.errorName == timeoutError() && !m_path.isEmpty()) {
            // Tell the portal we no longer wait (it may be showing a dialog).
            m_bus.asyncCall(
                QDBusMessage::createMethodCall(m_service, m_path, requestInterface, QStringLiteral("Close")));
        }
        // With a context, only while it lives.
        if (m_context || !m_hasContext)
            m_done(answer);
        deleteLater();
    }

    QDBusConnection m_bus;
    QString m_service;
    QString m_path;
    QPointer<QObject> m_context;
    bool m_hasContext;
    std::function<void(const Answer &)> m_done;
    QTimer m_timer;
    bool m_finished = false;

public:
    // Ends with that answer once the caller is back in its event loop (never inside `request`).
    void finishLater(const Answer &answer)
    {
        QTimer::singleShot(0, this, [this, answer] { finish(answer); });
    }
};

} // namespace

Outcome outcome(const Answer &answer)
{
    const QString &name = answer.errorName;
    if (name.isEmpty())
        return answer.response == 0   ? Outcome::Success
               : answer.response == 1 ? Outcome::Cancelled
                                      : Outcome::Failed;
    if (name == timeoutError())
        return Outcome::Timeout;
    for (const char *suffix : {".ServiceUnknown", ".NameHasNoOwner", ".Disconnected", ".NoServer",
                               ".Spawn.ChildExited", ".ServiceNotFound"}) {
        if (name.endsWith(QLatin1String(suffix)))
            return Outcome::NoPortal;
    }
    for (const char *suffix : {".UnknownMethod", ".UnknownInterface", ".UnknownObject"}) {
        if (name.endsWith(QLatin1String(suffix)))
            return Outcome::NoInterface;
    }
    return Outcome::CallError;
}

QString newToken()
{
    return QStringLiteral("pim%1").arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
}

QString requestPath(const QString &uniqueName, const QString &token)
{
    QString sender = uniqueName;
    if (sender.startsWith(u':'))
        sender.remove(0, 1);
    sender.replace(u'.', u'_');
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

void request(const QDBusConnection &bus, const QString &service, const QString &interface,
             const QString &method, const QVariantList &arguments, QVariantMap options, int timeoutMs,
             QObject *context, std::function<void(const Answer &)> done)
{
    registerTypes();
    auto *pending = new PendingRequest(bus, service, context, std::move(done));
    if (!bus.isConnected()) {
        Answer answer;
        answer.errorName = QStringLiteral("org.freedesktop.DBus.Error.Disconnected");
        answer.errorMessage = bus.lastError().message();
        pending->finishLater(answer);
        return;
    }
    pending->start(interface, method, arguments, std::move(options), timeoutMs);
}

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<ShortcutEntry>();
        qDBusRegisterMetaType<ShortcutList>();
        // Signal slots find their parameter types by name: these must be known before the first connection.
        qRegisterMetaType<QDBusObjectPath>("QDBusObjectPath");
        qRegisterMetaType<ShortcutList>("QList<Portal::ShortcutEntry>");
        // Slots name the list by its short name.
        qRegisterMetaType<ShortcutList>("Portal::ShortcutList");
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace Portal

QDBusArgument &operator<<(QDBusArgument &argument, const Portal::ShortcutEntry &entry)
{
    argument.beginStructure();
    argument << entry.id << entry.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, Portal::ShortcutEntry &entry)
{
    argument.beginStructure();
    argument >> entry.id >> entry.properties;
    argument.endStructure();
    return argument;
}

#include "PortalRequest.moc"
