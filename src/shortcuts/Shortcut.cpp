// SPDX-License-Identifier: GPL-3.0-or-later
#include "shortcuts/Shortcut.h"

#include "shortcuts/KeyboardLayout.h"

#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>

#include <cmath>

namespace GlobalShortcuts {

namespace {

struct SpecialKey {
    int keyCode;
    const char16_t *display;
    const char16_t *menu; // nullptr: no menu equivalent (keypad keys)
    int qtKey;            // 0: none
};

// The keys with fixed texts: shown by the name their cap bears on a Linux keyboard (French), and the
// character a menu item shows. "Espace" is the space key's name in our string table.
const SpecialKey specialKeys[] = {
    {Key::returnKey, u"Entrée", u"↩", Qt::Key_Return},
    {Key::deleteKey, u"Retour arrière", u"⌫", Qt::Key_Backspace},
    {Key::deleteForward, u"Suppr", u"⌦", Qt::Key_Delete},
    {Key::end, u"Fin", u"↘", Qt::Key_End},
    {Key::escape, u"Échap", u"⎋", Qt::Key_Escape},
    {Key::help, u"Aide", u"?\u20DD", Qt::Key_Help},
    {Key::home, u"Début", u"↖", Qt::Key_Home},
    {Key::space, u"Espace", u" ", Qt::Key_Space},
    {Key::tab, u"Tab", u"⇥", Qt::Key_Tab},
    {Key::pageUp, u"Page préc.", u"⇞", Qt::Key_PageUp},
    {Key::pageDown, u"Page suiv.", u"⇟", Qt::Key_PageDown},
    {Key::upArrow, u"↑", u"↑", Qt::Key_Up},
    {Key::rightArrow, u"→", u"→", Qt::Key_Right},
    {Key::downArrow, u"↓", u"↓", Qt::Key_Down},
    {Key::leftArrow, u"←", u"←", Qt::Key_Left},
    {Key::keypad0, u"Pavé 0", nullptr, 0},
    {Key::keypad1, u"Pavé 1", nullptr, 0},
    {Key::keypad2, u"Pavé 2", nullptr, 0},
    {Key::keypad3, u"Pavé 3", nullptr, 0},
    {Key::keypad4, u"Pavé 4", nullptr, 0},
    {Key::keypad5, u"Pavé 5", nullptr, 0},
    {Key::keypad6, u"Pavé 6", nullptr, 0},
    {Key::keypad7, u"Pavé 7", nullptr, 0},
    {Key::keypad8, u"Pavé 8", nullptr, 0},
    {Key::keypad9, u"Pavé 9", nullptr, 0},
    {Key::keypadClear, u"Verr. Num", nullptr, 0},
    {Key::keypadDecimal, u"Pavé .", nullptr, 0},
    {Key::keypadDivide, u"Pavé /", nullptr, 0},
    {Key::keypadEnter, u"Pavé Entrée", nullptr, 0},
    {Key::keypadEquals, u"Pavé =", nullptr, 0},
    {Key::keypadMinus, u"Pavé -", nullptr, 0},
    {Key::keypadMultiply, u"Pavé *", nullptr, 0},
    {Key::keypadPlus, u"Pavé +", nullptr, 0},
};

const SpecialKey *special(int keyCode)
{
    for (const SpecialKey &k : specialKeys) {
        if (k.keyCode == keyCode)
            return &k;
    }
    return nullptr;
}

// The physical key behind a Qt key, for events that carry no native key code (synthesised events).
std::optional<int> keyCodeForQtKey(const QKeyEvent *event)
{
    const int qtKey = event->key();
    const bool keypad = event->modifiers() & Qt::KeypadModifier;
    if (!keypad) {
        for (const SpecialKey &k : specialKeys) {
            if (k.qtKey == qtKey)
                return k.keyCode;
        }
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        const int n = qtKey - Qt::Key_F1 + 1;
        if (n <= 10)
            return Key::f1 + n - 1;
        if (n <= 12)
            return n == 11 ? Key::f11 : Key::f12;
        return Key::f13 + n - 13;
    }
    if (qtKey > 0 && qtKey < 0x10000) {
        const QChar c = QChar(char16_t(qtKey)).toLower();
        return KeyboardLayout::keyCodeFor(c);
    }
    return std::nullopt;
}

// The layout character of a non-special key, exactly one character long.
std::optional<QString> layoutCharacter(int keyCode)
{
    const QString text = KeyboardLayout::character(keyCode);
    if (text.size() != 1 || text.at(0).category() == QChar::Other_Control)
        return std::nullopt;
    return text;
}

} // namespace

Qt::KeyboardModifiers Shortcut::qtModifiers() const
{
    Qt::KeyboardModifiers m;
    if (keyModifiers & Modifier::control)
        m |= Qt::ControlModifier;
    if (keyModifiers & Modifier::option)
        m |= Qt::AltModifier;
    if (keyModifiers & Modifier::shift)
        m |= Qt::ShiftModifier;
    if (keyModifiers & Modifier::command)
        m |= Qt::MetaModifier;
    return m;
}

int Shortcut::modifiersFromQt(Qt::KeyboardModifiers m)
{
    int bits = 0;
    if (m & Qt::ControlModifier)
        bits |= Modifier::control;
    if (m & Qt::AltModifier)
        bits |= Modifier::option;
    if (m & Qt::ShiftModifier)
        bits |= Modifier::shift;
    if (m & Qt::MetaModifier)
        bits |= Modifier::command;
    return bits;
}

std::optional<Shortcut> Shortcut::fromKeyEvent(const QEvent *anyEvent)
{
    if (!anyEvent || (anyEvent->type() != QEvent::KeyPress && anyEvent->type() != QEvent::KeyRelease))
        return std::nullopt;
    const auto *event = static_cast<const QKeyEvent *>(anyEvent);
    int keyCode = int(event->nativeScanCode());
    if (keyCode < 8 || keyCode > 255) {
        const std::optional<int> fromKey = keyCodeForQtKey(event);
        if (!fromKey)
            return std::nullopt;
        keyCode = *fromKey;
    }
    return Shortcut(Key{keyCode}, modifiersFromQt(event->modifiers()));
}

QString modifierNames(int keyModifiers)
{
    QString names;
    if (keyModifiers & Modifier::control)
        names += QStringLiteral("Ctrl+");
    if (keyModifiers & Modifier::option)
        names += QStringLiteral("Alt+");
    if (keyModifiers & Modifier::shift)
        names += QStringLiteral("Maj+");
    if (keyModifiers & Modifier::command)
        names += QStringLiteral("Super+");
    if (keyModifiers & Modifier::function)
        names += QStringLiteral("Fn+");
    return names;
}

QString linuxKeyNames(const QString &trigger)
{
    // The desktop's words ("Shift+Logo+7", "<Control><Super>Print") into ours, modifiers in our order.
    QString rest = trigger.trimmed();
    rest.replace(u'<', u' ').replace(u'>', u'+');
    QStringList parts = rest.split(u'+', Qt::SkipEmptyParts);
    for (QString &part : parts)
        part = part.trimmed();
    parts.removeAll(QString());
    if (parts.isEmpty())
        return QString();
    int modifiers = 0;
    QStringList keys;
    for (const QString &part : std::as_const(parts)) {
        const QString word = part.toLower();
        if (word == u"shift" || word == u"maj")
            modifiers |= Modifier::shift;
        else if (word == u"ctrl" || word == u"control" || word == u"primary")
            modifiers |= Modifier::control;
        else if (word == u"alt" || word == u"mod1")
            modifiers |= Modifier::option;
        else if (word == u"logo" || word == u"super" || word == u"meta" || word == u"mod4")
            modifiers |= Modifier::command;
        else
            keys << (part.size() == 1 ? part.toUpper() : part);
    }
    return modifierNames(modifiers) + keys.join(u'+');
}

QString Shortcut::presentableDescription() const
{
    QString keyText;
    if (const SpecialKey *k = special(keyCode))
        keyText = QString::fromUtf16(k->display);
    else if (const int n = key().functionKeyNumber())
        keyText = QStringLiteral("F%1").arg(n);
    else if (const std::optional<QString> c = layoutCharacter(keyCode))
        keyText = c->toUpper();
    else
        keyText = QString(QChar(0xFFFD));
    return modifierNames(keyModifiers) + keyText;
}

std::optional<QString> Shortcut::menuKeyEquivalent() const
{
    if (const SpecialKey *k = special(keyCode)) {
        if (!k->menu)
            return std::nullopt;
        return QString::fromUtf16(k->menu);
    }
    if (const int n = key().functionKeyNumber())
        return QString(QChar(char16_t(0xF704 + n - 1)));
    return layoutCharacter(keyCode);
}

QKeySequence Shortcut::menuKeySequence() const
{
    int qtKey = 0;
    if (const SpecialKey *k = special(keyCode))
        qtKey = k->menu ? k->qtKey : 0;
    else if (const int n = key().functionKeyNumber())
        qtKey = Qt::Key_F1 + n - 1;
    else if (const std::optional<QString> c = layoutCharacter(keyCode))
        qtKey = c->at(0).toUpper().unicode();
    if (qtKey == 0)
        return QKeySequence();
    return QKeySequence(QKeyCombination(qtModifiers(), Qt::Key(qtKey)));
}

QString Shortcut::encoded() const
{
    QJsonObject object;
    object.insert(QStringLiteral("keyCode"), keyCode);
    object.insert(QStringLiteral("keyModifiers"), keyModifiers);
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

std::optional<Shortcut> Shortcut::decode(const QVariant &stored)
{
    if (stored.typeId() != QMetaType::QString)
        return std::nullopt;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(stored.toString().toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonObject object = document.object();
    auto integer = [&](const char *name) -> std::optional<int> {
        const QJsonValue value = object.value(QLatin1String(name));
        if (!value.isDouble())
            return std::nullopt;
        const double number = value.toDouble();
        if (number != std::floor(number) || number < -2147483648.0 || number > 2147483647.0)
            return std::nullopt;
        return int(number);
    };
    const std::optional<int> keyCode = integer("keyCode");
    const std::optional<int> modifiers = integer("keyModifiers");
    if (!keyCode || !modifiers)
        return std::nullopt;
    return raw(*keyCode, *modifiers);
}

size_t qHash(const Shortcut &shortcut, size_t seed)
{
    return qHashMulti(seed, shortcut.keyCode, shortcut.keyModifiers);
}

} // namespace GlobalShortcuts
