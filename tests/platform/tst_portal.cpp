// SPDX-License-Identifier: GPL-3.0-or-later
// Pim's portal clients against the real xdg-desktop-portal frontend and a test-double backend
// (portal_session.sh starts both on a private bus; the double is driven through its /control object).
#include "platform/portal/PortalPermissionSource.h"
#include "platform/portal/PortalRequest.h"
#include "platform/portal/PortalScreenCapturer.h"
#include "platform/portal/PortalShortcutService.h"
#include "shortcuts/GlobalShortcuts.h"
#include "support/TestImages.h"
#include "support/TestSession.h"

#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using GlobalShortcuts::DesktopShortcutService;

namespace {

const QString doubleName = QStringLiteral("org.freedesktop.impl.portal.desktop.pimtest");

// Plain calls (a QDBusInterface would introspect and keep a meta-object for the connection's lifetime).
QDBusMessage call(const QString &service, const QString &path, const QString &interface,
                  const QString &method, const QVariantList &arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(service, path, interface, method);
    message.setArguments(arguments);
    return QDBusConnection::sessionBus().call(message);
}

// The test double's control object.
QDBusMessage control(const QString &method, const QVariantList &arguments = {})
{
    return call(doubleName, QStringLiteral("/control"), QStringLiteral("org.pim.test.PortalDouble"), method,
                arguments);
}

void setScreenshot(uint response, const QString &picture, const QString &rawUri = QString(), int delayMs = 0)
{
    const QDBusMessage reply = control(QStringLiteral("SetScreenshot"), {response, picture, rawUri, delayMs});
    QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
}

int screenshotCount()
{
    return control(QStringLiteral("ScreenshotCount")).arguments().value(0).toInt();
}

// The desktop as the screens show it: a distinct colour in each corner, so a wrong cut shows.
QImage desktopPicture(QSize size)
{
    QImage image = TestImages::sample(size.width(), size.height());
    image.setPixelColor(0, 0, QColor(255, 0, 0));
    image.setPixelColor(size.width() - 1, size.height() - 1, QColor(0, 0, 255));
    return image.convertToFormat(QImage::Format_RGB32);
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::System | QDir::Hidden);
}

bool waitForState(const PortalShortcutService &service, DesktopShortcutService::State state)
{
    return QTest::qWaitFor([&] { return service.state() == state; }, 10000);
}

QList<DesktopShortcutService::Binding> pimBindings()
{
    using namespace GlobalShortcuts;
    return {{QStringLiteral("captureArea"), QStringLiteral("Capturer une zone"),
             Shortcut(Key{Key::seven}, Modifier::shift | Modifier::command)},
            {QStringLiteral("captureFullScreen"), QStringLiteral("Capturer l'écran complet"),
             Shortcut(Key{Key::eight}, Modifier::shift | Modifier::command)}};
}

// One request for these screens, waited for.
ScreenCapturer::Pictures readScreens(ScreenCapturer &capturer, const QList<QScreen *> &screens)
{
    std::optional<ScreenCapturer::Pictures> answer;
    capturer.capture(ScreenCapturer::Request{screens, {}, {}},
                     [&answer](const ScreenCapturer::Pictures &pictures) { answer = pictures; });
    // The answer never comes inside the call.
    if (answer)
        return Error{QStringLiteral("answered inside the call")};
    if (!QTest::qWaitFor([&] { return answer.has_value(); }, 15000))
        return Error{QStringLiteral("no answer")};
    return *answer;
}

// The primary screen's picture.
Result<QImage> shoot(ScreenCapturer &capturer)
{
    const ScreenCapturer::Pictures pictures = readScreens(capturer, {QGuiApplication::primaryScreen()});
    if (!pictures)
        return pictures.error();
    return pictures->value(0);
}

} // namespace

class TestPortal : public QObject {
    Q_OBJECT

