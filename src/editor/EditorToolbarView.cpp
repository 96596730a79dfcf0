// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/EditorToolbarView.h"

#include "common/Icons.h"
#include "editor/BarControls.h"
#include "editor/ColorWell.h"
#include "editor/EditorDocument.h"
#include "editor/EditorPalette.h"
#include "editor/GestureSlider.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include <cmath>

namespace {

struct ToolInfo {
    EditorState::Tool tool;
    const char *icon;
    const char *tooltip;
};

const ToolInfo toolTable[] = {
    {EditorState::Tool::select, "select", "Sélection (déplacer, redimensionner, Suppr.)"},
    {EditorState::Tool::arrow, "arrow", "Flèche"},
    {EditorState::Tool::line, "line", "Ligne"},
    {EditorState::Tool::rect, "rect", "Rectangle"},
    {EditorState::Tool::ellipse, "ellipse", "Ellipse"},
    {EditorState::Tool::highlight, "highlight", "Surligneur"},
    {EditorState::Tool::badge, "badge", "Badge numéroté"},
    {EditorState::Tool::pixelate, "pixelate", "Pixeliser (cacher de l'info)"},
    {EditorState::Tool::freehand, "freehand", "Crayon"},
    {EditorState::Tool::text, "text", "Texte"},
};

} // namespace

EditorToolbarView::EditorToolbarView(EditorState *state, QWidget *parent) : QWidget(parent), m_state(state)
{
    setFixedHeight(44);
    auto *row = new QHBoxLayout(this);
    row->setSpacing(6);
    row->setContentsMargins(10, 8, 10, 8);

    for (const ToolInfo &info : toolTable) {
        const QString tooltip = QString::fromUtf8(info.tooltip) + QStringLiteral(" — ") +
                                QChar::fromLatin1(EditorState::keyOf(info.tool));
        QToolButton *button = BarControls::iconButton(QString::fromLatin1(info.icon), tooltip, QSize(30, 26));
        connect(button, &QToolButton::clicked, this, [this, button] { toolClicked(button); });
        m_toolButtons.append({info.tool, button});
        m_tints.append(QColor());
        row->addWidget(button);
    }
    row->addWidget(BarControls::verticalSeparator(24));

    m_colorWell = new ColorWell(m_state->color, QSize(40, 24));
    m_colorWell->setToolTip(QStringLiteral("Couleur"));
    m_colorWell->onColorChosen = [this](const QColor &color) { colorChanged(color); };
    row->addWidget(m_colorWell);

    m_widthSlider = new GestureSlider(1 * widthSliderScale, 12 * widthSliderScale, widthSliderScale);
    m_widthSlider->setValue(int(std::lround(m_state->lineWidth * widthSliderScale)));
    m_widthSlider->setFixedWidth(70);
    m_widthSlider->setToolTip(QStringLiteral("Épaisseur du trait"));
    m_widthSlider->onGestureEnd = [this] { widthChanged(); };
    row->addWidget(m_widthSlider);

    m_fontSizePopup = new QComboBox;
    for (int size : {12, 14, 16, 18, 24, 32, 48})
        m_fontSizePopup->addItem(QString::number(size) + QStringLiteral(" pt"), double(size));
    m_fontSizePopup->setCurrentIndex(3);
    m_fontSizePopup->setToolTip(QStringLiteral("Taille du texte"));
    m_fontSizePopup->setFocusPolicy(Qt::TabFocus);
    connect(m_fontSizePopup, &QComboBox::activated, this, [this] { fontSizeChanged(); });
    row->addWidget(m_fontSizePopup);

    m_fontPopup = new QComboBox;
    m_fontPopup->addItem(QStringLiteral("Système"));
    for (const char *family : {"Liberation Sans", "DejaVu Serif", "DejaVu Sans Mono"})
        m_fontPopup->addItem(QString::fromLatin1(family), QString::fromLatin1(family));
    m_fontPopup->setCurrentIndex(0);
    m_fontPopup->setToolTip(QStringLiteral("Police du texte"));
    m_fontPopup->setFocusPolicy(Qt::TabFocus);
    connect(m_fontPopup, &QComboBox::activated, this, [this] { fontChanged(); });
    row->addWidget(m_fontPopup);
    row->addWidget(BarControls::verticalSeparator(24));

    m_undoButton =
        BarControls::iconButton(QStringLiteral("undo"), QStringLiteral("Annuler (Ctrl+Z)"), QSize(30, 26));
    connect(m_undoButton, &QToolButton::clicked, this, [this] {
        if (onUndo)
            onUndo();
    });
    row->addWidget(m_undoButton);
    m_redoButton = BarControls::iconButton(QStringLiteral("redo"), QStringLiteral("Rétablir (Ctrl+Maj+Z)"),
                                           QSize(30, 26));
    connect(m_redoButton, &QToolButton::clicked, this, [this] {
        if (onRedo)
            onRedo();
    });
    row->addWidget(m_redoButton);
    row->addStretch(1);

    m_copyButton = new QPushButton(QStringLiteral("Copier"));
    m_copyButton->setToolTip(QStringLiteral("Copier l'image annotée (Ctrl+C)"));
    m_copyButton->setAutoDefault(false);
    m_copyButton->setFocusPolicy(Qt::NoFocus);
    connect(m_copyButton, &QPushButton::clicked, this, [this] {
        if (onCopy)
            onCopy();
    });
    row->addWidget(m_copyButton);
    m_saveButton = new QPushButton(QStringLiteral("Enregistrer"));
    m_saveButton->setToolTip(QStringLiteral("Enregistrer l'image annotée (Ctrl+S)"));
    m_saveButton->setAutoDefault(false);
    m_saveButton->setFocusPolicy(Qt::NoFocus);
    connect(m_saveButton, &QPushButton::clicked, this, [this] {
        if (onSave)
            onSave();
    });
    row->addWidget(m_saveButton);

    tintToolButtons();
}

