// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/SelectionController.h"

#include "capture/CaptureGeometry.h"
#include "capture/OverlayView.h"
#include "capture/OverlayWindow.h"
#include "capture/OverlayWindowPool.h"
#include "common/WindowPlacement.h"
#include "settings/AppSettings.h"
#include "shortcuts/GlobalShortcuts.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QScreen>
#include <QWindow>

SelectionController::SelectionController(OverlayWindowPool &pool) : m_pool(pool) {}

SelectionController::~SelectionController()
{
    qApp->removeEventFilter(this);
    for (const QPointer<QWidget> &window : std::as_const(m_windows)) {
        if (auto *overlay = qobject_cast<OverlayWindow *>(window.data()))
            m_pool.finished(overlay);
    }
}

QList<QWidget *> SelectionController::windows() const
{
    QList<QWidget *> list;
    for (const QPointer<QWidget> &window : m_windows) {
        if (window)
            list << window.data();
    }
    return list;
}

void SelectionController::begin(const QList<Frozen> &screens,
                                std::function<void(std::optional<Result>)> completion)
{
    m_completion = std::move(completion);
    QPointer<SelectionController> self(this);
    for (const Frozen &frozen : screens) {
        OverlayWindow *window = m_pool.forScreen(frozen.screen, frozen.image);
        QScreen *screen = frozen.screen;
        window->overlayView()->setHint(m_hint);
        // The windows on this screen, cut to it, in its pixels.
        QList<QRect> here;
        const QRect native =
            CaptureGeometry::nativeScreenRect(screen->geometry(), screen->devicePixelRatio());
        for (const QRect &rect : std::as_const(m_windowRects)) {
            const QRect cut = rect.intersected(native);
            if (!cut.isEmpty())
                here << cut.translated(-native.topLeft());
        }
        window->overlayView()->setWindows(here);
        window->overlayView()->onCommitWindow = [self, screen](const QRect &pixels) {
            if (!self)
                return;
            const double ratio = screen->devicePixelRatio();
            const QRectF logical(screen->geometry().topLeft() + QPointF(pixels.topLeft()) / ratio,
                                 QSizeF(pixels.size()) / ratio);
            self->finish(logical, screen, pixels);
        };
        window->overlayView()->onCommit = [self, screen](const QRectF &rect) {
            if (self)
                self->finish(rect, screen);
        };
        window->overlayView()->onCancel = [self] {
            if (self)
                self->finish(std::nullopt, nullptr);
        };
        WindowPlacement::coverScreen(window, frozen.screen);
        window->raise();
        window->activateWindow();
        m_windows << window;
    }
    for (const QPointer<QWidget> &window : std::as_const(m_windows)) {
        if (auto *overlay = qobject_cast<OverlayWindow *>(window.data())) {
            overlay->overlayView()->setLoupeShown(AppSettings::shared().showLoupe());
            overlay->overlayView()->followCursor();
        }
    }
    // Escape from any screen, even while another program had the keyboard: the overlay takes it.
    qApp->installEventFilter(this);
    if (!m_windows.isEmpty() && m_windows.first()) {
        QWidget *first = m_windows.first();
        first->setFocus(Qt::OtherFocusReason);
        first->grabKeyboard();
    }
    // A screen plugged in or out while the overlays are up: the rectangles no longer mean anything.
    const auto cancel = [self] {
        if (self)
            self->finish(std::nullopt, nullptr);
    };
    m_screenWatch << connect(qApp, &QGuiApplication::screenAdded, this, cancel);
    m_screenWatch << connect(qApp, &QGuiApplication::screenRemoved, this, cancel);
    if (m_windows.isEmpty())
        finish(std::nullopt, nullptr);
}

bool SelectionController::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape &&
        m_completion) {
        finish(std::nullopt, nullptr);
        return true;
    }
    // The arrows move the pointer by a pixel (ten with Maj); Return or Space starts and ends the drag: on
    // the screen the pointer is on.
    if (type == QEvent::KeyPress && m_completion && watched->isWidgetType()) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const int step = key->modifiers() & Qt::ShiftModifier ? 10 : 1;
        const std::optional<QPoint> move = key->key() == Qt::Key_Left    ? QPoint(-step, 0)
                                           : key->key() == Qt::Key_Right ? QPoint(step, 0)
                                           : key->key() == Qt::Key_Up    ? QPoint(0, -step)
                                           : key->key() == Qt::Key_Down  ? QPoint(0, step)
                                                                         : std::optional<QPoint>();
        const bool press =
            key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space;
        if (move || press) {
            if (OverlayView *view = viewUnderCursor()) {
                if (move)
                    view->movePointerBy(*move);
                else if (!key->isAutoRepeat())
                    view->pressAtPointer();
            }
            return true;
        }
    }
    // The overlay holds the keyboard, so the global shortcuts cannot fire: Pim's own key events are
    // matched against them instead (a full-screen capture may be taken during a selection). Each key
    // reaches the window and then the widget; only the widget's delivery counts.
    if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) && m_completion && watched->isWidgetType() &&
        !static_cast<QKeyEvent *>(event)->isAutoRepeat()) {
        if (const std::optional<GlobalShortcuts::Shortcut> shortcut =
                GlobalShortcuts::Shortcut::fromKeyEvent(event))
            return GlobalShortcuts::handleKeyEvent(*shortcut, type == QEvent::KeyPress);
    }
    return QObject::eventFilter(watched, event);
}

OverlayView *SelectionController::viewUnderCursor() const
{
    OverlayView *first = nullptr;
    for (const QPointer<QWidget> &window : m_windows) {
        auto *overlay = qobject_cast<OverlayWindow *>(window.data());
        if (!overlay)
            continue;
        if (!first)
            first = overlay->overlayView();
        if (overlay->geometry().contains(QCursor::pos()))
            return overlay->overlayView();
    }
    return first;
}

void SelectionController::finish(std::optional<QRectF> rect, QScreen *screen, std::optional<QRect> pixels)
{
    if (!m_completion)
        return;
    auto completion = std::exchange(m_completion, nullptr);
    qApp->removeEventFilter(this);
    for (const QMetaObject::Connection &connection : std::as_const(m_screenWatch))
        disconnect(connection);
    m_screenWatch.clear();
    // The windows are hidden, not destroyed: the next selection shows them again at once.
    for (const QPointer<QWidget> &window : std::as_const(m_windows)) {
        if (auto *overlay = qobject_cast<OverlayWindow *>(window.data()))
            m_pool.finished(overlay);
    }
    m_windows.clear();
    if (rect && screen && pixels)
        completion(Result{*rect, screen, pixels});
    else if (rect && screen && rect->width() >= 2 && rect->height() >= 2)
        completion(Result{*rect, screen, std::nullopt});
    else
        completion(std::nullopt);
}
