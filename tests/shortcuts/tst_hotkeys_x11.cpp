// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11HotKeyService.h"
#include "platform/x11/XkbKeyboardLayout.h"
#include "settings/AppSettings.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/MenuTracker.h"
#include "shortcuts/ShortcutRecorder.h"
#include "support/TestSession.h"

#include <QApplication>
#include <QMenu>
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <unistd.h>

using namespace GlobalShortcuts;

// Real key grabs on a private X server, driven by xdotool while another X client has the focus.
class TestHotKeysX11 : public QObject {
    Q_OBJECT

    const Shortcut shiftSuper7 = Shortcut(Key{Key::seven}, Modifier::shift | Modifier::command);
    const Shortcut controlAltK = Shortcut(Key{Key::k}, Modifier::control | Modifier::option);
    QProcess other;
    int areaPresses = 0;
    std::optional<Name> area;
    std::unique_ptr<MenuTracker> menuTracker;

    static void xdotool(const QStringList &arguments)
    {
        QProcess process;
        process.start("xdotool", arguments);
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(process.exitCode(), 0);
    }

    // Presses a combination and gives the press time to arrive.
    void press(const QString &keys)
    {
        xdotool({"key", keys});
        QTest::qWait(150);
    }

    // A window holding the recorder, active, the recorder clicked into recording.
    static void startRecording(QWidget &window, Recorder *recorder)
    {
        (new QVBoxLayout(&window))->addWidget(recorder);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.activateWindow();
        QTRY_VERIFY(window.isActiveWindow());
        QTest::qWait(50);
        QTest::mouseClick(recorder, Qt::LeftButton);
        QTRY_VERIFY(recorder->isRecording());
    }

