// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/LoginItem.h"
#include "preferences/PreferencesWindowController.h"
#include "settings/AppSettings.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/ShortcutRecorder.h"
#include "support/FakeDesktopShortcutService.h"
#include "support/FakeHotKeyService.h"
#include "support/TestSession.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

class TestPreferencesWindow : public QObject {
    Q_OBJECT

    AppSettings &settings = AppSettings::shared();

    static void chooseFormat(PreferencesWindowController &window, const QString &title)
    {
        QComboBox *popup = window.formatPopup();
        const int item = popup->findText(title);
        QVERIFY(item >= 0);
        popup->setCurrentIndex(item);
        emit popup->activated(item);
    }
    // As a person drags the slider and lets go.
    static void dragSlider(QSlider *slider, int value)
    {
        slider->setSliderDown(true);
        slider->setSliderPosition(value);
        slider->setSliderDown(false);
    }
    static QString stored(const QString &key)
    {
        return AppSettings::shared().defaults().value(key).toString();
    }

private slots:
    void init()
    {
        settings.defaults().clear();
        QFile::remove(LoginItem::filePath());
    }
    // A failed test leaves nothing behind for the next one.
    void cleanup() { resetTestSession(); }

    void freshSettings()
    {
        PreferencesWindowController window;
        window.showWindow();
        QCOMPARE(window.windowTitle(), QString("Préférences de Pim"));
        QCOMPARE(window.folderLabel()->toolTip(),
                 QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
        QCOMPARE(window.formatPopup()->currentText(), QString("PNG"));
        QStringList titles;
        for (int i = 0; i < window.formatPopup()->count(); ++i)
            titles << window.formatPopup()->itemText(i);
        QCOMPARE(titles, QStringList({"PNG", "JPEG", "WebP"}));
        QCOMPARE(window.qualitySlider()->value(), 850);
        QVERIFY(!window.qualitySlider()->isEnabled());
        QCOMPARE(window.qualityValueLabel()->text(), QString("sans perte"));
        QCOMPARE(window.patternField()->text(), QString("Capture {date} à {time}"));
        QCOMPARE(window.ocrField()->text(), QString("fr-FR, en-US"));
        QVERIFY(!window.loginCheckbox()->isChecked());
        // Not resizable: the size its content needs.
        QCOMPARE(window.minimumSize(), window.maximumSize());
        // Nothing was written by opening.
        QVERIFY(!settings.defaults().contains(AppSettings::imageFormatKey));
    }

    void formatAndQuality()
    {
        PreferencesWindowController window;
        window.showWindow();
        chooseFormat(window, "JPEG");
        QCOMPARE(stored(AppSettings::imageFormatKey), QString("jpeg"));
        QVERIFY(window.qualitySlider()->isEnabled());
        QCOMPARE(window.qualityValueLabel()->text(), QString("85 %"));
        dragSlider(window.qualitySlider(), 734);
        QCOMPARE(settings.defaults().value(AppSettings::imageQualityKey).toDouble(), 0.734);
        QCOMPARE(window.qualityValueLabel()->text(), QString("73 %"));
        dragSlider(window.qualitySlider(), 500);
        QCOMPARE(window.qualityValueLabel()->text(), QString("50 %"));
        chooseFormat(window, "PNG");
        QVERIFY(!window.qualitySlider()->isEnabled());
        QCOMPARE(window.qualityValueLabel()->text(), QString("sans perte"));
        // The stored quality stays for the next lossy format.
        chooseFormat(window, "WebP");
        QCOMPARE(window.qualityValueLabel()->text(), QString("50 %"));
        QCOMPARE(PreferencesWindowController::qualityText(ImageFormat::jpeg, 0.995), QString("100 %"));
    }

    void storedValuesThatNeedTheFallback()
    {
        // A format that is no format shows as PNG without being rewritten; an odd quality is clamped.
        settings.defaults().setValue(AppSettings::imageFormatKey, "gif");
        settings.defaults().setValue(AppSettings::imageQualityKey, 7);
        PreferencesWindowController window;
        window.showWindow();
        QCOMPARE(window.formatPopup()->currentText(), QString("PNG"));
        QCOMPARE(window.qualityValueLabel()->text(), QString("sans perte"));
        QCOMPARE(window.qualitySlider()->value(), 1000);
        QCOMPARE(stored(AppSettings::imageFormatKey), QString("gif"));
        // Each opening reads the settings again.
        settings.setImageFormat(ImageFormat::jpeg);
        settings.setImageQuality(0.6);
        settings.setFilenamePattern("Ailleurs {time}");
        window.close();
        window.showWindow();
        QCOMPARE(window.formatPopup()->currentText(), QString("JPEG"));
        QCOMPARE(window.qualityValueLabel()->text(), QString("60 %"));
        QCOMPARE(window.patternField()->text(), QString("Ailleurs {time}"));
    }

    void textFields()
    {
        PreferencesWindowController window;
        window.showWindow();
        window.patternField()->setText("");
        emit window.patternField()->editingFinished();
        QCOMPARE(stored(AppSettings::filenamePatternKey), QString("Capture {date} à {time}"));
        QCOMPARE(window.patternField()->text(), QString("Capture {date} à {time}"));
        window.patternField()->setText(" \tShot {HH}h{mm} ");
        emit window.patternField()->editingFinished();
        QCOMPARE(window.patternField()->text(), QString("Shot {HH}h{mm}"));

        window.ocrField()->setText("en-US,, de-DE ,");
        emit window.ocrField()->editingFinished();
        QCOMPARE(settings.defaults().value(AppSettings::ocrLanguagesKey).toStringList(),
                 QStringList({"en-US", "de-DE"}));
        QCOMPARE(window.ocrField()->text(), QString("en-US, de-DE"));
        // What the user typed is what recognition uses, tag or not.
        window.ocrField()->setText("français");
        emit window.ocrField()->editingFinished();
        window.close();
        window.showWindow();
        QCOMPARE(window.ocrField()->text(), QString("français"));
        QCOMPARE(settings.ocrLanguages(), QStringList({"français"}));
    }

    void folderChoice()
    {
        QTemporaryDir chosen;
        PreferencesWindowController window;
        QString startedIn;
        QString answer;
        window.chooseFolderDialog = [&](const QString &start) {
            startedIn = start;
            return answer;
        };
        window.showWindow();
        const QString before = window.folderLabel()->toolTip();
        window.chooseFolder(); // cancelled
        QCOMPARE(startedIn, before);
        QVERIFY(!settings.defaults().contains(AppSettings::destinationDirectoryKey));
        QCOMPARE(window.folderLabel()->toolTip(), before);
        answer = chosen.path();
        window.chooseFolder();
        QCOMPARE(stored(AppSettings::destinationDirectoryKey), chosen.path());
        QCOMPARE(window.folderLabel()->toolTip(), chosen.path());
        // A very long path is shortened in the middle.
        const QString deep = chosen.path() + "/" + QString("dossier-au-nom-bien-long/").repeated(8);
        QVERIFY(QDir().mkpath(deep));
        answer = deep;
        window.chooseFolder();
        QVERIFY(window.folderLabel()->text().contains(QChar(0x2026)));
        QVERIFY(window.folderLabel()->text().startsWith("/"));
    }

    void launchingAtLogin()
    {
        PreferencesWindowController window;
        window.programPath = "/opt/Mes \"outils\"/pim";
        QStringList alerts;
        window.showAlert = [&](const QString &message, const QString &informative) {
            alerts << message << informative;
        };
        window.showWindow();
        QTest::mouseClick(window.loginCheckbox(), Qt::LeftButton);
        QVERIFY(window.loginCheckbox()->isChecked());
        QVERIFY(LoginItem::isEnabled());
        QFile file(LoginItem::filePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        file.close();
        QVERIFY(text.startsWith("[Desktop Entry]\n"));
        // Quoted for the Exec key, then escaped as every string value of the file is.
        QVERIFY2(text.contains("\nExec=\"/opt/Mes \\\\\"outils\\\\\"/pim\"\n"), text.constData());
        QTest::mouseClick(window.loginCheckbox(), Qt::LeftButton);
        QVERIFY(!window.loginCheckbox()->isChecked());
        QVERIFY(!QFile::exists(LoginItem::filePath()));
        QVERIFY(alerts.isEmpty());

        // A file the user hid counts as off.
        QDir().mkpath(QFileInfo(LoginItem::filePath()).path());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Desktop Entry]\nType=Application\nExec=pim\nHidden=true\n");
        file.close();
        QVERIFY(!LoginItem::isEnabled());
        window.showWindow();
        QVERIFY(!window.loginCheckbox()->isChecked());
        QFile::remove(LoginItem::filePath());

        // The autostart folder cannot be made: the alert, and the box shows the real state.
        const QString folder = QFileInfo(LoginItem::filePath()).path();
        QVERIFY(QDir(folder).removeRecursively());
        QFile blocker(folder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        QTest::mouseClick(window.loginCheckbox(), Qt::LeftButton);
        QVERIFY(!window.loginCheckbox()->isChecked());
        QCOMPARE(alerts.value(0), QString("Impossible de modifier le lancement au démarrage"));
        QVERIFY(!alerts.value(1).isEmpty());
        QFile::remove(folder);
    }

    void shortcutRowsSayWhenNotRegistered()
    {
        auto fake = std::make_unique<FakeHotKeyService>();
        const GlobalShortcuts::Shortcut shiftCommand7(GlobalShortcuts::Key{GlobalShortcuts::Key::seven},
                                                      GlobalShortcuts::Modifier::shift |
                                                          GlobalShortcuts::Modifier::command);
        fake->takenElsewhere << shiftCommand7;
        GlobalShortcuts::setHotKeyService(std::move(fake));
        // The bindings as stored (the settings were cleared for this test).
        for (const GlobalShortcuts::Name *name :
             {&GlobalShortcuts::Name::captureArea(), &GlobalShortcuts::Name::captureFullScreen()})
            GlobalShortcuts::setShortcut(name->defaultShortcut, *name);
        GlobalShortcuts::onKeyDown(GlobalShortcuts::Name::captureArea(), [] {});
        GlobalShortcuts::onKeyDown(GlobalShortcuts::Name::captureFullScreen(), [] {});
        PreferencesWindowController window;
        window.showWindow();
        QVERIFY(window.shortcutStatus(0)->isVisible());
        QVERIFY(!window.shortcutStatus(1)->isVisible());
        // Rebound to a free combination, the note goes.
        GlobalShortcuts::setShortcut(GlobalShortcuts::Shortcut(GlobalShortcuts::Key{GlobalShortcuts::Key::f5},
                                                               GlobalShortcuts::Modifier::control),
                                     GlobalShortcuts::Name::captureArea());
        QVERIFY(!window.shortcutStatus(0)->isVisible());
        // Back on the taken combination, the note shows again; cleared on purpose, there is nothing to
        // register and the note goes.
        GlobalShortcuts::setShortcut(shiftCommand7, GlobalShortcuts::Name::captureArea());
        QVERIFY(window.shortcutStatus(0)->isVisible());
        GlobalShortcuts::setShortcut(std::nullopt, GlobalShortcuts::Name::captureArea());
        QVERIFY(!GlobalShortcuts::getShortcut(GlobalShortcuts::Name::captureArea()));
        QVERIFY(!window.shortcutStatus(0)->isVisible());
        QVERIFY(!window.shortcutStatus(1)->isVisible());
    }

    // "Afficher la loupe": on unless turned off, and stored as it is clicked.
    void loupeCheckbox()
    {
        PreferencesWindowController window;
        window.showWindow();
        QVERIFY(window.loupeCheckbox()->isChecked());
        QVERIFY(AppSettings::shared().showLoupe());
        QTest::mouseClick(window.loupeCheckbox(), Qt::LeftButton);
        QVERIFY(!AppSettings::shared().showLoupe());
        QCOMPARE(AppSettings::shared().defaults().value(AppSettings::showLoupeKey).toString(),
                 QStringLiteral("false"));
        QTest::mouseClick(window.loupeCheckbox(), Qt::LeftButton);
        QVERIFY(AppSettings::shared().showLoupe());
    }

    // The recordings' rows: what is stored is shown (a stored value out of range as the default), and a
    // choice is stored at once.
    void recordingRows()
    {
        settings.defaults().setValue(AppSettings::videoFormatKey, QStringLiteral("avi"));
        settings.defaults().setValue(AppSettings::framesPerSecondKey, 60);
        PreferencesWindowController window;
        window.showWindow();
        QCOMPARE(window.videoFormatPopup()->currentText(), QStringLiteral("MP4"));
        QCOMPARE(window.frameRatePopup()->currentText(), QStringLiteral("60"));
        QVERIFY(window.pointerCheckbox()->isChecked());
        QComboBox *formats = window.videoFormatPopup();
        formats->setCurrentIndex(formats->findText(QStringLiteral("GIF")));
        emit formats->activated(formats->currentIndex());
        QCOMPARE(settings.videoFormat(), VideoFormat::gif);
        QComboBox *rates = window.frameRatePopup();
        rates->setCurrentIndex(rates->findText(QStringLiteral("15")));
        emit rates->activated(rates->currentIndex());
        QCOMPARE(settings.framesPerSecond(), 15);
        QTest::mouseClick(window.pointerCheckbox(), Qt::LeftButton);
        QVERIFY(!settings.showPointer());
        // Reopened, it shows what is stored.
        PreferencesWindowController again;
        again.showWindow();
        QCOMPARE(again.videoFormatPopup()->currentText(), QStringLiteral("GIF"));
        QCOMPARE(again.frameRatePopup()->currentText(), QStringLiteral("15"));
        QVERIFY(!again.pointerCheckbox()->isChecked());
    }

    // Where the desktop owns the shortcuts: the fields show its keys and record nothing; when it gives none,
    // the window says how to bind the commands in the desktop's settings.
    void desktopOwnedShortcuts()
    {
        auto owned = std::make_unique<FakeDesktopShortcutService>();
        FakeDesktopShortcutService *desktop = owned.get();
        GlobalShortcuts::setDesktopService(std::move(owned));
        PreferencesWindowController window;
        window.showWindow();
        const QList<GlobalShortcuts::Recorder *> recorders =
            window.findChildren<GlobalShortcuts::Recorder *>();
        QCOMPARE(recorders.size(), 5);
        QVERIFY(!window.desktopGuidance()->isVisible());

        desktop->become(GlobalShortcuts::DesktopShortcutService::State::Bound,
                        {{QStringLiteral("captureArea"), QStringLiteral("Ctrl+Print")},
                         {QStringLiteral("captureFullScreen"), QStringLiteral("Shift+Print")}});
        QCOMPARE(recorders[0]->text(), QStringLiteral("Ctrl+Print"));
        QCOMPARE(recorders[1]->text(), QStringLiteral("Maj+Print"));
        QVERIFY(!window.shortcutStatus(0)->isVisible());
        QVERIFY(!window.desktopGuidance()->isVisible());
        // A click does not start recording: the keys are the desktop's.
        QCOMPARE(recorders[0]->focusPolicy(), Qt::NoFocus);
        QTest::mouseClick(recorders[0], Qt::LeftButton);
        QVERIFY(!GlobalShortcuts::isPaused());
        QCOMPARE(recorders[0]->text(), QStringLiteral("Ctrl+Print"));

        desktop->become(GlobalShortcuts::DesktopShortcutService::State::Unavailable, {},
                        QStringLiteral("Le bureau a fermé la session des raccourcis globaux."));
        QVERIFY(recorders[0]->text().isEmpty());
        QVERIFY(window.desktopGuidance()->isVisible());
        QVERIFY(GlobalShortcuts::desktopGuidance().contains(QStringLiteral("« pim area »")));
        QVERIFY(GlobalShortcuts::desktopGuidance().contains(QStringLiteral("« pim full »")));
        // Shown as rich text in which no command is split across lines.
        QCOMPARE(window.desktopGuidance()->text(),
                 GlobalShortcuts::desktopGuidance(GlobalShortcuts::GuidanceFormat::richText));
        QVERIFY(window.desktopGuidance()->text().contains(
            QStringLiteral("<span style=\"white-space:nowrap\">« pim area »</span>")));
        QCOMPARE(window.desktopGuidance()->toolTip(), desktop->reason);
        // Bound again, one shortcut without keys: its row says it is not registered.
        desktop->become(GlobalShortcuts::DesktopShortcutService::State::Bound,
                        {{QStringLiteral("captureArea"), QStringLiteral("Ctrl+Print")}});
        QVERIFY(!window.desktopGuidance()->isVisible());
        QVERIFY(!window.shortcutStatus(0)->isVisible());
        QVERIFY(window.shortcutStatus(1)->isVisible());
    }
};

QTEST_MAIN(TestPreferencesWindow)
#include "tst_preferenceswindow.moc"
