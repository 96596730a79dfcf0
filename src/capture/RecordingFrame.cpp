// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/RecordingFrame.h"

#include <QPalette>

QList<QRect> RecordingFrame::sides(const QRect &area)
{
    const int t = thickness;
    return {QRect(area.left() - t, area.top() - t, area.width() + 2 * t, t),
            QRect(area.left() - t, area.bottom() + 1, area.width() + 2 * t, t),
            QRect(area.left() - t, area.top(), t, area.height()),
            QRect(area.right() + 1, area.top(), t, area.height())};
}

RecordingFrame::RecordingFrame(const QRect &area)
{
    for (const QRect &side : sides(area)) {
        auto window = std::make_unique<QWidget>(
            nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool |
                         Qt::X11BypassWindowManagerHint | Qt::WindowTransparentForInput |
                         Qt::WindowDoesNotAcceptFocus);
        window->setAttribute(Qt::WA_ShowWithoutActivating);
        window->setWindowTitle(QStringLiteral("Pim — enregistrement"));
        window->setAutoFillBackground(true);
        QPalette palette = window->palette();
        palette.setColor(QPalette::Window, QColor(230, 40, 40));
        window->setPalette(palette);
        window->setGeometry(side);
        window->show();
        m_sides.push_back(std::move(window));
    }
}

RecordingFrame::~RecordingFrame() = default;

QList<QWidget *> RecordingFrame::windows() const
{
    QList<QWidget *> list;
    for (const std::unique_ptr<QWidget> &side : m_sides)
        list << side.get();
    return list;
}
