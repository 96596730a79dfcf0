#include "app/AboutWindowController.h"
#include "app/WelcomeWindowController.h"
#include "capture/ScreenRecordingPermission.h"
#include "output/AppSettings.h"
#include "shortcuts/GlobalShortcuts.h"
#include "support/FakeHotKeyService.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

class DeniedSource : public ScreenRecordingPermission::Source {
public:
    bool granted = false;
    bool preflight() override { return granted; }
};

class TestShellWindows : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        ScreenRecordingPermission::setSource(nullptr);
        ScreenRecordingPermission::setAlertRunner([](const ScreenRecordingPermission::Alert &) { return 1; });
    }
    void cleanup()
    {
        ScreenRecordingPermission::stopPolling();
        ScreenRecordingPermission::setAlertRunner(nullptr);
        ScreenRecordingPermission::setSource(nullptr);
    }

    void aboutShowsTheVersion()
    {
        AboutWindowController about;
        about.showWindow();
        QCOMPARE(about.width(), 320);
        QCOMPARE(about.versionLabel()->text(), QStringLiteral("Version " PIM_VERSION));
        QVERIFY(about.isVisible());
    }

    void welcomeWithThePermission()
    {
        WelcomeWindowController welcome;
        int captures = 0;
        welcome.onCaptureNow = [&] { ++captures; };
        QVERIFY(!AppSettings::shared().hasSeenWelcome());
        welcome.showWindow();
        QVERIFY(AppSettings::shared().hasSeenWelcome());
        QCOMPARE(welcome.width(), 480);
        QCOMPARE(welcome.permissionSubtitle()->text(), QStringLiteral("Accordée. Tu peux capturer."));
        QVERIFY(welcome.grantButton()->isHidden());
        // No preferences window to open yet: no button for it.
        QVERIFY(welcome.preferencesButton()->isHidden());
        QCOMPARE(welcome.mainButton()->text(), QStringLiteral("Capturer une zone"));
        welcome.mainButton()->click();
        QVERIFY(!welcome.isVisible());
        QCOMPARE(captures, 1);
    }

    void welcomeWithoutThePermission()
    {
        auto source = std::make_unique<DeniedSource>();
        DeniedSource *denied = source.get();
        ScreenRecordingPermission::setSource(std::move(source));
        QList<ScreenRecordingPermission::Alert> alerts;
        ScreenRecordingPermission::setAlertRunner([&](const ScreenRecordingPermission::Alert &a) {
            alerts << a;
            return 1;
        });
        WelcomeWindowController welcome;
        int captures = 0;
        welcome.onCaptureNow = [&] { ++captures; };
        welcome.showWindow();
        QCOMPARE(welcome.permissionSubtitle()->text(),
                 QStringLiteral("Le bureau l'exige pour capturer quoi que ce soit."));
        QVERIFY(!welcome.grantButton()->isHidden());
        QCOMPARE(welcome.mainButton()->text(), QStringLiteral("Plus tard"));
        // "Accorder" shows the guidance and watches for the grant.
        welcome.grantButton()->click();
        QCOMPARE(alerts.size(), 1);
        QVERIFY(ScreenRecordingPermission::isPolling());
        QCOMPARE(welcome.mainButton()->text(), QStringLiteral("Plus tard"));
        // "Plus tard" closes without capturing.
        welcome.mainButton()->click();
        QVERIFY(!welcome.isVisible());
        QCOMPARE(captures, 0);
        // Granted meanwhile; Pim becomes active again: the window follows.
        denied->granted = true;
        welcome.refresh();
        QCOMPARE(welcome.mainButton()->text(), QStringLiteral("Capturer une zone"));
        QVERIFY(welcome.grantButton()->isHidden());
    }

    void shortcutRowsFollowTheBindings()
    {
        GlobalShortcuts::resetForTesting();
        WelcomeWindowController welcome;
        QCOMPARE(welcome.shortcutLabel(0)->text(), QStringLiteral("⇧⌘7"));
        QCOMPARE(welcome.shortcutLabel(1)->text(), QStringLiteral("⇧⌘8"));
        GlobalShortcuts::setShortcut(std::nullopt, GlobalShortcuts::Name::captureArea());
        QTRY_COMPARE(welcome.shortcutLabel(0)->text(), QStringLiteral("non assigné"));
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    GlobalShortcuts::setHotKeyService(std::make_unique<FakeHotKeyService>());
    TestShellWindows test;
    const int status = QTest::qExec(&test, argc, argv);
    GlobalShortcuts::setHotKeyService(nullptr);
    return status;
}
#include "tst_shellwindows.moc"
