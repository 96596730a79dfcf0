// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/OverlayWindow.h"

#include "capture/OverlayView.h"

#include <QScreen>
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

void OverlayWindow::reuse(QScreen *screen, const QImage &frozen)
{
    m_view->setFrozen(screen, frozen);
    setGeometry(screen->geometry());
}

void OverlayWindow::finished()
{
    releaseKeyboard();
    hide();
    m_view->releaseFrozen();
}