void EditorToolbarView::tintToolButtons()
{
    for (qsizetype i = 0; i < m_toolButtons.size(); ++i) {
        const auto &[tool, button] = m_toolButtons[i];
        const QColor tint = tool == m_state->tool ? EditorPalette::accent(palette())
                                                  : EditorPalette::secondaryLabel(palette());
        if (tint != m_tints[i]) {
            button->setIcon(Icons::icon(button->property("iconRole").toString(), tint));
            m_tints[i] = tint;
        }
    }
}

QColor EditorToolbarView::tintOf(EditorState::Tool tool) const
{
    for (qsizetype i = 0; i < m_toolButtons.size(); ++i) {
        if (m_toolButtons[i].first == tool)
            return m_tints[i];
    }
    return QColor();
}

void EditorToolbarView::toolClicked(QToolButton *button)
{
    for (const auto &[tool, candidate] : std::as_const(m_toolButtons)) {
        if (candidate == button) {
            m_state->setTool(tool);
            return;
        }
    }
}

void EditorToolbarView::colorChanged(const QColor &color)
{
    m_state->color = color;
    if (onStyleChangeForSelection)
        onStyleChangeForSelection([color](Annotation &a) { a.color = color; }, EditorDocument::changeColor);
}

void EditorToolbarView::widthChanged()
{
    const double width = std::round(double(m_widthSlider->value()) / widthSliderScale);
    m_state->lineWidth = width;
    if (onStyleChangeForSelection)
        onStyleChangeForSelection([width](Annotation &a) { a.lineWidth = width; },
                                  EditorDocument::changeLineWidth);
}

void EditorToolbarView::fontSizeChanged()
{
    const QVariant value = m_fontSizePopup->currentData();
    bool ok = false;
    const double size = value.toDouble(&ok);
    if (!value.isValid() || !ok || !std::isfinite(size))
        return;
    m_state->fontSize = size;
    if (onStyleChangeForSelection)
        onStyleChangeForSelection(
            [size](Annotation &a) {
                if (auto *text = a.as<Annotation::Text>())
                    text->fontSize = size;
            },
            EditorDocument::changeFontSize);
}

void EditorToolbarView::fontChanged()
{
    const QVariant value = m_fontPopup->currentData();
    std::optional<QString> name;
    if (value.typeId() == QMetaType::QString && !value.toString().isEmpty())
        name = value.toString();
    m_state->fontName = name;
    if (onStyleChangeForSelection)
        onStyleChangeForSelection(
            [name](Annotation &a) {
                if (auto *text = a.as<Annotation::Text>())
                    text->fontName = name;
            },
            EditorDocument::changeFont);
}
