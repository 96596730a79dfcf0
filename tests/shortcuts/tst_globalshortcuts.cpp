// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/XkbKeyboardLayout.h"
#include "settings/AppSettings.h"
#include "shortcuts/GlobalShortcuts.h"
#include "shortcuts/MenuBinding.h"
#include "support/FakeDesktopShortcutService.h"

#include "support/FakeHotKeyService.h"
#include "support/TestSession.h"

#include <QAction>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QSignalSpy>
#include <QTest>

using namespace GlobalShortcuts;

class TestGlobalShortcuts : public QObject {
    Q_OBJECT

    FakeHotKeyService *service = nullptr;
    QSettings &store() { return AppSettings::shared().defaults(); }
    const Shortcut shiftCommand7 = Shortcut(Key{Key::seven}, Modifier::shift | Modifier::command);
    const Shortcut shiftCommand8 = Shortcut(Key{Key::eight}, Modifier::shift | Modifier::command);
    const Shortcut controlOptionF5 = Shortcut(Key{Key::f5}, Modifier::control | Modifier::option);

private slots:
    void init()
    {
        store().clear();
        auto fake = std::make_unique<FakeHotKeyService>();
        service = fake.get();
        setHotKeyService(std::move(fake));
    }
    void cleanup() { resetTestSession(); }

    void defaultsWrittenOnce()
    {
        const Name area("captureArea", shiftCommand7);
        const Name full("captureFullScreen", shiftCommand8);
        QCOMPARE(store().value("GlobalShortcuts_captureArea").toString(),
                 QString("{\"keyCode\":16,\"keyModifiers\":768}"));
        QCOMPARE(store().value("GlobalShortcuts_captureFullScreen").toString(),
                 QString("{\"keyCode\":17,\"keyModifiers\":768}"));
        QCOMPARE(getShortcut(area), shiftCommand7);
        // A user's change survives the next start.
        setShortcut(controlOptionF5, area);
        const Name again("captureArea", shiftCommand7);
        QCOMPARE(getShortcut(again), controlOptionF5);
        // Through the settings file as well (the JSON text holds commas and quotes).
        QSettings file(store().fileName(), QSettings::IniFormat);
        QCOMPARE(Shortcut::decode(file.value("GlobalShortcuts_captureFullScreen")), shiftCommand8);
    }

    void clearingRules()
    {
        const Name area("captureArea", shiftCommand7);
        const Name custom("custom");
        QSignalSpy changes(&Notifier::shared(), &Notifier::shortcutByNameDidChange);

        setShortcut(std::nullopt, area);
        QCOMPARE(store().value("GlobalShortcuts_captureArea").toString(), QString("false"));
        QCOMPARE(getShortcut(area), std::nullopt);
        const Name restarted("captureArea", shiftCommand7);
        QCOMPARE(getShortcut(restarted), std::nullopt); // the default is not applied again
        QCOMPARE(changes.size(), 1);
        QCOMPARE(changes.first().first().toString(), QString("captureArea"));

        setShortcut(controlOptionF5, custom);
        setShortcut(std::nullopt, custom);
        QVERIFY(!store().contains("GlobalShortcuts_custom"));
        QCOMPARE(changes.size(), 3);
        setShortcut(std::nullopt, custom); // nothing to clear: nothing posted
        QCOMPARE(changes.size(), 3);
        QVERIFY(!service->grabbed.contains(controlOptionF5));
    }

    void normalisationAndDecoding()
    {
        QCOMPARE(Shortcut::normalized(16, 0x300 + 0x8).keyModifiers, 768);
        QCOMPARE(Shortcut(Key{Key::a}, 0xFFFFFF).keyModifiers, Modifier::all);
        // Stored values are taken as they are, and anything else is no shortcut.
        QCOMPARE(Shortcut::decode(QString("{\"keyModifiers\":9,\"keyCode\":38}"))->keyModifiers, 9);
        const QVariant bad[] = {QVariant(QString("{not json")),
                                QVariant(42),
                                QVariant(false),
                                QVariant(QString("false")),
                                QVariant(QString("{\"keyCode\":\"16\",\"keyModifiers\":768}")),
                                QVariant(QString("{\"keyCode\":16.5,\"keyModifiers\":768}")),
                                QVariant(QString("{\"keyCode\":16}")),
                                QVariant(QString("[16,768]")),
                                QVariant(QStringList{"{\"keyCode\":16", "\"keyModifiers\":768}"})};
        for (const QVariant &value : bad)
            QVERIFY2(!Shortcut::decode(value), qPrintable(value.toString()));
        const Name odd("odd");
        store().setValue("GlobalShortcuts_odd", 7);
        QCOMPARE(getShortcut(odd), std::nullopt);
    }

