// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QRectF>

#include <functional>
#include <optional>

class OverlayView;
class OverlayWindowPool;
class QScreen;
class QWidget;

// One area selection: a frameless window over every screen showing its frozen picture dimmed, a drag on
// one of them, and exactly one result (the rectangle, or nothing on Escape, a plain click, a drag under
// 2 × 2 points or a change of screens).
class SelectionController : public QObject {
    Q_OBJECT
public:
    struct Frozen {
        QScreen *screen = nullptr;
        QImage image; // native pixels of the whole screen
    };
    struct Result {
        QRectF rect; // global logical coordinates, whole numbers
        QScreen *screen = nullptr;
        std::optional<QRect> pixels; // a window chosen: its rectangle in the screen's pixels
    };

    // The windows come from the pool and go back to it.
    explicit SelectionController(OverlayWindowPool &pool);
    ~SelectionController() override;

    void begin(const QList<Frozen> &screens, std::function<void(std::optional<Result>)> completion);
    // A line shown at the top of each screen until the drag starts (none by default).
    void setHint(const QString &hint) { m_hint = hint; }
    // Window mode: the windows to choose from, in root pixels, topmost first; a click takes one.
    void setWindows(const QList<QRect> &windows) { m_windowRects = windows; }
    bool isShowing() const { return !m_windows.isEmpty(); }
    QList<QWidget *> windows() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void finish(std::optional<QRectF> rect, QScreen *screen, std::optional<QRect> pixels = std::nullopt);
    OverlayView *viewUnderCursor() const;

    OverlayWindowPool &m_pool;
    QString m_hint;
    QList<QRect> m_windowRects;
    QList<QPointer<QWidget>> m_windows;
    std::function<void(std::optional<Result>)> m_completion;
    QList<QMetaObject::Connection> m_screenWatch;
};