    QTemporaryDir m_files{QDir::homePath() + QStringLiteral("/files-XXXXXX")};
    QString m_picture;
    QImage m_desktop;
    QString m_tmp;
    QPair<QByteArray, QByteArray> m_environment;

private slots:
    void initTestCase()
    {
        QVERIFY(QDBusConnection::sessionBus().isConnected());
        QVERIFY(QDBusConnection::sessionBus().interface()->isServiceRegistered(Portal::serviceName()));
        QVERIFY(m_files.isValid());
        m_desktop = desktopPicture(QGuiApplication::primaryScreen()->size());
        m_picture = m_files.filePath(QStringLiteral("desktop.png"));
        QVERIFY(m_desktop.save(m_picture));
        m_tmp = QFileInfo(QDir::tempPath()).canonicalFilePath();
        m_environment = {qgetenv("XDG_CURRENT_DESKTOP"), qgetenv("PATH")};
    }

    // What a test may change goes back, so that one failure does not fail the next test.
    void cleanup()
    {
        resetTestSession();
        qputenv("XDG_CURRENT_DESKTOP", m_environment.first);
        qputenv("PATH", m_environment.second);
        control(QStringLiteral("SetBindResponse"), {0u});
        setScreenshot(0, m_picture);
    }

    // The real frontend, our backend: the picture comes back pixel for pixel and its file is gone.
    void screenshotThroughTheFrontend()
    {
        setScreenshot(0, m_picture);
        PortalScreenCapturer capturer;
        const int before = screenshotCount();
        const Result<QImage> shot = shoot(capturer);
        QVERIFY2(shot.ok(), qPrintable(shot.ok() ? QString() : shot.error().message));
        QCOMPARE(shot->size(), m_desktop.size());
        QCOMPARE(shot->convertToFormat(QImage::Format_RGB32), m_desktop);
        QCOMPARE(screenshotCount(), before + 1);
        // The portal's temporary copy is deleted once read.
        QVERIFY2(filesIn(m_tmp).filter(QStringLiteral("portal-shot")).isEmpty(),
                 qPrintable(filesIn(m_tmp).join(u' ')));
        QVERIFY(QFile::exists(m_picture));

        // The screens of one request share one screenshot; the next request takes a new one.
        QScreen *primary = QGuiApplication::primaryScreen();
        const ScreenCapturer::Pictures both = readScreens(capturer, {primary, primary});
        QVERIFY(both.ok());
        QCOMPARE(both->size(), 2);
        QCOMPARE(both->at(1).convertToFormat(QImage::Format_RGB32), m_desktop);
        QCOMPARE(screenshotCount(), before + 2);
        QVERIFY(shoot(capturer).ok());
        QCOMPARE(screenshotCount(), before + 3);
    }

    void failedAnswers_data()
    {
        QTest::addColumn<uint>("response");
        QTest::addColumn<QString>("expected");
        QTest::newRow("cancelled") << 1u << QStringLiteral("refusée ou annulée");
        QTest::newRow("failed") << 2u << QStringLiteral("n'a pas pu capturer");
    }
    void failedAnswers()
    {
        QFETCH(uint, response);
        QFETCH(QString, expected);
        setScreenshot(response, m_picture);
        PortalScreenCapturer capturer;
        const Result<QImage> shot = shoot(capturer);
        QVERIFY(!shot.ok());
        QVERIFY2(shot.error().message.contains(expected), qPrintable(shot.error().message));
    }

    void noAnswerInTime()
    {
        setScreenshot(0, m_picture, QString(), 3000);
        PortalScreenCapturer capturer;
        capturer.setTimeout(400);
        const Result<QImage> shot = shoot(capturer);
        QVERIFY(!shot.ok());
        QVERIFY2(shot.error().message.contains(QStringLiteral("n'a pas répondu")),
                 qPrintable(shot.error().message));
        // The late answer arrives after we stopped listening and changes nothing.
        QTest::qWait(3000);
        setScreenshot(0, m_picture);
        QVERIFY(shoot(capturer).ok());
    }

    void missingPortals()
    {
        // A service without the Screenshot interface (the backend itself is one).
        PortalScreenCapturer noInterface(QDBusConnection::sessionBus(), doubleName);
        Result<QImage> shot = shoot(noInterface);
        QVERIFY(!shot.ok());
        QVERIFY2(shot.error().message.contains(QStringLiteral("ne propose pas")),
                 qPrintable(shot.error().message));
        // Nobody on the bus at all.
        PortalScreenCapturer nobody(QDBusConnection::sessionBus(), QStringLiteral("org.pim.test.Nobody"));
        shot = shoot(nobody);
        QVERIFY(!shot.ok());
        QVERIFY2(shot.error().message.contains(QStringLiteral("Aucun portail")),
                 qPrintable(shot.error().message));
    }

