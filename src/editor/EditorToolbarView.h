// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotation/Annotation.h"
#include "editor/EditorState.h"

#include <QList>
#include <QWidget>

#include <functional>
#include <utility>

class ColorWell;
class QComboBox;
class QPushButton;
class GestureSlider;
class QToolButton;

// The strip across the top of an editor window: the ten tools, the style of new annotations (colour,
// width, text size, font), undo and redo, copy and save. It writes the shared state directly; a style
// change is also offered to the selection as one undo step.
class EditorToolbarView : public QWidget {
    Q_OBJECT
public:
    explicit EditorToolbarView(EditorState *state, QWidget *parent = nullptr);

    std::function<void(const std::function<void(Annotation &)> &mutation, const QString &actionName)>
        onStyleChangeForSelection;
    std::function<void()> onCopy;
    std::function<void()> onSave;
    std::function<void()> onUndo;
    std::function<void()> onRedo;

    const QList<std::pair<EditorState::Tool, QToolButton *>> &toolButtons() const { return m_toolButtons; }
    // The accent tint on the current tool's button, the secondary tint on the others.
    void tintToolButtons();
    // The tint a tool button has now (for tests).
    QColor tintOf(EditorState::Tool tool) const;

    // The controls, for the window and for tests.
    ColorWell *colorWell() const { return m_colorWell; }
    GestureSlider *widthSlider() const { return m_widthSlider; }
    QComboBox *fontSizePopup() const { return m_fontSizePopup; }
    QComboBox *fontPopup() const { return m_fontPopup; }
    QToolButton *undoButton() const { return m_undoButton; }
    QToolButton *redoButton() const { return m_redoButton; }
    QPushButton *copyButton() const { return m_copyButton; }
    QPushButton *saveButton() const { return m_saveButton; }

    // The slider works in hundredths of a point, so that a release between two whole widths rounds.
    static constexpr int widthSliderScale = 100;

    void toolClicked(QToolButton *button);
    void colorChanged(const QColor &color);
    void widthChanged();
    void fontSizeChanged();
    void fontChanged();

private:
    EditorState *m_state;
    QList<std::pair<EditorState::Tool, QToolButton *>> m_toolButtons;
    QList<QColor> m_tints;
    ColorWell *m_colorWell = nullptr;
    GestureSlider *m_widthSlider = nullptr;
    QComboBox *m_fontSizePopup = nullptr;
    QComboBox *m_fontPopup = nullptr;
    QToolButton *m_undoButton = nullptr;
    QToolButton *m_redoButton = nullptr;
    QPushButton *m_copyButton = nullptr;
    QPushButton *m_saveButton = nullptr;
};
