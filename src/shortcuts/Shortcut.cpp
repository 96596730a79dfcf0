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

// The keys with fixed texts. "Espace" is the space key's name in our string table.
const SpecialKey specialKeys[] = {
    {Key::returnKey, u"↩", u"↩", Qt::Key_Return},
    {Key::deleteKey, u"⌫", u"⌫", Qt::Key_Backspace},
    {Key::deleteForward, u"⌦", u"⌦", Qt::Key_Delete},
    {Key::end, u"↘", u"↘", Qt::Key_End},
    {Key::escape, u"⎋", u"⎋", Qt::Key_Escape},
    {Key::help, u"?\u20DD", u"?\u20DD", Qt::Key_Help},
    {Key::home, u"↖", u"↖", Qt::Key_Home},
    {Key::space, u"Espace", u" ", Qt::Key_Space},
    {Key::tab, u"⇥", u"⇥", Qt::Key_Tab},
    {Key::pageUp, u"⇞", u"⇞", Qt::Key_PageUp},
    {Key::pageDown, u"⇟", u"⇟", Qt::Key_PageDown},
    {Key::upArrow, u"↑", u"↑", Qt::Key_Up},
    {Key::rightArrow, u"→", u"→", Qt::Key_Right},
    {Key::downArrow, u"↓", u"↓", Qt::Key_Down},
    {Key::leftArrow, u"←", u"←", Qt::Key_Left},
    {Key::keypad0, u"0\u20E3", nullptr, 0},
    {Key::keypad1, u"1\u20E3", nullptr, 0},
    {Key::keypad2, u"2\u20E3", nullptr, 0},
    {Key::keypad3, u"3\u20E3", nullptr, 0},
    {Key::keypad4, u"4\u20E3", nullptr, 0},
    {Key::keypad5, u"5\u20E3", nullptr, 0},
    {Key::keypad6, u"6\u20E3", nullptr, 0},
    {Key::keypad7, u"7\u20E3", nullptr, 0},
    {Key::keypad8, u"8\u20E3", nullptr, 0},
    {Key::keypad9, u"9\u20E3", nullptr, 0},
    {Key::keypadClear, u"☒\u20E3", nullptr, 0},
    {Key::keypadDecimal, u".\u20E3", nullptr, 0},
    {Key::keypadDivide, u"/\u20E3", nullptr, 0},
    {Key::keypadEnter, u"↩\u20E3", nullptr, 0},
    {Key::keypadEquals, u"=\u20E3", nullptr, 0},
    {Key::keypadMinus, u"-\u20E3", nullptr, 0},
    {Key::keypadMultiply, u"*\u20E3", nullptr, 0},
    {Key::keypadPlus, u"+\u20E3", nullptr, 0},
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

QString symbolicRepresentation(int keyModifiers)
{
    QString symbols;
    if (keyModifiers & Modifier::control)
        symbols += u"⌃";
    if (keyModifiers & Modifier::option)
        symbols += u"⌥";
    if (keyModifiers & Modifier::shift)
        symbols += u"⇧";
    if (keyModifiers & Modifier::command)
        symbols += u"⌘";
    if (keyModifiers & Modifier::function)
        symbols += QString::fromUtf16(u"\U0001F310\uFE0E");
    return symbols;
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
    return symbolicRepresentation(keyModifiers) + keyText;
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