    // Answers that point at the wrong file, or at a bad one: the capture alert's text, and nothing read or
    // deleted outside the portal's folders.
    void badAnswers()
    {
        PortalScreenCapturer capturer;
        // Here the home folder is itself under /tmp: the portal's folder is the only one allowed.
        capturer.setAllowedFolders({m_tmp});
        capturer.setTemporaryFolders({m_tmp});
        const QString outside = m_files.filePath(QStringLiteral("secret.png"));
        QVERIFY(m_desktop.save(outside));
        const auto failsWith = [&](const QString &uri, const QString &text) {
            setScreenshot(0, QString(), uri);
            const Result<QImage> shot = shoot(capturer);
            if (shot.ok())
                return QStringLiteral("accepted %1").arg(uri);
            if (!shot.error().message.contains(text))
                return shot.error().message;
            return QString();
        };
        QCOMPARE(failsWith(QUrl::fromLocalFile(outside).toString(), QStringLiteral("hors des dossiers")),
                 QString());
        QVERIFY(QFile::exists(outside));
        // A link in the temporary folder to a file elsewhere.
        const QString link = m_tmp + QStringLiteral("/portal-link.png");
        QVERIFY(QFile::link(outside, link));
        QCOMPARE(failsWith(QUrl::fromLocalFile(link).toString(), QStringLiteral("hors des dossiers")),
                 QString());
        QVERIFY(QFile::exists(outside));
        QFile::remove(link);
        QCOMPARE(
            failsWith(QStringLiteral("https://example.org/shot.png"), QStringLiteral("adresse inattendue")),
            QString());
        QCOMPARE(failsWith(QUrl::fromLocalFile(m_tmp + QStringLiteral("/gone.png")).toString(),
                           QStringLiteral("introuvable")),
                 QString());
        // A truncated file in the portal's folder: refused and removed.
        QFile whole(m_picture);
        QVERIFY(whole.open(QIODevice::ReadOnly));
        const QByteArray bytes = whole.readAll();
        const QString truncated = m_tmp + QStringLiteral("/portal-truncated.png");
        QFile cut(truncated);
        QVERIFY(cut.open(QIODevice::WriteOnly));
        cut.write(bytes.left(bytes.size() / 3));
        cut.close();
        QCOMPARE(failsWith(QUrl::fromLocalFile(truncated).toString(), QStringLiteral("Impossible de lire")),
                 QString());
        QVERIFY(!QFile::exists(truncated));
        // A picture whose size does not match the screens.
        const QString small = m_tmp + QStringLiteral("/portal-small.png");
        QVERIFY(TestImages::sample(300, 300).save(small));
        QCOMPARE(failsWith(QUrl::fromLocalFile(small).toString(), QStringLiteral("ne correspond pas")),
                 QString());
        QVERIFY(!QFile::exists(small));
        // A file of the portal's folder that is no picture is not the portal's: it stays.
        const QString text = m_tmp + QStringLiteral("/notes.txt");
        QFile notes(text);
        QVERIFY(notes.open(QIODevice::WriteOnly));
        notes.write("not a picture\n");
        notes.close();
        QCOMPARE(failsWith(QUrl::fromLocalFile(text).toString(), QStringLiteral("Impossible de lire")),
                 QString());
        QVERIFY(QFile::exists(text));
        QFile::remove(text);
    }

