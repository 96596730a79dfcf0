// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ImageBarView.h"

#include "editor/BarControls.h"
#include "editor/CanvasGeometry.h"
#include "editor/ColorWell.h"
#include "editor/EditorPalette.h"
#include "editor/GestureSlider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QToolButton>

#include <cmath>

namespace {

GestureSlider *slider(int maximum, int width, const QString &tooltip)
{
    auto *s = new GestureSlider(0, maximum * ImageBarView::sliderScale, ImageBarView::sliderScale);
    s->setValue(0);
    s->setFixedWidth(width);
    s->setToolTip(tooltip);
    return s;
}

double rounded(const QSlider *s)
{
    return std::round(double(s->value()) / ImageBarView::sliderScale);
}

} // namespace

ImageBarView::ImageBarView(QWidget *parent)
    : QWidget(parent), m_gradientStart(EditorPalette::indigo()), m_gradientEnd(EditorPalette::pink())
{
    setFixedHeight(38);
    auto *row = new QHBoxLayout(this);
    row->setSpacing(6);
    row->setContentsMargins(10, 6, 10, 6);
    const auto label = [this](const QString &text) {
        auto *l = new QLabel(text);
        QFont font = l->font();
        font.setPixelSize(11);
        l->setFont(font);
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, EditorPalette::secondaryLabel(palette()));
        l->setPalette(p);
        return l;
    };

    row->addWidget(
        iconButton(QStringLiteral("crop"), QStringLiteral("Recadrer (drag, ESC annule) — C"), [this] {
            if (onCrop)
                onCrop();
        }));
    row->addWidget(iconButton(QStringLiteral("resize"), QStringLiteral("Redimensionner…"), [this] {
        if (onResizeRequested)
            onResizeRequested();
    }));
    row->addWidget(iconButton(QStringLiteral("rotate-left"), QStringLiteral("Rotation antihoraire"), [this] {
        if (onRotate)
            onRotate(false);
    }));
    row->addWidget(iconButton(QStringLiteral("rotate-right"), QStringLiteral("Rotation horaire"), [this] {
        if (onRotate)
            onRotate(true);
    }));
    row->addWidget(BarControls::verticalSeparator(22));

    row->addWidget(label(QStringLiteral("Marge")));
    m_paddingSlider = slider(120, 70, QStringLiteral("Marge autour de l'image (fond/padding)"));
    m_paddingSlider->onGestureEnd = [this] { decorationControlChanged(); };
    row->addWidget(m_paddingSlider);

    row->addWidget(label(QStringLiteral("Fond")));
    m_backgroundPopup = new QComboBox;
    m_backgroundPopup->addItems(
        {QStringLiteral("Aucun"), QStringLiteral("Couleur"), QStringLiteral("Dégradé")});
    m_backgroundPopup->setCurrentIndex(0);
    m_backgroundPopup->setFocusPolicy(Qt::TabFocus);
    connect(m_backgroundPopup, &QComboBox::activated, this, [this] { decorationControlChanged(); });
    row->addWidget(m_backgroundPopup);

    m_colorWell1 = new ColorWell(m_solidColor, QSize(34, 22));
    m_colorWell1->onColorChosen = [this](const QColor &) { decorationControlChanged(); };
    m_colorWell1->hide();
    row->addWidget(m_colorWell1);
    m_colorWell2 = new ColorWell(m_gradientEnd, QSize(34, 22));
    m_colorWell2->onColorChosen = [this](const QColor &) { decorationControlChanged(); };
    m_colorWell2->hide();
    row->addWidget(m_colorWell2);

    row->addWidget(label(QStringLiteral("Coins")));
    m_cornerSlider = slider(30, 60, QStringLiteral("Coins arrondis"));
    m_cornerSlider->onGestureEnd = [this] { decorationControlChanged(); };
    row->addWidget(m_cornerSlider);

    m_shadowCheckbox = new QCheckBox(QStringLiteral("Ombre"));
    m_shadowCheckbox->setToolTip(QStringLiteral("Ombre portée sur le rendu final"));
    m_shadowCheckbox->setFocusPolicy(Qt::NoFocus);
    connect(m_shadowCheckbox, &QCheckBox::toggled, this, [this] { decorationControlChanged(); });
    row->addWidget(m_shadowCheckbox);
    row->addWidget(BarControls::verticalSeparator(22));
    row->addStretch(1);

    m_zoomButton = new QToolButton;
    m_zoomButton->setObjectName(QStringLiteral("zoom"));
    m_zoomButton->setToolTip(QStringLiteral("Zoom (Ctrl+molette, Ctrl++, Ctrl+-)"));
    m_zoomButton->setPopupMode(QToolButton::InstantPopup);
    m_zoomButton->setFocusPolicy(Qt::NoFocus);
    m_zoomButton->setMinimumWidth(64);
    auto *zoomMenu = new QMenu(m_zoomButton);
    const auto zoomItem = [&](const QString &text, const QString &keys, std::function<void()> action) {
        QAction *item = zoomMenu->addAction(keys.isEmpty() ? text : text + u'\t' + keys);
        connect(item, &QAction::triggered, this, std::move(action));
    };
    zoomItem(QStringLiteral("Zoom avant"), QStringLiteral("Ctrl++"), [this] {
        if (onZoomStep)
            onZoomStep(1);
    });
    zoomItem(QStringLiteral("Zoom arrière"), QStringLiteral("Ctrl+-"), [this] {
        if (onZoomStep)
            onZoomStep(-1);
    });
    zoomItem(QStringLiteral("Ajuster à la fenêtre"), QStringLiteral("Ctrl+0"), [this] {
        if (onZoomToFit)
            onZoomToFit();
    });
    zoomItem(QStringLiteral("Taille réelle (100 %)"), QStringLiteral("Ctrl+1"), [this] {
        if (onZoom)
            onZoom(1);
    });
    zoomItem(QStringLiteral("200 %"), QString(), [this] {
        if (onZoom)
            onZoom(2);
    });
    m_zoomButton->setMenu(zoomMenu);
    showZoom(1);
    row->addWidget(m_zoomButton);

    m_ocrButton = new QPushButton(QStringLiteral("OCR"));
    m_ocrButton->setToolTip(QStringLiteral("Reconnaître le texte (FR + EN) et le copier"));
    m_ocrButton->setAutoDefault(false);
    m_ocrButton->setFocusPolicy(Qt::NoFocus);
    connect(m_ocrButton, &QPushButton::clicked, this, [this] {
        if (onOCR)
            onOCR();
    });
    row->addWidget(m_ocrButton);
    row->addWidget(
        iconButton(QStringLiteral("eyedropper"), QStringLiteral("Pipette: copier le code hex"), [this] {
            if (onPipette)
                onPipette();
        }));
    row->addWidget(iconButton(QStringLiteral("pin"), QStringLiteral("Épingler"), [this] {
        if (onPin)
            onPin();
    }));
}