    // Another X client's grab of a combination on the root window; it lasts as long as the connection.
    static xcb_connection_t *rivalGrab(const Shortcut &shortcut)
    {
        xcb_connection_t *rival = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(rival))
            return rival;
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(rival)).data->root;
        if (xcb_generic_error_t *error = xcb_request_check(
                rival, xcb_grab_key_checked(
                           rival, 1, root, X11HotKeyService::xModifiers(shortcut.keyModifiers),
                           xcb_keycode_t(shortcut.keyCode), XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)))
            std::free(error);
        xcb_flush(rival);
        return rival;
    }

    // Runs code with standard output going to a file, and returns what it printed.
    // What the code writes to standard error (failures go there, not to standard output).
    template <typename F> static QByteArray capturedErrors(F &&code)
    {
        QTemporaryFile file;
        if (!file.open())
            return {};
        std::fflush(stderr);
        const int saved = dup(STDERR_FILENO);
        dup2(file.handle(), STDERR_FILENO);
        code();
        std::fflush(stderr);
        dup2(saved, STDERR_FILENO);
        close(saved);
        file.seek(0);
        return file.readAll();
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QString("xcb"));
        AppSettings::shared().defaults().clear();
        setHotKeyService(std::make_unique<X11HotKeyService>());
        KeyboardLayout::setLayoutSource(XkbKeyboardLayout::fromServer());
        menuTracker = std::make_unique<MenuTracker>();
        area.emplace("captureArea", shiftSuper7);
        onKeyDown(*area, [this] { ++areaPresses; });

        // Another program in front, holding the keyboard focus.
        other.start("xmessage", {"-geometry", "300x100+500+500", "Un autre programme"});
        QVERIFY(other.waitForStarted());
        xdotool({"search", "--sync", "--name", "xmessage", "windowfocus", "--sync"});
    }

    void cleanupTestCase()
    {
        other.kill();
        other.waitForFinished();
        menuTracker.reset();
        resetTestSession();
    }

    void firesOncePerPressWhateverTheLocks()
    {
        QCOMPARE(Name::captureArea().shortcut()->description(), QString("Maj+Super+7"));
        press("shift+super+7");
        QTRY_COMPARE(areaPresses, 1);
        QTest::qWait(200);
        QCOMPARE(areaPresses, 1);

        xdotool({"key", "Caps_Lock"});
        press("shift+super+7");
        QTRY_COMPARE(areaPresses, 2);
        xdotool({"key", "Caps_Lock"});
        xdotool({"key", "Num_Lock"});
        press("shift+super+7");
        QTRY_COMPARE(areaPresses, 3);
        xdotool({"key", "Caps_Lock"});
        press("shift+super+7");
        QTRY_COMPARE(areaPresses, 4);
        xdotool({"key", "Caps_Lock"});
        xdotool({"key", "Num_Lock"});
        // Other combinations are not ours.
        press("super+7");
        press("shift+super+8");
        QCOMPARE(areaPresses, 4);
    }

    void pausedBlocksDispatch()
    {
        const int before = areaPresses;
        setPaused(true);
        press("shift+super+7");
        setPaused(false);
        QCOMPARE(areaPresses, before);
        press("shift+super+7");
        QTRY_COMPARE(areaPresses, before + 1);
    }

    void firesWhileAMenuIsOpen()
    {
        QMenu menu;
        menu.addAction("Capturer une zone");
        menu.addAction("Quitter Pim");
        menu.popup(QPoint(50, 50));
        QTRY_VERIFY(isMenuOpen());
        QTest::qWait(200); // the menu takes the keyboard
        const int before = areaPresses;
        press("shift+super+7");
        QTRY_COMPARE(areaPresses, before + 1);
        menu.close();
        QTRY_VERIFY(!isMenuOpen());
        xdotool({"search", "--name", "xmessage", "windowfocus", "--sync"});
        press("shift+super+7");
        QTRY_COMPARE(areaPresses, before + 2);
    }

    // A menu destroyed while open never reports its hiding: menu-open mode ends all the same, and the
    // global grabs fire again.
    void aMenuDestroyedWhileOpenEndsMenuMode()
    {
        auto *menu = new QMenu;
        menu->addAction("Capturer une zone");
        menu->popup(QPoint(60, 60));
        QTRY_VERIFY(isMenuOpen());
        delete menu;
        QVERIFY(!isMenuOpen());
        xdotool({"search", "--name", "xmessage", "windowfocus", "--sync"});
        const int before = areaPresses;
        press("shift+super+7");
        QTRY_COMPARE(areaPresses, before + 1);
    }

    void takenCombinationIsReported()
    {
        // A second X client grabs Ctrl+Alt+K first.
        xcb_connection_t *rival = rivalGrab(controlAltK);
        QVERIFY(!xcb_connection_has_error(rival));
        QVERIFY(hotKeyService()->isTakenElsewhere(controlAltK));
        QVERIFY(!hotKeyService()->isTakenElsewhere(shiftSuper7)); // ours, not elsewhere

        const Name custom("custom");
        int customPresses = 0;
        onKeyDown(custom, [&] { ++customPresses; });
        const QByteArray printed = capturedErrors([&] { setShortcut(controlAltK, custom); });
        QCOMPARE(printed, QByteArray("Error registering hotkey Ctrl+Alt+K: 10\n"));
        QVERIFY(!isInHotKeyTable(controlAltK));
        xcb_disconnect(rival);
        press("ctrl+alt+k");
        QCOMPARE(customPresses, 0);
        setShortcut(std::nullopt, custom);
    }

    void aRivalsCombinationReachesTheRecorder()
    {
        // Another program holds Ctrl+Alt+L. While recording the keyboard is ours, so the press comes to the
        // recorder (not to that program) and the trial grab tells the user it is taken.
        const Shortcut controlAltL(Key{Key::l}, Modifier::control | Modifier::option);
        xcb_connection_t *rival = rivalGrab(controlAltL);
        QVERIFY(hotKeyService()->isTakenElsewhere(controlAltL));
        QWidget window;
        auto *recorder = new Recorder(*area);
        int alerts = 0;
        recorder->askSystemConflict = [&] {
            ++alerts;
            return false;
        };
        startRecording(window, recorder);
        press("ctrl+alt+l");
        QTRY_COMPARE(alerts, 1);
        QCOMPARE(getShortcut(*area), shiftSuper7); // refused: the binding stays
        // The keyboard is let go when recording ends.
        QTest::keyClick(recorder, Qt::Key_Escape);
        QTRY_VERIFY(!recorder->isRecording());
        QCOMPARE(QWidget::keyboardGrabber(), nullptr);
        xcb_disconnect(rival);
    }

    void clearedNameNoLongerFires()
    {
        const int before = areaPresses;
        setShortcut(std::nullopt, *area);
        press("shift+super+7");
        QCOMPARE(areaPresses, before);
        setShortcut(shiftSuper7, *area);
        press("shift+super+7");
        QTRY_COMPARE(areaPresses, before + 1);
    }

    void recordingMovesTheGrab()
    {
        QWidget window;
        auto *recorder = new Recorder(*area);
        startRecording(window, recorder);
        // While recording, the old shortcut is typed into the recorder and captures nothing.
        const int before = areaPresses;
        press("ctrl+alt+j");
        QTRY_VERIFY(!recorder->isRecording());
        QCOMPARE(recorder->text(), QString("Ctrl+Alt+J"));
        QCOMPARE(areaPresses, before);

        xdotool({"search", "--name", "xmessage", "windowfocus", "--sync"});
        press("shift+super+7");
        QCOMPARE(areaPresses, before);
        press("ctrl+alt+j");
        QTRY_COMPARE(areaPresses, before + 1);
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestHotKeysX11 test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_hotkeys_x11.moc"