    // A folder whose name merely begins like an allowed one is another folder: its file is refused and
    // left where it is.
    void foldersThatOnlyBeginLikeAllowedOnes()
    {
        const QString allowed = m_files.filePath(QStringLiteral("portal"));
        const QString lookalike = allowed + QStringLiteral("-other");
        QVERIFY(QDir().mkpath(allowed) && QDir().mkpath(lookalike));
        PortalScreenCapturer capturer;
        capturer.setAllowedFolders({allowed});
        capturer.setTemporaryFolders({allowed});
        const QString stray = lookalike + QStringLiteral("/shot.png");
        QVERIFY(m_desktop.save(stray));
        setScreenshot(0, QString(), QUrl::fromLocalFile(stray).toString());
        Result<QImage> shot = shoot(capturer);
        QVERIFY(!shot.ok());
        QVERIFY2(shot.error().message.contains(QStringLiteral("hors des dossiers")),
                 qPrintable(shot.error().message));
        QVERIFY(QFile::exists(stray));
        // The positive control: the same file inside the allowed folder is read and, temporary, removed.
        const QString inside = allowed + QStringLiteral("/shot.png");
        QVERIFY(QFile::copy(stray, inside));
        setScreenshot(0, QString(), QUrl::fromLocalFile(inside).toString());
        QVERIFY(shoot(capturer).ok());
        QVERIFY(!QFile::exists(inside));

        // The user's pictures folder beside one named like it: the first is read and never deleted.
        const QString pictures = m_files.filePath(QStringLiteral("Pictures"));
        const QString archive = m_files.filePath(QStringLiteral("Pictures-archive"));
        QVERIFY(QDir().mkpath(pictures) && QDir().mkpath(archive));
        PortalScreenCapturer user;
        user.setAllowedFolders({pictures});
        user.setTemporaryFolders({});
        const QString archived = archive + QStringLiteral("/shot.png");
        QVERIFY(m_desktop.save(archived));
        setScreenshot(0, QString(), QUrl::fromLocalFile(archived).toString());
        QVERIFY(!shoot(user).ok());
        QVERIFY(QFile::exists(archived));
        const QString kept = pictures + QStringLiteral("/shot.png");
        QVERIFY(m_desktop.save(kept));
        setScreenshot(0, QString(), QUrl::fromLocalFile(kept).toString());
        QVERIFY(shoot(user).ok());
        QVERIFY(QFile::exists(kept));
        setScreenshot(0, m_picture);
    }

    // Asking for the permission makes one interactive screenshot request: the desktop shows its dialog.
    void permissionRequestIsOneInteractiveScreenshot()
    {
        setScreenshot(0, m_picture);
        PortalScreenCapturer capturer;
        QVERIFY(shoot(capturer).ok());
        QCOMPARE(control(QStringLiteral("LastScreenshotInteractive")).arguments().value(0).toBool(), false);
        PortalPermissionSource source(QDBusConnection::sessionBus(),
                                      [&capturer] { capturer.askPermission(); });
        const int before = screenshotCount();
        const QStringList filesBefore = filesIn(m_tmp);
        source.request();
        QVERIFY(QTest::qWaitFor([&] { return screenshotCount() == before + 1; }, 5000));
        QCOMPARE(control(QStringLiteral("LastScreenshotInteractive")).arguments().value(0).toBool(), true);
        // Its picture is not kept.
        QVERIFY2(QTest::qWaitFor([&] { return filesIn(m_tmp) == filesBefore; }, 5000),
                 qPrintable(filesIn(m_tmp).join(u' ')));
    }

