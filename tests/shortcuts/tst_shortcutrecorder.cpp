// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainMenu.h"
#include "settings/AppSettings.h"
#include "shortcuts/ShortcutRecorder.h"
#include "support/FakeHotKeyService.h"
#include "support/TestSession.h"

#include <QAction>
#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using namespace GlobalShortcuts;

class TestShortcutRecorder : public QObject {
    Q_OBJECT

    FakeHotKeyService *service = nullptr;
    std::unique_ptr<QWidget> window;
    Recorder *recorder = nullptr;
    QList<std::optional<Shortcut>> changes;
    QStringList menuAlerts;
    int systemAlerts = 0;
    bool forceSystem = false;
    const Shortcut shiftCommand7 = Shortcut(Key{Key::seven}, Modifier::shift | Modifier::command);

    std::optional<Name> area;

    void startRecording()
    {
        QTest::qWait(5); // a person's click never comes in the same instant the window opens
        QTest::mouseClick(recorder, Qt::LeftButton);
        QTRY_VERIFY(recorder->isRecording());
    }

private slots:
    void init()
    {
        AppSettings::shared().defaults().clear();
        auto fake = std::make_unique<FakeHotKeyService>();
        service = fake.get();
        setHotKeyService(std::move(fake));
        area.emplace("captureArea", shiftCommand7);
        changes.clear();
        menuAlerts.clear();
        systemAlerts = 0;

        window = std::make_unique<QWidget>();
        auto *layout = new QVBoxLayout(window.get());
        recorder = new Recorder(*area, [this](std::optional<Shortcut> s) { changes.append(s); });
        // As the app wires it: the conflict check looks at the application's menus.
        recorder->menuItemFor = [](const QKeySequence &keys) {
            const QAction *action = MainMenu::shared().actionWithShortcut(keys);
            return action ? action->text() : QString();
        };
        recorder->showMenuConflict = [this](const QString &message) { menuAlerts << message; };
        recorder->askSystemConflict = [this] {
            ++systemAlerts;
            return forceSystem;
        };
        layout->addWidget(recorder);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    void cleanup()
    {
        window.reset();
        resetTestSession();
    }

    void showsTheBindingAndIsNotFocusedOnOpening()
    {
        QCOMPARE(recorder->text(), QString("Maj+Super+7"));
        QCOMPARE(recorder->sizeHint().width(), 130);
        QTest::qWait(50);
        QVERIFY(!recorder->hasFocus());
        QVERIFY(!recorder->isRecording());
        QCOMPARE(recorder->placeholderText(), QString("Enregistrer le raccourci"));
    }

    void recordingPausesTheHotKeys()
    {
        QSignalSpy active(&Notifier::shared(), &Notifier::recorderActiveStatusDidChange);
        int captures = 0;
        onKeyDown(*area, [&] { ++captures; });
        startRecording();
        QVERIFY(isPaused());
        QCOMPARE(recorder->placeholderText(), QString("Tapez le raccourci"));
        QCOMPARE(active.size(), 1);
        QCOMPARE(active.first().first().toBool(), true);
        service->press(shiftCommand7);
        QCOMPARE(captures, 0);
        QTest::keyClick(recorder, Qt::Key_Escape);
        QVERIFY(!recorder->isRecording());
        QVERIFY(!isPaused());
        QCOMPARE(active.last().first().toBool(), false);
        QCOMPARE(getShortcut(*area), shiftCommand7); // Escape keeps the old binding
        service->press(shiftCommand7);
        QCOMPARE(captures, 1);
    }

    void modifierRule()
    {
        startRecording();
        QTest::keyClick(recorder, Qt::Key_A);
        QTest::keyClick(recorder, Qt::Key_A, Qt::ShiftModifier);
        QTest::keyClick(recorder, Qt::Key_Shift, Qt::ShiftModifier); // a modifier alone: waits for the key
        QVERIFY(recorder->isRecording());
        QCOMPARE(getShortcut(*area), shiftCommand7);
        QVERIFY(changes.isEmpty());
        // A function key needs no modifier.
        QTest::keyClick(recorder, Qt::Key_F5);
        QVERIFY(!recorder->isRecording());
        const Shortcut f5(Key{Key::f5}, 0);
        QCOMPARE(getShortcut(*area), f5);
        QCOMPARE(changes, QList<std::optional<Shortcut>>{f5});
        QCOMPARE(recorder->text(), QString("F5"));
        // The grab moved to the new combination.
        QVERIFY(service->grabbed.contains(f5));
        QVERIFY(!service->grabbed.contains(shiftCommand7));
    }

    void acceptingACombination()
    {
        startRecording();
        QTest::keyClick(recorder, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        const Shortcut expected(Key{Key::k}, Modifier::control | Modifier::option);
        QCOMPARE(getShortcut(*area), expected);
        QCOMPARE(recorder->text(), QString("Ctrl+Alt+K"));
        QVERIFY(!recorder->hasFocus());
    }

    void deleteAndTheClearButtonClear()
    {
        startRecording();
        QTest::keyClick(recorder, Qt::Key_Backspace);
        QCOMPARE(getShortcut(*area), std::nullopt);
        QCOMPARE(AppSettings::shared().defaults().value("GlobalShortcuts_captureArea").toString(),
                 QString("false"));
        QCOMPARE(changes, QList<std::optional<Shortcut>>{std::nullopt});
        QVERIFY(recorder->isRecording()); // ready for a new combination
        QTest::keyClick(recorder, Qt::Key_Escape);

        setShortcut(shiftCommand7, *area);
        QTRY_COMPARE(recorder->text(), QString("Maj+Super+7"));
        QAction *clear = recorder->findChild<QAction *>("clearShortcut");
        QVERIFY(clear && clear->isVisible());
        clear->trigger();
        QCOMPARE(getShortcut(*area), std::nullopt);
        QCOMPARE(recorder->text(), QString());
        QVERIFY(!clear->isVisible());
        QTRY_VERIFY(recorder->isRecording());
    }

    void keyboardHeldWhileRecordingAndTabRules()
    {
        startRecording();
        // The keyboard is taken, so a combination another program grabbed still comes to the recorder.
        QCOMPARE(QWidget::keyboardGrabber(), recorder);
        // Shift+Tab is no valid combination: it is refused and recording goes on.
        QTest::keyClick(recorder, Qt::Key_Backtab, Qt::ShiftModifier);
        QVERIFY(recorder->isRecording());
        QVERIFY(recorder->hasFocus());
        QCOMPARE(getShortcut(*area), shiftCommand7);
        QTest::keyClick(recorder, Qt::Key_Escape);
        QCOMPARE(QWidget::keyboardGrabber(), nullptr);
        // Whatever ends the recording lets the keyboard go: here an accepted combination.
        startRecording();
        QTest::keyClick(recorder, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(!recorder->isRecording());
        QCOMPARE(QWidget::keyboardGrabber(), nullptr);
        // And the recorder going away while recording.
        startRecording();
        delete recorder;
        recorder = nullptr;
        QCOMPARE(QWidget::keyboardGrabber(), nullptr);
        QVERIFY(!isPaused());
    }

    void anEmptyRecorderHasNoClearButton()
    {
        const Name unbound("unbound");
        Recorder empty(unbound);
        QCOMPARE(empty.text(), QString());
        QAction *clear = empty.findChild<QAction *>("clearShortcut");
        QVERIFY(clear);
        QVERIFY(!clear->isVisible());
    }

    void menuConflictKeepsTheOldBinding()
    {
        startRecording();
        QTest::keyClick(recorder, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(menuAlerts.size(), 1);
        QVERIFY2(menuAlerts.first().contains("« Enregistrer »"), qPrintable(menuAlerts.first()));
        QCOMPARE(getShortcut(*area), shiftCommand7);
        QVERIFY(recorder->isRecording()); // focus given back after the alert
        QTest::keyClick(recorder, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(menuAlerts.size(), 2);
        QVERIFY(menuAlerts.last().contains("Rétablir"));
    }

    void systemConflict()
    {
        const Shortcut taken(Key{Key::l}, Modifier::control | Modifier::option);
        service->takenElsewhere.append(taken);
        startRecording();
        forceSystem = false;
        QTest::keyClick(recorder, Qt::Key_L, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(systemAlerts, 1);
        QCOMPARE(getShortcut(*area), shiftCommand7);
        QVERIFY(recorder->isRecording());
        forceSystem = true;
        QTest::keyClick(recorder, Qt::Key_L, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(systemAlerts, 2);
        QCOMPARE(getShortcut(*area), taken);
        // Pim's own shortcuts are not a conflict.
        const Name full("captureFullScreen", Shortcut(Key{Key::eight}, Modifier::shift | Modifier::command));
        onKeyDown(full, [] {});
        startRecording();
        QTest::keyClick(recorder, Qt::Key_8, Qt::ShiftModifier | Qt::MetaModifier);
        QCOMPARE(systemAlerts, 2);
    }

    void recordersOfOneNameStayInStep()
    {
        Recorder other(*area);
        startRecording();
        QTest::keyClick(recorder, Qt::Key_J, Qt::MetaModifier);
        QCOMPARE(other.text(), QString("Super+J"));
        setShortcut(std::nullopt, *area);
        QCOMPARE(other.text(), QString());
        QCOMPARE(recorder->text(), QString());
    }

    void clickOutsideEndsRecording()
    {
        auto *outside = new QWidget(window.get());
        window->layout()->addWidget(outside);
        outside->setMinimumSize(100, 100);
        QTest::qWait(20);
        startRecording();
        QTest::mouseClick(outside, Qt::LeftButton, {}, QPoint(50, 50));
        QVERIFY(!recorder->isRecording());
        QVERIFY(!isPaused());
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestShortcutRecorder test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_shortcutrecorder.moc"
