#include "capture/OverlayWindow.h"

#include "capture/OverlayView.h"

#include <QApplication>
#include <QHash>
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

OverlayWindow *OverlayWindow::forScreen(QScreen *screen, const QImage &frozen)
{
    static QHash<QScreen *, OverlayWindow *> windows;
    if (OverlayWindow *window = windows.value(screen)) {
        window->m_view->setFrozen(screen, frozen);
        window->setGeometry(screen->geometry());
        return window;
    }
    auto *window = new OverlayWindow(screen, frozen);
    windows.insert(screen, window);
    QObject::connect(screen, &QObject::destroyed, window, [screen] { delete windows.take(screen); });
    // The application object outlives no window: they go with it.
    QObject::connect(qApp, &QObject::destroyed, [] {
        qDeleteAll(windows);
        windows.clear();
    });
    return window;
}
