// SPDX-License-Identifier: GPL-3.0-or-later
// A desktop's portal backend for tests: Access, Screenshot, GlobalShortcuts and ScreenCast behind the real
// portal frontend, with a control object the tests use to choose the answers and fire shortcuts. Its
// screenshot is a given picture, or with the picture "grim" the running Wayland compositor's own.
//   portal_double BUS_NAME
#include "platform/portal/PortalTypes.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRect>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>

#include <cstdio>

// a(ua{sv}) streams, (ii) places and sizes, (suv) restore data, as the ScreenCast backend interface has them.
struct CastStream {
    uint node = 0;
    QVariantMap properties;
};
struct IntPair {
    int first = 0, second = 0;
};
struct RestoreData {
    QString vendor;
    uint version = 0;
    QDBusVariant data;
};
Q_DECLARE_METATYPE(CastStream)
Q_DECLARE_METATYPE(IntPair)
Q_DECLARE_METATYPE(RestoreData)

QDBusArgument &operator<<(QDBusArgument &argument, const CastStream &stream)
{
    argument.beginStructure();
    argument << stream.node << stream.properties;
    argument.endStructure();
    return argument;
}
const QDBusArgument &operator>>(const QDBusArgument &argument, CastStream &stream)
{
    argument.beginStructure();
    argument >> stream.node >> stream.properties;
    argument.endStructure();
    return argument;
}
QDBusArgument &operator<<(QDBusArgument &argument, const IntPair &pair)
{
    argument.beginStructure();
    argument << pair.first << pair.second;
    argument.endStructure();
    return argument;
}
const QDBusArgument &operator>>(const QDBusArgument &argument, IntPair &pair)
{
    argument.beginStructure();
    argument >> pair.first >> pair.second;
    argument.endStructure();
    return argument;
}
QDBusArgument &operator<<(QDBusArgument &argument, const RestoreData &restore)
{
    argument.beginStructure();
    argument << restore.vendor << restore.version << restore.data;
    argument.endStructure();
    return argument;
}
const QDBusArgument &operator>>(const QDBusArgument &argument, RestoreData &restore)
{
    argument.beginStructure();
    argument >> restore.vendor >> restore.version >> restore.data;
    argument.endStructure();
    return argument;
}

namespace {

struct Settings {
    uint accessResponse = 0;
    uint screenshotResponse = 0;
    QString picture; // copied into a fresh file for each answer
    QString rawUri;  // answered as it stands when set
    int delayMs = 0;
    uint bindResponse = 0;
    QStringList sessions;
    int screenshots = 0;
    bool lastInteractive = false;     // the `interactive` option of the last Screenshot call
    QHash<QString, QString> triggers; // shortcut id → trigger description given back
    // ScreenCast: the PipeWire node shared, where its monitor is, and what the last selection carried.
    uint castNode = 0;
    QRect castPlace;
    uint castResponse = 0;
    bool lastRestored = false;
    uint lastCursorMode = 0;
    int casts = 0;
};

Settings &settings()
{
    static Settings instance;
    return instance;
}

// Sends a delayed reply (response, results) after the configured delay.
void replyLater(const QDBusMessage &call, uint response, const QVariantMap &results, int delayMs)
{
    QTimer::singleShot(delayMs, [call, response, results] {
        QDBusConnection::sessionBus().send(call.createReply({response, results}));
    });
}

class Root : public QObject {
    Q_OBJECT
};

class AccessAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.Access")
public:
    explicit AccessAdaptor(QObject *parent) : QDBusAbstractAdaptor(parent) {}
public slots:
    uint AccessDialog(const QDBusObjectPath &, const QString &, const QString &, const QString &,
                      const QString &, const QString &, const QVariantMap &, QVariantMap &results)
    {
        results.clear();
        return settings().accessResponse;
    }
};

class ScreenshotAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.Screenshot")
    Q_PROPERTY(uint version READ version)
public:
    explicit ScreenshotAdaptor(QObject *parent) : QDBusAbstractAdaptor(parent) {}
    uint version() const { return 2; }