    // "Ouvrir les Paramètres" where the desktop's settings application is known and installed, and not
    // offered elsewhere.
    void settingsApplicationOfTheDesktop()
    {
        const QByteArray path = qgetenv("PATH");
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const QString record = bin.filePath(QStringLiteral("opened"));
        const QString program = bin.filePath(QStringLiteral("gnome-control-center"));
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral("#!/bin/sh\necho \"$@\" > '%1'\n").arg(record).toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", bin.path().toLocal8Bit() + ':' + path);

        PortalPermissionSource source;
        qputenv("XDG_CURRENT_DESKTOP", "sway");
        QVERIFY(!source.canOpenSettings());
        qputenv("XDG_CURRENT_DESKTOP", "KDE");
        QVERIFY(!source.canOpenSettings()); // not installed here
        qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
        QVERIFY(source.canOpenSettings());
        QCOMPARE(ScreenRecordingPermission::guidanceAlert(true).buttons,
                 (QStringList{QStringLiteral("Ouvrir les Paramètres"), QStringLiteral("Plus tard")}));
        QCOMPARE(ScreenRecordingPermission::guidanceAlert(false).buttons,
                 QStringList{QStringLiteral("Plus tard")});

        // Through the guidance: the first button opens the application.
        ScreenRecordingPermission::setSource(
            std::make_unique<PortalPermissionSource>(QDBusConnection::sessionBus()));
        QStringList shown;
        ScreenRecordingPermission::setAlertRunner([&](const ScreenRecordingPermission::Alert &alert) {
            shown = alert.buttons;
            return 0;
        });
        ScreenRecordingPermission::showGuidance();
        QCOMPARE(shown.first(), QStringLiteral("Ouvrir les Paramètres"));
        const auto recorded = [&record] {
            QFile opened(record);
            return opened.open(QIODevice::ReadOnly) ? opened.readAll().trimmed() : QByteArray();
        };
        QVERIFY(QTest::qWaitFor([&] { return !recorded().isEmpty(); }, 5000));
        QCOMPARE(recorded(), QByteArray("applications"));

        // Where none is known the alert has "Plus tard" alone.
        qputenv("XDG_CURRENT_DESKTOP", "sway");
        ScreenRecordingPermission::showGuidance();
        QCOMPARE(shown, QStringList{QStringLiteral("Plus tard")});
    }

