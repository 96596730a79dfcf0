// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>

#include <variant>

// How a finished screenshot is framed: margin, background, rounded corners, drop shadow.
struct Decoration {
    struct Solid {
        QColor color;
        bool operator==(const Solid &) const = default;
    };
    struct Gradient {
        QColor start, end; // top-left to bottom-right
        bool operator==(const Gradient &) const = default;
    };
    struct None {
        bool operator==(const None &) const = default;
    };
    using Background = std::variant<Solid, Gradient, None>;

    double padding = 0;
    Background background = None{};
    double cornerRadius = 0;
    bool hasShadow = false;

    bool operator==(const Decoration &) const = default;
};