public slots:
    uint Screenshot(const QDBusObjectPath &, const QString &, const QString &, const QVariantMap &options,
                    const QDBusMessage &message, QVariantMap &)
    {
        Settings &s = settings();
        ++s.screenshots;
        s.lastInteractive = options.value(QStringLiteral("interactive")).toBool();
        QVariantMap results;
        if (!s.rawUri.isEmpty()) {
            results.insert(QStringLiteral("uri"), s.rawUri);
        } else if (s.picture == QLatin1String("grim") && s.screenshotResponse == 0) {
            // The compositor's own pixels, as a wlroots desktop's backend takes them.
            const QString file = QDir::tempPath() + QStringLiteral("/portal-grim-%1.png").arg(s.screenshots);
            if (QProcess::execute(QStringLiteral("grim"), {file}) == 0)
                results.insert(QStringLiteral("uri"), QUrl::fromLocalFile(file).toString());
        } else if (!s.picture.isEmpty() && s.screenshotResponse == 0) {
            QTemporaryFile copy(QDir::tempPath() + QStringLiteral("/portal-shot-XXXXXX.png"));
            copy.setAutoRemove(false);
            QFile source(s.picture);
            if (copy.open() && source.open(QIODevice::ReadOnly)) {
                copy.write(source.readAll());
                copy.close();
                results.insert(QStringLiteral("uri"), QUrl::fromLocalFile(copy.fileName()).toString());
            }
        }
        message.setDelayedReply(true);
        replyLater(message, s.screenshotResponse, results, s.delayMs);
        return 0;
    }
    uint PickColor(const QDBusObjectPath &, const QString &, const QString &, const QVariantMap &,
                   QVariantMap &)
    {
        return 2;
    }
};

// The session objects the frontend asks us to keep.
class SessionObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.Session")
public:
    using QObject::QObject;
public slots:
    void Close() { deleteLater(); }
signals:
    void Closed();
};

class ShortcutsAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.GlobalShortcuts")
    Q_PROPERTY(uint version READ version)
public:
    explicit ShortcutsAdaptor(QObject *parent) : QDBusAbstractAdaptor(parent) {}
    uint version() const { return 1; }

    Portal::ShortcutList assigned;

public slots:
    uint CreateSession(const QDBusObjectPath &, const QDBusObjectPath &session, const QString &,
                       const QVariantMap &, QVariantMap &results)
    {
        auto *object = new SessionObject(this);
        object->setObjectName(session.path());
        QDBusConnection::sessionBus().registerObject(session.path(), object,
                                                     QDBusConnection::ExportAllContents);
        settings().sessions << session.path();
        results.clear();
        return 0;
    }
    uint BindShortcuts(const QDBusObjectPath &, const QDBusObjectPath &,
                       const Portal::ShortcutList &shortcuts, const QString &, const QVariantMap &,
                       QVariantMap &results)
    {
        // Assigns each its preferred trigger, in the desktop's words.
        assigned.clear();
        for (Portal::ShortcutEntry entry : shortcuts) {
            QString trigger = entry.properties.value(QStringLiteral("preferred_trigger")).toString();
            trigger.replace(QStringLiteral("LOGO"), QStringLiteral("Logo"))
                .replace(QStringLiteral("SHIFT"), QStringLiteral("Shift"));
            entry.properties.insert(QStringLiteral("trigger_description"), trigger);
            assigned << entry;
        }
        results = {{QStringLiteral("shortcuts"), QVariant::fromValue(assigned)}};
        return settings().bindResponse;
    }
    uint ListShortcuts(const QDBusObjectPath &, const QDBusObjectPath &, QVariantMap &results)
    {
        results = {{QStringLiteral("shortcuts"), QVariant::fromValue(assigned)}};
        return 0;
    }
signals:
    void Activated(const QDBusObjectPath &session_handle, const QString &shortcut_id, qulonglong timestamp,
                   const QVariantMap &options);
    void Deactivated(const QDBusObjectPath &session_handle, const QString &shortcut_id, qulonglong timestamp,
                     const QVariantMap &options);
    void ShortcutsChanged(const QDBusObjectPath &session_handle, const Portal::ShortcutList &shortcuts);
};

// Screen casts of one monitor: a PipeWire node of the test's own, with restore data so that the frontend
// gives the client a token, and a note of whether a later selection brought it back.
class ScreenCastAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.impl.portal.ScreenCast")
    Q_PROPERTY(uint AvailableSourceTypes READ sourceTypes)
    Q_PROPERTY(uint AvailableCursorModes READ cursorModes)
    Q_PROPERTY(uint version READ version)
public:
    explicit ScreenCastAdaptor(QObject *parent) : QDBusAbstractAdaptor(parent) {}
    uint sourceTypes() const { return 1; }
    uint cursorModes() const { return 1 | 2; }
    uint version() const { return 4; }

