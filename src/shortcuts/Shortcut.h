// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shortcuts/Key.h"

#include <QKeySequence>
#include <QString>
#include <QVariant>

#include <optional>

class QEvent;

namespace GlobalShortcuts {

// Stored modifier bits.
namespace Modifier {
inline constexpr int control = 0x1000;
inline constexpr int option = 0x800;
inline constexpr int shift = 0x200;
inline constexpr int command = 0x100;
inline constexpr int function = 0x20000;
inline constexpr int all = control | option | shift | command | function;
} // namespace Modifier

// A key with its modifiers. Control is Ctrl, Option is Alt, Shift is Shift, Command is Super.
struct Shortcut {
    int keyCode = 0;
    int keyModifiers = 0;

    Shortcut() = default;
    // Keeps only the five modifier bits.
    Shortcut(Key key, int modifiers) : keyCode(key.rawValue), keyModifiers(modifiers & Modifier::all) {}
    static Shortcut normalized(int keyCode, int keyModifiers) { return Shortcut(Key{keyCode}, keyModifiers); }
    // As stored: no normalisation.
    static Shortcut raw(int keyCode, int keyModifiers)
    {
        Shortcut s;
        s.keyCode = keyCode;
        s.keyModifiers = keyModifiers;
        return s;
    }
    // From a Qt key event: its physical key and its modifiers (the keypad flag and Function dropped). Nothing
    // for events that are not key presses or releases, or whose key cannot be told.
    static std::optional<Shortcut> fromKeyEvent(const QEvent *event);

    Key key() const { return Key{keyCode}; }
    Qt::KeyboardModifiers qtModifiers() const;
    static int modifiersFromQt(Qt::KeyboardModifiers modifiers);

    bool operator==(const Shortcut &) const = default;

    // "Maj+Super+7": the modifiers' Linux names (Ctrl, Alt, Maj, Super), then the key as its cap reads.
    QString presentableDescription() const;
    QString description() const { return presentableDescription(); }
    // The key sequence a menu item shows and answers for this shortcut; empty for keypad keys and keys
    // without a character.
    QKeySequence menuKeySequence() const;
    // The key's own text in a menu (special keys' symbols, or the layout character, not capitalised).
    std::optional<QString> menuKeyEquivalent() const;

    // Storage: a compact JSON object {"keyCode":…,"keyModifiers":…}.
    QString encoded() const;
    // Anything that is not a string holding such an object (with whole-number members) is no shortcut.
    static std::optional<Shortcut> decode(const QVariant &stored);
};

// "Ctrl+Alt+Maj+Super+" for the modifier bits present, in that order ("Fn+" for Function).
QString modifierNames(int keyModifiers);
// A desktop's description of its keys ("Shift+Logo+7") in the same words and order ("Maj+Super+7").
QString linuxKeyNames(const QString &trigger);

size_t qHash(const Shortcut &shortcut, size_t seed = 0);

} // namespace GlobalShortcuts
