// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/OverlayWindowPool.h"

#include "capture/OverlayWindow.h"

#include <QScreen>

OverlayWindowPool::OverlayWindowPool()
{
    m_idle.setSingleShot(true);
    m_idle.setInterval(60000);
    connect(&m_idle, &QTimer::timeout, this, &OverlayWindowPool::dropHidden);
}

OverlayWindowPool::~OverlayWindowPool()
{
    qDeleteAll(m_windows);
}

OverlayWindow *OverlayWindowPool::forScreen(QScreen *screen, const QImage &frozen)
{
    m_idle.stop();
    if (OverlayWindow *window = m_windows.value(screen)) {
        window->reuse(screen, frozen);
        return window;
    }
    auto *window = new OverlayWindow(screen, frozen);
    m_windows.insert(screen, window);
    connect(screen, &QObject::destroyed, window, [this, screen] { delete m_windows.take(screen); });
    return window;
}

void OverlayWindowPool::finished(OverlayWindow *window)
{
    window->finished();
    m_idle.start();
}

void OverlayWindowPool::dropHidden()
{
    // Only windows that are not showing a selection.
    for (auto it = m_windows.begin(); it != m_windows.end();) {
        if (it.value()->isVisible()) {
            ++it;
        } else {
            delete it.value();
            it = m_windows.erase(it);
        }
    }
}
