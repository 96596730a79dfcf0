// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/AboutWindowController.h"
#include "app/Localization.h"
#include "app/MainMenu.h"
#include "app/StatusItemController.h"
#include "app/WelcomeWindowController.h"
#include "capture/CaptureCoordinator.h"
#include "capture/RecordingController.h"
#include "capture/ScreenRecordingPermission.h"
#include "history/HistoryStore.h"
#include "history/HistoryWindowController.h"
#include "output/VideoProbe.h"
#include "preferences/PreferencesWindowController.h"
#include "preview/PreviewPanel.h"
#include "preview/PreviewView.h"
#include "settings/AppSettings.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/ShortcutRecorder.h"
#include "support/FakeDesktopShortcutService.h"
#include "support/FakeHotKeyService.h"
#include "support/TestSession.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>

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
        GlobalShortcuts::setHotKeyService(std::make_unique<FakeHotKeyService>());
        ScreenRecordingPermission::setAlertRunner([](const ScreenRecordingPermission::Alert &) { return 1; });
    }
    void cleanup() { resetTestSession(); }

    void aboutShowsTheVersion()
    {
        AboutWindowController about;
        about.showWindow();
        QCOMPARE(about.width(), 320);
        QCOMPARE(about.versionLabel()->text(), QStringLiteral("Version " PIM_VERSION));
        QVERIFY(about.isVisible());
    }

    // Ctrl+W ("Fermer") closes whichever window is active; Escape closes the About, welcome, preferences
    // and history windows, the history's search field being cleared first.
    void closingKeys()
    {
        AboutWindowController about;
        HistoryWindowController history;
        history.setSearchAvailable(true, QString());
        PreferencesWindowController preferences;
        WelcomeWindowController welcome;
        for (QWidget *window : QList<QWidget *>{&about, &history, &preferences, &welcome}) {
            window->addActions(MainMenu::shared().allActions());
            window->show();
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            QTest::keyClick(window, Qt::Key_W, Qt::ControlModifier);
            QVERIFY2(!window->isVisible(), window->metaObject()->className());
            window->show();
            window->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(window));
            if (window == &history) {
                auto *search = history.findChild<QLineEdit *>();
                QVERIFY(search);
                search->setFocus();
                QTest::keyClicks(search, QStringLiteral("mot"));
                QCOMPARE(search->text(), QStringLiteral("mot"));
                QTest::keyClick(search, Qt::Key_Escape);
                QVERIFY(search->text().isEmpty());
                QVERIFY(history.isVisible());
            }
            QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window,
                            Qt::Key_Escape);
            QVERIFY2(!window->isVisible(), window->metaObject()->className());
        }
    }

    // Qt's own windows in French, whatever LANG says (the tests run under the C locale).
    void qtsOwnWindowsSpeakFrench()
    {
        QVERIFY(Localization::install(*qApp));
        QColorDialog colours;
        QStringList texts;
        for (const QAbstractButton *button : colours.findChildren<QAbstractButton *>())
            texts << button->text();
        for (const QLabel *label : colours.findChildren<QLabel *>())
            texts << label->text();
        QVERIFY2(texts.contains(QStringLiteral("Annuler")), qPrintable(texts.join(u'|')));
        QVERIFY2(!texts.contains(QStringLiteral("Cancel")), qPrintable(texts.join(u'|')));
        QVERIFY2(!texts.contains(QStringLiteral("&Basic colors")), qPrintable(texts.join(u'|')));

        QLineEdit field;
        const std::unique_ptr<QMenu> menu(field.createStandardContextMenu());
        QStringList entries;
        for (const QAction *action : menu->actions())
            if (!action->isSeparator())
                entries << action->text().remove(u'&').split(u'\t').first();
        QVERIFY2(entries.contains(QStringLiteral("Copier")) && entries.contains(QStringLiteral("Coller")) &&
                     entries.contains(QStringLiteral("Tout sélectionner")),
                 qPrintable(entries.join(u'|')));
        // Dates in French when the system's locale is not a French one.
        QCOMPARE(QLocale().language(), QLocale::French);
        QVERIFY(QLocale()
                    .toString(QDate(2026, 12, 7), QLocale::ShortFormat)
                    .contains(QStringLiteral("07/12/2026")));
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

    void trayMenu()
    {
        struct NoScreen : ScreenCapturer {
            void capture(const Request &, Completion) override {}
        };
        CaptureCoordinator coordinator(std::make_unique<NoScreen>());
        StatusItemController item(&coordinator);
        QStringList titles;
        for (const QAction *action : item.menu()->actions())
            titles << (action->isSeparator() ? QString("—") : action->text().section(u'\t', 0, 0));
        // Without a way to list or scroll other programs' windows, those items say so and do nothing.
        QCOMPARE(
            titles,
            QStringList({"Capturer une zone", "Capturer l'écran complet",
                         "Capturer une fenêtre (indisponible ici)", "Capture défilante (indisponible ici)",
                         "—", "Enregistrer une zone", "Enregistrer l'écran", "Arrêter l'enregistrement", "—",
                         "Pipette (copier le code hex)", "Historique des captures…",
                         "Ouvrir le dossier des captures", "—", "Préférences…", "Comment ça marche…",
                         "À propos de Pim", "—", "Fait par l'équipe Pim", "Quitter Pim"}));
        const QList<QAction *> actions = item.menu()->actions();
        QCOMPARE(actions.at(0)->shortcut(), QKeySequence(Qt::SHIFT | Qt::META | Qt::Key_7));
        // The menu's shortcut column shows the keys in Linux names, not Qt's "Meta+Shift+7".
        QCOMPARE(actions.at(0)->text(), QStringLiteral("Capturer une zone\tMaj+Super+7"));
        QCOMPARE(actions.at(1)->text(), QStringLiteral("Capturer l'écran complet\tMaj+Super+8"));
        QVERIFY(!actions.at(2)->isEnabled());
        QVERIFY(!actions.at(2)->toolTip().isEmpty());
        QVERIFY(!actions.at(3)->isEnabled());
        QVERIFY(!actions.at(3)->toolTip().isEmpty());
        // Where it can, the item is the plain one with its keys.
        struct CanScroll : ScrollingSource {
            QString unavailableReason() const override { return {}; }
            bool scroll(const QPoint &, int) override { return true; }
            Result<QImage> readArea(const QRect &) override { return Error{}; }
            std::optional<QPoint> pointer() override { return std::nullopt; }
            void movePointer(const QPoint &) override {}
        };
        struct CanList : WindowLister {
            QString unavailableReason() const override { return {}; }
            QList<QRect> windows() override { return {}; }
        };
        coordinator.setScrollingSource(std::make_unique<CanScroll>());
        coordinator.setWindowLister(std::make_unique<CanList>());
        emit item.menu()->aboutToShow();
        QVERIFY(actions.at(2)->isEnabled());
        QCOMPARE(actions.at(2)->text(), QStringLiteral("Capturer une fenêtre\tMaj+Super+0"));
        QVERIFY(actions.at(3)->isEnabled());
        QCOMPARE(actions.at(3)->text(), QStringLiteral("Capture défilante\tMaj+Super+9"));
        coordinator.setScrollingSource(nullptr);
        coordinator.setWindowLister(nullptr);
        QCOMPARE(actions.at(13)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));
        QCOMPARE(actions.last()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

        // The windows are made once and kept; the preferences show the settings as they are now.
        actions.at(10)->trigger();
        HistoryWindowController *history = item.historyWindow();
        QVERIFY(history->isVisible());
        AppSettings::shared().setFilenamePattern("Vu ailleurs {time}");
        actions.at(13)->trigger();
        QVERIFY(item.preferencesWindow()->isVisible());
        QCOMPARE(item.preferencesWindow()->patternField()->text(), QString("Vu ailleurs {time}"));
        // Its shortcut fields check a recorded combination against the menus' keys.
        const QList<GlobalShortcuts::Recorder *> recorders =
            item.preferencesWindow()->findChildren<GlobalShortcuts::Recorder *>();
        QCOMPARE(recorders.size(), 5);
        for (const GlobalShortcuts::Recorder *recorder : recorders) {
            QVERIFY(recorder->menuItemFor);
            QCOMPARE(recorder->menuItemFor(QKeySequence(Qt::CTRL | Qt::Key_Q)), actions.last()->text());
            QCOMPARE(recorder->menuItemFor(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F11)), QString());
        }
        item.preferencesWindow()->close();
        QCOMPARE(item.historyWindow(), history);
        // The welcome window's preferences button opens them too.
        item.showWelcome();
        QVERIFY(!item.welcomeWindow()->preferencesButton()->isHidden());
        item.welcomeWindow()->preferencesButton()->click();
        QVERIFY(item.preferencesWindow()->isVisible());
        // Without a web page the credit line shows who made Pim in the About window.
        actions.at(17)->trigger();
        QVERIFY(item.aboutWindow()->isVisible());
        AppSettings::shared().defaults().remove(AppSettings::filenamePatternKey);
    }

    // A recording from the tray: the icon turns into a stop square with the time, the stop item shows, a
    // second request is refused with a notification, a click on the icon stops; the file is then in the
    // history, on the clipboard as a file and in the preview with its length.
    void trayWhileRecording()
    {
        struct Screens : ScreenCapturer {
            QObject context;
            void capture(const Request &request, Completion done) override
            {
                QList<QImage> pictures;
                for (QScreen *screen : request.screens) {
                    QImage picture(screen->size(), QImage::Format_RGB32);
                    picture.fill(Qt::darkCyan);
                    pictures << picture;
                }
                QTimer::singleShot(0, &context, [done, pictures] { done(pictures); });
            }
        };
        struct Frames : FrameSource {
            QSize size;
            QString unavailableReason() const override { return {}; }
            Result<Done> begin(const QRect &area, bool) override
            {
                size = area.size();
                return Done{};
            }
            Result<std::optional<QImage>> grab() override
            {
                QImage frame(size, QImage::Format_RGB32);
                frame.fill(Qt::darkMagenta);
                return std::optional<QImage>(frame);
            }
            void end() override {}
        };
        CaptureCoordinator coordinator(std::make_unique<Screens>());
        RecordingController recording(coordinator);
        StatusItemController item(&coordinator, &recording);
        // Without a source the items say why.
        item.updateRecordingState();
        QVERIFY(!item.recordingItems().first()->isEnabled());
        QVERIFY(!item.recordingItems().first()->toolTip().isEmpty());
        recording.setFrameSourceFactory([] { return std::make_unique<Frames>(); });
        recording.onFailure = [](const QString &message) { QFAIL(qPrintable(message)); };
        recording.onRecorded = [](const QImage &first, const QString &path, qint64 length, QScreen *screen) {
            PreviewManager::shared().showRecording(first, path, length, screen);
        };
        HistoryStore::shared().onEntriesChanged = nullptr;
        coordinator.output().onSaved = [](const QString &path) { HistoryStore::shared().add(path); };
        item.updateRecordingState();
        QVERIFY(item.recordingItems().first()->isEnabled());
        QVERIFY(!item.stopRecordingItem()->isVisible());

        item.recordScreen();
        QTRY_VERIFY(recording.isRecording());
        QVERIFY(item.stopRecordingItem()->isVisible());
        QVERIFY(!item.recordingItems().first()->isEnabled());
        QVERIFY(item.trayIcon()->toolTip().contains(QStringLiteral("enregistrement en cours")));
        // A whole screen gets no frame.
        QVERIFY(!recording.frame());
        item.recordArea();
        QCOMPARE(item.lastNotification(), RecordingController::busyMessage());
        QTRY_VERIFY(recording.elapsedMicroseconds() > 300000);
        emit item.trayIcon()->activated(QSystemTrayIcon::Trigger);
        QTRY_VERIFY_WITH_TIMEOUT(!recording.isBusy(), 20000);
        QCOMPARE(item.trayIcon()->toolTip(), QStringLiteral("Pim"));
        QVERIFY(!item.stopRecordingItem()->isVisible());

        const QString path = HistoryStore::shared().entries().first().path;
        QVERIFY2(path.endsWith(u".mp4"), qPrintable(path));
        const QMimeData *clipboard = QGuiApplication::clipboard()->mimeData();
        QCOMPARE(clipboard->urls(), QList<QUrl>{QUrl::fromLocalFile(path)});
        PreviewPanel *preview = PreviewManager::shared().panel();
        QVERIFY(preview);
        QVERIFY(preview->previewView()->duration().startsWith(QStringLiteral("0:0")));
        QString played;
        PreviewManager::shared().openRecording = [&played](const QString &file) { played = file; };
        preview->onOpenEditor();
        QCOMPARE(played, path);
        PreviewManager::shared().openRecording = nullptr;
        PreviewManager::shared().dismissImmediately();
        const Result<VideoProbe::Summary> summary = VideoProbe::summarize(path);
        QVERIFY(summary);
        QCOMPARE(summary->firstFrame.size(), QGuiApplication::primaryScreen()->size());
        QVERIFY(std::abs(qRed(summary->firstFrame.pixel(20, 20)) - 128) < 12);
        QVERIFY(summary->durationMicroseconds >= 300000);
        // Stopping with nothing under way says so.
        QVERIFY(!recording.stop());
        coordinator.output().onSaved = nullptr;
    }

    // A shortcut another program holds: one notification, and the menus offer no key for it; a change to a
    // free combination brings the key back, a change to another taken one tells again.
    void aTakenShortcutIsSaidOnceAndLeftOutOfTheMenus()
    {
        struct NoScreen : ScreenCapturer {
            void capture(const Request &, Completion) override {}
        };
        using GlobalShortcuts::Name;
        auto fake = std::make_unique<FakeHotKeyService>();
        FakeHotKeyService *service = fake.get();
        const GlobalShortcuts::Shortcut taken = *Name::captureArea().defaultShortcut;
        service->takenElsewhere << taken;
        GlobalShortcuts::setHotKeyService(std::move(fake));
        CaptureCoordinator coordinator(std::make_unique<NoScreen>());
        StatusItemController item(&coordinator);
        GlobalShortcuts::onKeyDown(Name::captureArea(), [] {});
        GlobalShortcuts::onKeyDown(Name::captureFullScreen(), [] {});
        QVERIFY(GlobalShortcuts::isRefused(Name::captureArea()));
        QVERIFY(!GlobalShortcuts::isRefused(Name::captureFullScreen()));
        QTRY_COMPARE(item.lastNotification(),
                     QStringLiteral("Le raccourci Maj+Super+7 est déjà utilisé par une autre application. "
                                    "Choisis-en un autre dans les Préférences."));
        QAction *area = item.menu()->actions().at(0);
        QTRY_COMPARE(area->text(), QStringLiteral("Capturer une zone"));
        QVERIFY(area->shortcut().isEmpty());
        QCOMPARE(item.menu()->actions().at(1)->text(),
                 QStringLiteral("Capturer l'écran complet\tMaj+Super+8"));

        // A free combination: the key is back in the menu, nothing more is said.
        const QString told = item.lastNotification();
        const GlobalShortcuts::Shortcut free =
            GlobalShortcuts::Shortcut(GlobalShortcuts::Key{GlobalShortcuts::Key::five},
                                      GlobalShortcuts::Modifier::control | GlobalShortcuts::Modifier::option);
        GlobalShortcuts::setShortcut(free, Name::captureArea());
        QVERIFY(!GlobalShortcuts::isRefused(Name::captureArea()));
        QTRY_COMPARE(area->text(), QStringLiteral("Capturer une zone\tCtrl+Alt+5"));
        // Back to the taken one: said once already, not again; left out of the menu again.
        GlobalShortcuts::setShortcut(taken, Name::captureArea());
        QTRY_COMPARE(area->text(), QStringLiteral("Capturer une zone"));
        QCOMPARE(item.lastNotification(), told);
        // Another taken one is told.
        const GlobalShortcuts::Shortcut other =
            GlobalShortcuts::Shortcut(GlobalShortcuts::Key{GlobalShortcuts::Key::six},
                                      GlobalShortcuts::Modifier::control | GlobalShortcuts::Modifier::option);
        service->takenElsewhere << other;
        GlobalShortcuts::setShortcut(other, Name::captureArea());
        QTRY_VERIFY(item.lastNotification().contains(QStringLiteral("Ctrl+Alt+6")));
        QCOMPARE(StatusItemController::refusedMessage({"Maj+Super+7", "Maj+Super+8"}),
                 QStringLiteral("Les raccourcis Maj+Super+7 et Maj+Super+8 sont déjà utilisés par une autre "
                                "application. Choisis-en d'autres dans les Préférences."));
        GlobalShortcuts::setShortcut(taken, Name::captureArea()); // the default, for the next tests
    }

    void shortcutRowsFollowTheBindings()
    {
        // Another program holds Shift+Super+7: that row says the shortcut is not registered.
        auto fake = std::make_unique<FakeHotKeyService>();
        fake->takenElsewhere << *GlobalShortcuts::Name::captureArea().defaultShortcut;
        GlobalShortcuts::setHotKeyService(std::move(fake));
        GlobalShortcuts::onKeyDown(GlobalShortcuts::Name::captureArea(), [] {});
        GlobalShortcuts::onKeyDown(GlobalShortcuts::Name::captureFullScreen(), [] {});
        GlobalShortcuts::onKeyDown(GlobalShortcuts::Name::captureScrolling(), [] {});
        GlobalShortcuts::onKeyDown(GlobalShortcuts::Name::captureWindow(), [] {});
        WelcomeWindowController welcome;
        QCOMPARE(welcome.shortcutLabel(0)->text(), QStringLiteral("Maj+Super+7 (non enregistré)"));
        QCOMPARE(welcome.shortcutLabel(1)->text(), QStringLiteral("Maj+Super+8"));
        QCOMPARE(welcome.shortcutLabel(2)->text(), QStringLiteral("Maj+Super+0"));
        QCOMPARE(welcome.shortcutLabel(3)->text(), QStringLiteral("Maj+Super+9"));
        GlobalShortcuts::setShortcut(GlobalShortcuts::Name::captureFullScreen().defaultShortcut,
                                     GlobalShortcuts::Name::captureArea());
        QTRY_COMPARE(welcome.shortcutLabel(0)->text(), QStringLiteral("Maj+Super+8"));
        GlobalShortcuts::setShortcut(std::nullopt, GlobalShortcuts::Name::captureArea());
        QTRY_COMPARE(welcome.shortcutLabel(0)->text(), QStringLiteral("non assigné"));
    }

    // On a desktop that owns the shortcuts: its keys, or how to bind the commands when it gives none.
    void shortcutRowsOnADesktopThatOwnsThem()
    {
        GlobalShortcuts::setHotKeyService(nullptr);
        auto owned = std::make_unique<FakeDesktopShortcutService>();
        FakeDesktopShortcutService *desktop = owned.get();
        GlobalShortcuts::setDesktopService(std::move(owned));
        WelcomeWindowController welcome;
        welcome.show();
        QCOMPARE(welcome.shortcutLabel(0)->text(), QStringLiteral("non attribué"));
        QVERIFY(!welcome.desktopGuidance()->isVisible());
        desktop->become(GlobalShortcuts::DesktopShortcutService::State::Bound,
                        {{QStringLiteral("captureArea"), QStringLiteral("Logo+Shift+7")}});
        QCOMPARE(welcome.shortcutLabel(0)->text(),
                 QStringLiteral("Maj+Super+7")); // the desktop's keys, in our words
        QCOMPARE(welcome.shortcutLabel(1)->text(), QStringLiteral("non attribué"));
        const int height = welcome.height();
        desktop->become(GlobalShortcuts::DesktopShortcutService::State::Unavailable, {},
                        QStringLiteral("Le bureau ne propose pas de raccourcis globaux aux applications."));
        QVERIFY(welcome.desktopGuidance()->isVisible());
        // The window grows with the text rather than squeezing its rows.
        QVERIFY2(welcome.height() >= height + 3 * welcome.desktopGuidance()->fontMetrics().height(),
                 qPrintable(QStringLiteral("%1 -> %2").arg(height).arg(welcome.height())));
        QVERIFY(GlobalShortcuts::desktopGuidance().contains(QStringLiteral("« pim area »")));
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestShellWindows test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_shellwindows.moc"
