// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A physical key, by its XKB keycode (the Linux evdev code + 8), whatever the keyboard layout.
namespace GlobalShortcuts {

struct Key {
    int rawValue = 0;
    constexpr bool operator==(const Key &) const = default;

    // Letters and digits (by their position on a US keyboard).
    static constexpr int a = 38, b = 56, c = 54, d = 40, e = 26, f = 41, g = 42, h = 43, i = 31, j = 44,
                         k = 45, l = 46, m = 58, n = 57, o = 32, p = 33, q = 24, r = 27, s = 39, t = 28,
                         u = 30, v = 55, w = 25, x = 53, y = 29, z = 52;
    static constexpr int one = 10, two = 11, three = 12, four = 13, five = 14, six = 15, seven = 16,
                         eight = 17, nine = 18, zero = 19;
    // Modifier keys.
    static constexpr int capsLock = 66, shift = 50, control = 37, option = 64, command = 133,
                         rightCommand = 134, rightOption = 108, rightControl = 105, rightShift = 62;
    // Punctuation and whitespace.
    static constexpr int returnKey = 36, backslash = 51, backtick = 49, comma = 59, equal = 21, minus = 20,
                         period = 60, quote = 48, semicolon = 47, slash = 61, space = 65, tab = 23,
                         leftBracket = 34, rightBracket = 35;
    // Navigation and editing. `deleteKey` is Backspace; `deleteForward` is Delete.
    static constexpr int pageUp = 112, pageDown = 117, home = 110, end = 115, upArrow = 111, rightArrow = 114,
                         downArrow = 116, leftArrow = 113, escape = 9, deleteKey = 22, deleteForward = 119,
                         help = 146, mute = 121, volumeDown = 122, volumeUp = 123;
    // Function keys: F1–F10, F11, F12, then F13–F24.
    static constexpr int f1 = 67, f2 = 68, f3 = 69, f4 = 70, f5 = 71, f6 = 72, f7 = 73, f8 = 74, f9 = 75,
                         f10 = 76, f11 = 95, f12 = 96, f13 = 191, f14 = 192, f15 = 193, f16 = 194, f17 = 195,
                         f18 = 196, f19 = 197, f20 = 198, f21 = 199, f22 = 200, f23 = 201, f24 = 202;
    // Numeric keypad; "clear" is the key in the Num Lock position.
    static constexpr int keypad0 = 90, keypad1 = 87, keypad2 = 88, keypad3 = 89, keypad4 = 83, keypad5 = 84,
                         keypad6 = 85, keypad7 = 79, keypad8 = 80, keypad9 = 81, keypadClear = 77,
                         keypadDecimal = 91, keypadDivide = 106, keypadEnter = 104, keypadEquals = 125,
                         keypadMinus = 82, keypadMultiply = 63, keypadPlus = 86;

    // F1 … F24 as 1 … 24; 0 for other keys.
    constexpr int functionKeyNumber() const
    {
        if (rawValue >= f1 && rawValue <= f10)
            return rawValue - f1 + 1;
        if (rawValue == f11)
            return 11;
        if (rawValue == f12)
            return 12;
        if (rawValue >= f13 && rawValue <= f24)
            return rawValue - f13 + 13;
        return 0;
    }
    constexpr bool isFunctionKey() const { return functionKeyNumber() != 0; }
};

} // namespace GlobalShortcuts
