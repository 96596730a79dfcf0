// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/ClosingWindows.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

ClosingWindows::ClosingWindows(QObject *parent) : QObject(parent)
{
    qApp->installEventFilter(this);
}

ClosingWindows::~ClosingWindows()
{
    if (qApp)
        qApp->removeEventFilter(this);
}

bool ClosingWindows::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Hide && event->type() != QEvent::Show)
        return false;
    // A widget's window is hidden with it: its native window is the one that leaves the screen.
    QWindow *window = nullptr;
    if (auto *widget = qobject_cast<QWidget *>(watched); widget && widget->isWindow())
        window = widget->windowHandle();
    if (!window || !window->handle() || window->parent())
        return false;
    const WId id = window->winId();
    if (event->type() == QEvent::Show) {
        // On screen again (a window kept between uses): no longer closing.
        m_hidden.removeIf([id](const ClosingWindow &known) { return known.id == id; });
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    for (ClosingWindow &known : m_hidden) {
        if (known.id == id) {
            known.geometry = window->frameGeometry();
            known.hiddenAt = now;
            return false;
        }
    }
    m_hidden << ClosingWindow{id, window->frameGeometry(), now};
    return false;
}

QList<ClosingWindow> ClosingWindows::recent() const
{
    const auto oldest = std::chrono::steady_clock::now() - std::chrono::milliseconds(recentMilliseconds);
    m_hidden.removeIf([oldest](const ClosingWindow &window) { return window.hiddenAt < oldest; });
    QList<ClosingWindow> list = m_hidden;
    std::sort(list.begin(), list.end(),
              [](const ClosingWindow &a, const ClosingWindow &b) { return a.hiddenAt < b.hiddenAt; });
    return list;
}

void ClosingWindows::repaintUnder(const QList<ClosingWindow> &closing)
{
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (!widget->isVisible() || widget->isMinimized() || !widget->windowHandle())
            continue;
        const QRect frame = widget->frameGeometry();
        for (const ClosingWindow &window : closing) {
            if (window.id != widget->windowHandle()->winId() && frame.intersects(window.geometry)) {
                widget->repaint();
                break;
            }
        }
    }
}
