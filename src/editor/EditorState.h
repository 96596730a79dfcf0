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

    // Whoever assigns `tool` calls this afterwards.
    std::function<void()> onToolChange;

    void setTool(Tool newTool)
    {
        tool = newTool;
        if (onToolChange)
            onToolChange();
    }
};