    // The desktop's refusal, kept in its permission store, is what the permission source reports.
    void permissionFollowsTheStore()
    {
        PortalPermissionSource source;
        QVERIFY(source.preflight());
        const auto setPermission = [](const QString &value) {
            const QString store = QStringLiteral("org.freedesktop.impl.portal.PermissionStore");
            return call(store, QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"), store,
                        QStringLiteral("SetPermission"),
                        {QStringLiteral("screenshot"), true, QStringLiteral("screenshot"), QString(),
                         QStringList{value}});
        };
        QDBusMessage reply = setPermission(QStringLiteral("no"));
        QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));
        QVERIFY(!source.preflight());
        reply = setPermission(QStringLiteral("yes"));
        QVERIFY(reply.type() == QDBusMessage::ReplyMessage);
        QVERIFY(source.preflight());
    }

    // GlobalShortcuts: a session, the two shortcuts bound, the desktop's keys read back, activations taken
    // for our own session only.
    void shortcutsBindAndFire()
    {
        QDBusMessage reply = control(QStringLiteral("SetBindResponse"), {0u});
        QVERIFY(reply.type() == QDBusMessage::ReplyMessage);
        PortalShortcutService ours;
        PortalShortcutService other;
        QList<QPair<QString, bool>> oursFired, otherFired;
        ours.onActivated = [&](const QString &name, bool pressed) { oursFired << qMakePair(name, pressed); };
        other.onActivated = [&](const QString &name, bool pressed) {
            otherFired << qMakePair(name, pressed);
        };
        int changes = 0;
        ours.onChanged = [&] { ++changes; };
        ours.bind(pimBindings());
        other.bind(pimBindings());
        QVERIFY(waitForState(ours, DesktopShortcutService::State::Bound));
        QVERIFY(waitForState(other, DesktopShortcutService::State::Bound));
        // The handle came back as a string and names a session object of ours.
        QVERIFY2(ours.sessionHandle().startsWith(QStringLiteral("/org/freedesktop/portal/desktop/session/")),
                 qPrintable(ours.sessionHandle()));
        QVERIFY(ours.sessionHandle() != other.sessionHandle());
        QCOMPARE(ours.assignedTrigger(QStringLiteral("captureArea")), QStringLiteral("Shift+Logo+7"));
        QCOMPARE(ours.assignedTrigger(QStringLiteral("captureFullScreen")), QStringLiteral("Shift+Logo+8"));
        QVERIFY(changes > 0);

        reply = control(QStringLiteral("Activate"), {other.sessionHandle(), QStringLiteral("captureArea")});
        QVERIFY(reply.type() == QDBusMessage::ReplyMessage);
        QVERIFY(QTest::qWaitFor([&] { return otherFired.size() == 2; }, 5000));
        QVERIFY(oursFired.isEmpty());
        control(QStringLiteral("Activate"), {ours.sessionHandle(), QStringLiteral("captureFullScreen")});
        QVERIFY(QTest::qWaitFor([&] { return oursFired.size() == 2; }, 5000));
        QCOMPARE(oursFired.at(0), qMakePair(QStringLiteral("captureFullScreen"), true));
        QCOMPARE(oursFired.at(1), qMakePair(QStringLiteral("captureFullScreen"), false));
        QCOMPARE(otherFired.size(), 2);

        // The user gives the shortcut other keys in the desktop's settings.
        control(QStringLiteral("ChangeTrigger"),
                {ours.sessionHandle(), QStringLiteral("captureArea"), QStringLiteral("Ctrl+Print")});
        QVERIFY(QTest::qWaitFor(
            [&] {
                return ours.assignedTrigger(QStringLiteral("captureArea")) == QLatin1String("Ctrl+Print");
            },
            5000));
        QCOMPARE(other.assignedTrigger(QStringLiteral("captureArea")), QStringLiteral("Shift+Logo+7"));
    }

    // Through the shortcut table: the handler of the name runs; the table reports the name enabled while
    // the desktop holds it, and not once the desktop closes the session.
    void shortcutTableFollowsTheDesktop()
    {
        auto service = std::make_unique<PortalShortcutService>();
        PortalShortcutService *portal = service.get();
        GlobalShortcuts::setDesktopService(std::move(service));
        const GlobalShortcuts::Name &area = GlobalShortcuts::Name::captureArea();
        int ran = 0;
        GlobalShortcuts::onKeyDown(area, [&] { ++ran; });
        QSignalSpy changed(&GlobalShortcuts::Notifier::shared(),
                           &GlobalShortcuts::Notifier::desktopShortcutsDidChange);
        portal->bind(pimBindings());
        QVERIFY(waitForState(*portal, DesktopShortcutService::State::Bound));
        QVERIFY(GlobalShortcuts::isEnabled(area));
        QCOMPARE(GlobalShortcuts::desktopTrigger(area), QStringLiteral("Shift+Logo+7"));
        QVERIFY(changed.count() > 0);

        control(QStringLiteral("Activate"), {portal->sessionHandle(), QStringLiteral("captureArea")});
        QVERIFY(QTest::qWaitFor([&] { return ran == 1; }, 5000));
        GlobalShortcuts::setPaused(true);
        control(QStringLiteral("Activate"), {portal->sessionHandle(), QStringLiteral("captureArea")});
        QTest::qWait(300);
        QCOMPARE(ran, 1);
        GlobalShortcuts::setPaused(false);

        control(QStringLiteral("CloseSession"), {portal->sessionHandle()});
        QVERIFY(waitForState(*portal, DesktopShortcutService::State::Unavailable));
        QVERIFY(!GlobalShortcuts::isEnabled(area));
        QVERIFY(GlobalShortcuts::desktopTrigger(area).isEmpty());
        QVERIFY(!portal->problem().isEmpty());
    }

    void shortcutsRefusedOrMissing()
    {
        control(QStringLiteral("SetBindResponse"), {2u});
        PortalShortcutService refused;
        refused.bind(pimBindings());
        QVERIFY(waitForState(refused, DesktopShortcutService::State::Unavailable));
        QVERIFY(refused.assignedTrigger(QStringLiteral("captureArea")).isEmpty());
        control(QStringLiteral("SetBindResponse"), {0u});

        PortalShortcutService missing(QDBusConnection::sessionBus(), doubleName);
        missing.bind(pimBindings());
        QVERIFY(waitForState(missing, DesktopShortcutService::State::Unavailable));
        QVERIFY2(missing.problem().contains(QStringLiteral("ne propose pas")), qPrintable(missing.problem()));
    }

    void preferredTriggers()
    {
        using namespace GlobalShortcuts;
        QCOMPARE(PortalShortcutService::preferredTrigger(
                     Shortcut(Key{Key::seven}, Modifier::shift | Modifier::command)),
                 QStringLiteral("SHIFT+LOGO+7"));
        QCOMPARE(PortalShortcutService::preferredTrigger(
                     Shortcut(Key{Key::a}, Modifier::control | Modifier::option)),
                 QStringLiteral("CTRL+ALT+a"));
    }
};

QTEST_MAIN(TestPortal)
#include "tst_portal.moc"
