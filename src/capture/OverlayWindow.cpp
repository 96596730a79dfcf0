// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/OverlayWindow.h"

#include "capture/OverlayView.h"

#include <QApplication>
#include <QHash>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>

OverlayWindow::OverlayWindow(QScreen *screen, const QImage &frozen)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::BypassWindowManagerHint | Qt::NoDropShadowWindowHint),
      m_view(new OverlayView(screen, frozen, this))
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QStringLiteral("Pim"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setGeometry(screen->geometry());
    setCursor(Qt::CrossCursor);
    setFocusProxy(m_view);
}

namespace {

QHash<QScreen *, OverlayWindow *> &pool()
{
    static QHash<QScreen *, OverlayWindow *> windows;
    return windows;
}

void dropPool()
{
    qDeleteAll(pool());
    pool().clear();
}

QTimer &idleTimer()
{
    static QTimer *timer = [] {
        auto *t = new QTimer(qApp);
        t->setSingleShot(true);
        t->setInterval(60000);
        QObject::connect(t, &QTimer::timeout, [] {
            // Only windows that are not showing a selection.
            for (auto it = pool().begin(); it != pool().end();) {
                if (it.value()->isVisible()) {
                    ++it;
                } else {
                    delete it.value();
                    it = pool().erase(it);
                }
            }
        });
        // The pooled windows go with the application object (its destroyed signal), not at static
        // destruction, when no window may be deleted any more.
        QObject::connect(qApp, &QObject::destroyed, [] { dropPool(); });
        return t;
    }();
    return *timer;
}

} // namespace

OverlayWindow *OverlayWindow::forScreen(QScreen *screen, const QImage &frozen)
{
    idleTimer().stop();
    if (OverlayWindow *window = pool().value(screen)) {
        window->m_view->setFrozen(screen, frozen);
        window->setGeometry(screen->geometry());
        return window;
    }
    auto *window = new OverlayWindow(screen, frozen);
    pool().insert(screen, window);
    QObject::connect(screen, &QObject::destroyed, window, [screen] { delete pool().take(screen); });
    return window;
}

void OverlayWindow::finished()
{
    releaseKeyboard();
    hide();
    m_view->releaseFrozen();
    idleTimer().start();
}

void OverlayWindow::setKeepFor(int milliseconds)
{
    idleTimer().setInterval(milliseconds);
}

int OverlayWindow::kept()
{
    return int(pool().size());
}
