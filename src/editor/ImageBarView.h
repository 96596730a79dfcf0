// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotation/Decoration.h"

#include <QColor>
#include <QWidget>

#include <functional>

class ColorWell;
class QCheckBox;
class QComboBox;
class QPushButton;
class GestureSlider;
class QToolButton;

// The second strip of an editor window: crop, resize and the two rotations; the decoration of the final
// picture (margin, background, corners, shadow); the zoom; text recognition and the pipette. It edits
// nothing: it reports, and is told the document's decoration after every change without reporting it back.
class ImageBarView : public QWidget {
    Q_OBJECT
public:
    explicit ImageBarView(QWidget *parent = nullptr);

    std::function<void()> onCrop;
    std::function<void()> onResizeRequested;
    std::function<void(bool clockwise)> onRotate;
    std::function<void(const Decoration &)> onDecorationChanged;
    std::function<void()> onOCR;
    std::function<void()> onPipette;
    std::function<void()> onPin;
    std::function<void()> onZoomToFit;
    std::function<void(double zoom)> onZoom;
    std::function<void(int direction)> onZoomStep;

    // Shows the canvas's zoom ("75 %").
    void showZoom(double zoom);
    QToolButton *zoomButton() const { return m_zoomButton; }

    // Shows a decoration in the controls; never reports.
    void sync(const Decoration &decoration);
    const Decoration &decoration() const { return m_decoration; }

    // Reads the controls after a change and reports the new decoration if it differs.
    void decorationControlChanged();

    GestureSlider *paddingSlider() const { return m_paddingSlider; }
    QComboBox *backgroundPopup() const { return m_backgroundPopup; }
    ColorWell *colorWell1() const { return m_colorWell1; }
    ColorWell *colorWell2() const { return m_colorWell2; }
    GestureSlider *cornerSlider() const { return m_cornerSlider; }
    QCheckBox *shadowCheckbox() const { return m_shadowCheckbox; }
    QToolButton *button(const QString &role) const;
    QPushButton *ocrButton() const { return m_ocrButton; }

    // Sliders work in hundredths of a point, so that a release between two whole values rounds.
    static constexpr int sliderScale = 100;

private:
    QToolButton *iconButton(const QString &role, const QString &tooltip, std::function<void()> action);
    void updateWellVisibility();

    Decoration m_decoration;
    GestureSlider *m_paddingSlider = nullptr;
    QComboBox *m_backgroundPopup = nullptr;
    ColorWell *m_colorWell1 = nullptr;
    ColorWell *m_colorWell2 = nullptr;
    GestureSlider *m_cornerSlider = nullptr;
    QCheckBox *m_shadowCheckbox = nullptr;
    QPushButton *m_ocrButton = nullptr;
    QToolButton *m_zoomButton = nullptr;
    QColor m_solidColor = Qt::white;
    QColor m_gradientStart;
    QColor m_gradientEnd;
    bool m_syncing = false;
};
