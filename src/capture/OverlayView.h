// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <functional>
#include <optional>

class QScreen;

// One screen's frozen picture under a 25 % black dim. A drag cuts the selection clear, outlines it in
// white and labels its size in pixels; releasing commits it (global logical coordinates) or, when it is
// smaller than 2 × 2 points, cancels.
class OverlayView : public QWidget {
    Q_OBJECT
public:
    OverlayView(QScreen *screen, const QImage &frozen, QWidget *parent = nullptr);

    std::function<void(const QRectF &globalRect)> onCommit;
    std::function<void()> onCancel;
    // Window mode: a click takes the window under the pointer, in the screen's pixels.
    std::function<void(const QRect &pixels)> onCommitWindow;

    // The windows to choose from, in the screen's pixels, topmost first; none for the area selection.
    void setWindows(const QList<QRect> &windows);
    bool isWindowMode() const { return m_windowMode; }
    // The window under the pointer in window mode, in the screen's pixels.
    std::optional<QRect> hoveredWindow() const { return m_hovered; }
    QRectF hoveredRect() const;

    // The loupe beside the pointer: the frozen pixels around it, eight times larger, with a crosshair and
    // the pointer's place in the screen's pixels; never over the selection's size label.
    void setLoupeShown(bool shown);
    bool isLoupeShown() const { return m_loupeShown; }
    QRectF loupeRect() const;
    // Where the selection's (or the window's) size label is; empty when there is none.
    QRectF sizeLabelRect() const;
    // The pixel under the pointer, in the screen's pixels.
    QPoint pointerPixel() const { return m_pointer; }
    static constexpr int loupePixels = 15, loupeZoom = 8;

    // The keyboard: the arrow keys move the pointer by a pixel (ten with Maj), Return or Space starts
    // the drag where the pointer is, and a second press commits it.
    void movePointerBy(QPoint pixels);
    void pressAtPointer();
    // Puts the loupe's pointer where the mouse pointer is.
    void followCursor();

    // Shows another frozen picture (the window is reused from one selection to the next).
    void setFrozen(QScreen *screen, const QImage &frozen);
    // Lets go of the frozen picture once the selection has ended (the dimmed buffer stays for the next).
    void releaseFrozen();
    QScreen *screen() const { return m_screen; }
    // The selection being dragged, in view coordinates; empty when there is none.
    QRectF selection() const;
    QString labelText() const;
    // A line at the top of the screen, shown until a drag starts.
    void setHint(const QString &hint);
    QString hint() const { return m_hint; }
    QRectF hintRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QRect dirtyArea(const QRectF &selection) const;
    QRectF labelRect(const QRectF &selection) const;

    QPointer<QScreen> m_screen;
    QImage m_frozen; // native pixels
    QImage m_dimmed;
    double m_ratio = 1;
    std::optional<QPointF> m_start;
    std::optional<QPointF> m_current;
    QFont m_labelFont;
    QString m_hint;
    bool m_windowMode = false;
    QList<QRect> m_windows;
    std::optional<QRect> m_hovered;
    void hover(QPointF position);
    void paintLoupe(QPainter &painter);
    void paintHintAndLoupe(QPainter &painter);
    void pointAt(QPoint pixel, bool moveCursor);
    QRect loupeArea() const;
    bool m_loupeShown = true;
    QPoint m_pointer;
    std::optional<QPoint> m_cursorSetTo; // where a key put the mouse pointer (global points)
};