public slots:
    uint CreateSession(const QDBusObjectPath &, const QDBusObjectPath &session, const QString &,
                       const QVariantMap &, QVariantMap &results)
    {
        auto *object = new SessionObject(this);
        object->setObjectName(session.path());
        QDBusConnection::sessionBus().registerObject(session.path(), object,
                                                     QDBusConnection::ExportAllContents);
        results.clear();
        return 0;
    }
    uint SelectSources(const QDBusObjectPath &, const QDBusObjectPath &, const QString &,
                       const QVariantMap &options, QVariantMap &results)
    {
        settings().lastRestored = options.contains(QStringLiteral("restore_data"));
        settings().lastCursorMode = options.value(QStringLiteral("cursor_mode")).toUInt();
        results.clear();
        return 0;
    }
    uint Start(const QDBusObjectPath &, const QDBusObjectPath &, const QString &, const QString &,
               const QVariantMap &, QVariantMap &results)
    {
        const Settings &s = settings();
        ++settings().casts;
        QVariantMap properties{
            {QStringLiteral("position"), QVariant::fromValue(IntPair{s.castPlace.x(), s.castPlace.y()})},
            {QStringLiteral("size"), QVariant::fromValue(IntPair{s.castPlace.width(), s.castPlace.height()})},
            {QStringLiteral("source_type"), uint(1)}};
        results = {
            {QStringLiteral("streams"), QVariant::fromValue(QList<CastStream>{{s.castNode, properties}})},
            {QStringLiteral("persist_mode"), uint(2)},
            {QStringLiteral("restore_data"),
             QVariant::fromValue(
                 RestoreData{QStringLiteral("pimtest"), 1, QDBusVariant(QStringLiteral("monitor-0"))})}};
        return s.castResponse;
    }
};

// What the tests call: /control, org.pim.test.PortalDouble.
class Control : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.pim.test.PortalDouble")
public:
    Control(ShortcutsAdaptor *shortcuts, QObject *casts) : m_shortcuts(shortcuts), m_casts(casts) {}
public slots:
    void SetAccess(uint response) { settings().accessResponse = response; }
    void SetScreenshot(uint response, const QString &picture, const QString &rawUri, int delayMs)
    {
        Settings &s = settings();
        s.screenshotResponse = response;
        s.picture = picture;
        s.rawUri = rawUri;
        s.delayMs = delayMs;
    }
    void SetBindResponse(uint response) { settings().bindResponse = response; }
    void SetScreenCast(uint node, int x, int y, int width, int height, uint response)
    {
        settings().castNode = node;
        settings().castPlace = QRect(x, y, width, height);
        settings().castResponse = response;
    }
    bool LastCastRestored() { return settings().lastRestored; }
    // The monitor goes: every screen-cast session is closed, as a desktop does.
    void CloseCasts()
    {
        for (SessionObject *object : m_casts->findChildren<SessionObject *>())
            emit object->Closed();
    }
    uint LastCursorMode() { return settings().lastCursorMode; }
    int CastCount() { return settings().casts; }
    int ScreenshotCount() { return settings().screenshots; }
    bool LastScreenshotInteractive() { return settings().lastInteractive; }
    QStringList Sessions() { return settings().sessions; }
    void Activate(const QString &session, const QString &id)
    {
        emit m_shortcuts->Activated(QDBusObjectPath(session), id, 0, {});
        emit m_shortcuts->Deactivated(QDBusObjectPath(session), id, 1, {});
    }
    void ChangeTrigger(const QString &session, const QString &id, const QString &trigger)
    {
        for (Portal::ShortcutEntry &entry : m_shortcuts->assigned) {
            if (entry.id == id)
                entry.properties.insert(QStringLiteral("trigger_description"), trigger);
        }
        emit m_shortcuts->ShortcutsChanged(QDBusObjectPath(session), m_shortcuts->assigned);
    }
    void CloseSession(const QString &session)
    {
        if (auto *object = m_shortcuts->findChild<SessionObject *>(session)) {
            emit object->Closed();
            // Gone once the signal has left (unregistering at once can drop it).
            QTimer::singleShot(500, object, [object, session] {
                QDBusConnection::sessionBus().unregisterObject(session);
                object->deleteLater();
            });
        }
    }

private:
    ShortcutsAdaptor *m_shortcuts;
    QObject *m_casts;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: portal_double BUS_NAME\n");
        return 2;
    }
    Portal::registerTypes();
    qDBusRegisterMetaType<CastStream>();
    qDBusRegisterMetaType<QList<CastStream>>();
    qDBusRegisterMetaType<IntPair>();
    qDBusRegisterMetaType<RestoreData>();
    QDBusConnection bus = QDBusConnection::sessionBus();
    Root root;
    new AccessAdaptor(&root);
    new ScreenshotAdaptor(&root);
    auto *shortcuts = new ShortcutsAdaptor(&root);
    auto *casts = new ScreenCastAdaptor(&root);
    Control control(shortcuts, casts);
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/portal/desktop"), &root) ||
        !bus.registerObject(QStringLiteral("/control"), &control, QDBusConnection::ExportAllSlots) ||
        !bus.registerService(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "portal_double: %s\n", qPrintable(bus.lastError().message()));
        return 1;
    }
    return app.exec();
}

#include "portal_double.moc"