    // Linux key names: the modifiers in the order Ctrl, Alt, Maj, Super, then the key as its cap reads.
    void displayStrings()
    {
        QCOMPARE(shiftCommand7.presentableDescription(), QString("Maj+Super+7"));
        QCOMPARE(controlOptionF5.presentableDescription(), QString("Ctrl+Alt+F5"));
        QCOMPARE(Shortcut(Key{Key::keypadPlus}, Modifier::command).description(), QString("Super+Pavé +"));
        QCOMPARE(Shortcut(Key{Key::a}, Modifier::control).description(), QString("Ctrl+A"));
        QCOMPARE(Shortcut(Key{Key::space}, Modifier::option).description(), QString("Alt+Espace"));
        QCOMPARE(Shortcut(Key{Key::escape}, Modifier::shift).description(), QString("Maj+Échap"));
        QCOMPARE(Shortcut(Key{Key::returnKey}, Modifier::all).description(),
                 QString("Ctrl+Alt+Maj+Super+Fn+Entrée"));
        // A key that gives no character in the layout (a modifier key, or a code with no key at all).
        QCOMPARE(Shortcut(Key{Key::shift}, Modifier::command).description(),
                 QString::fromUtf16(u"Super+\uFFFD"));
        QCOMPARE(Shortcut(Key{250}, Modifier::command).description(), QString::fromUtf16(u"Super+\uFFFD"));
        QCOMPARE(modifierNames(Modifier::command | Modifier::control), QString("Ctrl+Super+"));
        // The desktop's words in the same form.
        QCOMPARE(linuxKeyNames("Shift+Logo+7"), QString("Maj+Super+7"));
        QCOMPARE(linuxKeyNames("LOGO+SHIFT+8"), QString("Maj+Super+8"));
        QCOMPARE(linuxKeyNames("<Control><Super>Print"), QString("Ctrl+Super+Print"));
        QCOMPARE(linuxKeyNames("Ctrl+Print"), QString("Ctrl+Print"));
        QCOMPARE(linuxKeyNames("Alt+a"), QString("Alt+A"));
        QCOMPARE(linuxKeyNames(""), QString());
    }

    void layoutIsReadAtEachUse()
    {
        // The text follows the current layout: here a layout where the A key gives "q".
        KeyboardLayout::setLayoutSource(XkbKeyboardLayout::fromName("fr"));
        const QString azerty = Shortcut(Key{Key::a}, Modifier::control).description();
        resetTestSession();
        QCOMPARE(azerty, QString("Ctrl+Q"));
        QCOMPARE(Shortcut(Key{Key::a}, Modifier::control).description(), QString("Ctrl+A"));
    }

    void menuEquivalents()
    {
        QCOMPARE(shiftCommand7.menuKeySequence(), QKeySequence(Qt::SHIFT | Qt::META | Qt::Key_7));
        QCOMPARE(Shortcut(Key{Key::s}, Modifier::control).menuKeySequence(),
                 QKeySequence(Qt::CTRL | Qt::Key_S));
        QCOMPARE(controlOptionF5.menuKeySequence(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F5));
        QVERIFY(Shortcut(Key{Key::keypad5}, Modifier::command).menuKeySequence().isEmpty());
        QCOMPARE(Shortcut(Key{Key::keypad5}, Modifier::command).menuKeyEquivalent(), std::nullopt);
        QCOMPARE(Shortcut(Key{Key::f1}, 0).menuKeyEquivalent(), QString(QChar(0xF704)));
        QCOMPARE(Shortcut(Key{Key::a}, 0).menuKeyEquivalent(), QString("a"));
    }