QToolButton *ImageBarView::iconButton(const QString &role, const QString &tooltip,
                                      std::function<void()> action)
{
    QToolButton *button = BarControls::iconButton(role, tooltip, QSize(30, 24));
    connect(button, &QToolButton::clicked, this, std::move(action));
    return button;
}

QToolButton *ImageBarView::button(const QString &role) const
{
    return findChild<QToolButton *>(role);
}

void ImageBarView::showZoom(double zoom)
{
    m_zoomButton->setText(CanvasGeometry::zoomLabel(zoom));
}

void ImageBarView::updateWellVisibility()
{
    const int index = m_backgroundPopup->currentIndex();
    m_colorWell1->setVisible(index >= 1);
    m_colorWell2->setVisible(index == 2);
}

void ImageBarView::decorationControlChanged()
{
    if (m_syncing)
        return;
    Decoration next;
    next.padding = rounded(m_paddingSlider);
    next.cornerRadius = rounded(m_cornerSlider);
    next.hasShadow = m_shadowCheckbox->isChecked();
    // isVisibleTo: the wells' own state, whether or not the window is on screen yet.
    const bool well1Shown = m_colorWell1->isVisibleTo(this);
    switch (m_backgroundPopup->currentIndex()) {
    case 2:
        if (!well1Shown)
            m_colorWell1->setColor(m_gradientStart);
        else
            m_gradientStart = m_colorWell1->color();
        m_gradientEnd = m_colorWell2->color();
        next.background = Decoration::Gradient{m_gradientStart, m_gradientEnd};
        break;
    case 1: {
        const QColor color = well1Shown ? m_colorWell1->color() : m_solidColor;
        m_solidColor = color;
        m_colorWell1->setColor(color);
        next.background = Decoration::Solid{color};
        break;
    }
    default: next.background = Decoration::None{};
    }
    updateWellVisibility();
    if (next == m_decoration)
        return;
    m_decoration = next;
    if (onDecorationChanged)
        onDecorationChanged(next);
}

void ImageBarView::sync(const Decoration &d)
{
    m_syncing = true;
    m_decoration = d;
    m_paddingSlider->setValue(int(std::lround(d.padding * sliderScale)));
    m_cornerSlider->setValue(int(std::lround(d.cornerRadius * sliderScale)));
    m_shadowCheckbox->setChecked(d.hasShadow);
    if (const auto *solid = std::get_if<Decoration::Solid>(&d.background)) {
        m_backgroundPopup->setCurrentIndex(1);
        m_solidColor = solid->color;
        m_colorWell1->setColor(solid->color);
    } else if (const auto *gradient = std::get_if<Decoration::Gradient>(&d.background)) {
        m_backgroundPopup->setCurrentIndex(2);
        m_gradientStart = gradient->start;
        m_gradientEnd = gradient->end;
        m_colorWell1->setColor(gradient->start);
        m_colorWell2->setColor(gradient->end);
    } else {
        m_backgroundPopup->setCurrentIndex(0);
    }
    updateWellVisibility();
    m_syncing = false;
}
