// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QString>

#include <functional>
#include <optional>

// The current tool and the style new annotations get, shared by an editor window's canvas and bars.
class EditorState {
public:
    enum class Tool { select, arrow, line, rect, ellipse, highlight, badge, pixelate, freehand, text, crop };
    static constexpr Tool allTools[] = {Tool::select,   Tool::arrow,     Tool::line,  Tool::rect,
                                        Tool::ellipse,  Tool::highlight, Tool::badge, Tool::pixelate,
                                        Tool::freehand, Tool::text,      Tool::crop};

    Tool tool = Tool::arrow;
    QColor color = QColor(255, 59, 48); // the system red
    double lineWidth = 3;
    std::optional<QString> fontName;
    double fontSize = 18;

    // The one-letter key of each tool (V select, A arrow, L line, R rectangle, E ellipse, H highlight,
    // N numbered badge, P pixelate, F freehand, T text, C crop), and the tool of a letter.
    static constexpr char keyOf(Tool t)
    {
        switch (t) {
        case Tool::select: return 'V';
        case Tool::arrow: return 'A';
        case Tool::line: return 'L';
        case Tool::rect: return 'R';
        case Tool::ellipse: return 'E';
        case Tool::highlight: return 'H';
        case Tool::badge: return 'N';
        case Tool::pixelate: return 'P';
        case Tool::freehand: return 'F';
        case Tool::text: return 'T';
        case Tool::crop: return 'C';
        }
        return 0;
    }
    static std::optional<Tool> toolForKey(char letter)
    {
        for (Tool t : allTools)
            if (keyOf(t) == letter)
                return t;
        return std::nullopt;
    }

    // Whoever assigns `tool` calls this afterwards.
    std::function<void()> onToolChange;

    void setTool(Tool newTool)
    {
        tool = newTool;
        if (onToolChange)
            onToolChange();
    }
};