    void fromKeyEvents()
    {
        // Synthesised events carry no native key code: the key is found from the layout.
        QKeyEvent seven(QEvent::KeyPress, Qt::Key_7, Qt::ShiftModifier | Qt::MetaModifier, "7");
        QCOMPARE(Shortcut::fromKeyEvent(&seven), shiftCommand7);
        QKeyEvent native(QEvent::KeyPress, Qt::Key_Ampersand,
                         Qt::ShiftModifier | Qt::MetaModifier | Qt::KeypadModifier, 16, 0, 0, "&");
        QCOMPARE(Shortcut::fromKeyEvent(&native), shiftCommand7);
        QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::ControlModifier | Qt::AltModifier);
        QCOMPARE(Shortcut::fromKeyEvent(&f5), controlOptionF5);
        QKeyEvent escape(QEvent::KeyRelease, Qt::Key_Escape, Qt::NoModifier);
        QCOMPARE(Shortcut::fromKeyEvent(&escape)->keyCode, Key::escape);
        QEvent other(QEvent::MouseButtonPress);
        QCOMPARE(Shortcut::fromKeyEvent(&other), std::nullopt);
    }

    void dispatch()
    {
        const Name area("captureArea", shiftCommand7);
        const Name full("captureFullScreen", shiftCommand8);
        int areaCount = 0, fullCount = 0, second = 0;
        onKeyDown(area, [&] { ++areaCount; });
        onKeyDown(full, [&] { ++fullCount; });
        onKeyDown(area, [&] { second = areaCount; }); // in registration order
        QVERIFY(service->press(shiftCommand7));
        QCOMPARE(areaCount, 1);
        QCOMPARE(second, 1);
        QCOMPARE(fullCount, 0);
        QVERIFY(isEnabled(area));

        setPaused(true);
        service->press(shiftCommand7);
        QCOMPARE(areaCount, 1);
        setPaused(false);

        // Both names on one combination both fire, and the binding is read at the moment of the press.
        setShortcut(shiftCommand7, full);
        service->press(shiftCommand7);
        QCOMPARE(areaCount, 2);
        QCOMPARE(fullCount, 1);
        QVERIFY(!service->grabbed.contains(shiftCommand8));

        // Changing one of them keeps the combination grabbed for the other (it still relies on it).
        setShortcut(controlOptionF5, area);
        QVERIFY(service->grabbed.contains(shiftCommand7));
        QVERIFY(service->press(shiftCommand7));
        QCOMPARE(fullCount, 2);
        QCOMPARE(areaCount, 2);
        QVERIFY(service->press(controlOptionF5));
        QCOMPARE(areaCount, 3);
        // Clearing the last name that uses it lets it go.
        setShortcut(std::nullopt, full);
        QVERIFY(!service->grabbed.contains(shiftCommand7));
    }

    void aRefusedGrabIsNotEnabled()
    {
        // Another program holds Shift+Super+7: the grab fails and the name reads as not enabled.
        service->takenElsewhere << shiftCommand7;
        const Name area("captureArea", shiftCommand7);
        const Name full("captureFullScreen", shiftCommand8);
        onKeyDown(area, [] {});
        onKeyDown(full, [] {});
        QVERIFY(!isEnabled(area));
        QVERIFY(isEnabled(full));
        // Menu mode lets the grabs go on purpose: the full-screen one still counts, the refused one not.
        setMenuOpen(true);
        QVERIFY(isEnabled(full));
        QVERIFY(!isEnabled(area));
        setMenuOpen(false);
        // Taking it back after a menu fails the same way when the other program still holds it.
        QVERIFY(!isEnabled(area));
        // Rebinding to a free combination registers.
        setShortcut(controlOptionF5, area);
        QVERIFY(isEnabled(area));
    }

    void disablingAndMenuModeReleaseTheGrabs()
    {
        const Name area("captureArea", shiftCommand7);
        int count = 0;
        onKeyDown(area, [&] { ++count; });
        setEnabled(false);
        QVERIFY(service->grabbed.isEmpty());
        QVERIFY(!isEnabled(area));
        setEnabled(true);
        QCOMPARE(service->grabbed, QList<Shortcut>{shiftCommand7});

        setMenuOpen(true);
        QVERIFY(service->grabbed.isEmpty());
        QVERIFY(handleKeyEvent(Shortcut::normalized(Key::seven, 0x300 | 0x8), true));
        QCOMPARE(count, 1);
        QVERIFY(!handleKeyEvent(controlOptionF5, true));
        setMenuOpen(false);
        QCOMPARE(service->grabbed, QList<Shortcut>{shiftCommand7});
    }

    void refusedGrabReportsAndCarriesOn()
    {
        service->takenElsewhere.append(shiftCommand7);
        const Name area("captureArea", shiftCommand7);
        int count = 0;
        onKeyDown(area, [&] { ++count; });
        QVERIFY(!service->press(shiftCommand7));
        QCOMPARE(count, 0);
        QVERIFY(!isInHotKeyTable(shiftCommand7));
        QCOMPARE(getShortcut(area), shiftCommand7); // still stored
        // A mode switch does not retry it; storing it again does.
        const int calls = service->grabCalls;
        setEnabled(false);
        setEnabled(true);
        QCOMPARE(service->grabCalls, calls);
        service->takenElsewhere.clear();
        setShortcut(controlOptionF5, area);
        setShortcut(shiftCommand7, area);
        QVERIFY(service->press(shiftCommand7));
        QCOMPARE(count, 1);
    }

    void menuActionsFollowTheBinding()
    {
        const Name area("captureArea", shiftCommand7);
        QAction action("Capturer une zone");
        GlobalShortcuts::setShortcut(&action, area);
        QCOMPARE(action.shortcut(), QKeySequence(Qt::SHIFT | Qt::META | Qt::Key_7));
        setShortcut(controlOptionF5, area);
        QTRY_COMPARE(action.shortcut(), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_F5));
        setShortcut(Shortcut(Key{Key::keypad5}, Modifier::command), area);
        QTRY_VERIFY(action.shortcut().isEmpty()); // keypad keys: no menu equivalent
        setShortcut(shiftCommand7, area);
        QTRY_VERIFY(!action.shortcut().isEmpty());
        setShortcut(std::nullopt, area);
        QTRY_VERIFY(action.shortcut().isEmpty());
        // Unbound: it no longer follows.
        GlobalShortcuts::setShortcut(&action, std::nullopt);
        setShortcut(shiftCommand8, area);
        QTest::qWait(20);
        QVERIFY(action.shortcut().isEmpty());
    }

    // Where the desktop owns the shortcuts the menu shows the keys it gave, as far as Qt can name them.
    void menuActionsShowTheDesktopsKeys()
    {
        setHotKeyService(nullptr);
        auto owned = std::make_unique<FakeDesktopShortcutService>();
        FakeDesktopShortcutService *desktop = owned.get();
        setDesktopService(std::move(owned));
        const Name area("captureArea", shiftCommand7);
        QAction action("Capturer une zone");
        GlobalShortcuts::setShortcut(&action, area);
        QVERIFY(action.shortcut().isEmpty()); // nothing given yet
        desktop->become(DesktopShortcutService::State::Bound,
                        {{QStringLiteral("captureArea"), QStringLiteral("Shift+Logo+7")}});
        QCOMPARE(action.shortcut(), QKeySequence(Qt::SHIFT | Qt::META | Qt::Key_7));
        desktop->become(DesktopShortcutService::State::Bound,
                        {{QStringLiteral("captureArea"), QStringLiteral("Ctrl+Print")}});
        QCOMPARE(action.shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Print));
        // Words Qt does not know as keys: no keys rather than wrong ones.
        desktop->become(DesktopShortcutService::State::Bound,
                        {{QStringLiteral("captureArea"), QStringLiteral("Press Hyper and Foo")}});
        QVERIFY(action.shortcut().isEmpty());
        desktop->become(DesktopShortcutService::State::Unavailable);
        QVERIFY(action.shortcut().isEmpty());
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestGlobalShortcuts test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_globalshortcuts.moc"
