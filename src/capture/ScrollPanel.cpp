// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/ScrollPanel.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

ScrollPanel::ScrollPanel()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), m_label(new QLabel),
      m_stop(new QPushButton(QStringLiteral("Arrêter")))
{
    setAttribute(Qt::WA_ShowWithoutActivating, false);
    setWindowTitle(QStringLiteral("Capture défilante"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(10, 6, 6, 6);
    layout->addWidget(m_label);
    layout->addWidget(m_stop);
    m_label->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("Hauteur : 000 000 px")));
    setStyleSheet(QStringLiteral("ScrollPanel { background: #202124; border: 1px solid #5f6368; }"
                                 "QLabel { color: white; }"));
    connect(m_stop, &QPushButton::clicked, this, [this] {
        if (onStop)
            onStop();
    });
    showHeight(0);
}

void ScrollPanel::showHeight(int pixels)
{
    m_label->setText(QStringLiteral("Hauteur : %1 px").arg(QLocale(QLocale::French).toString(pixels)));
}

void ScrollPanel::showMessage(const QString &text)
{
    m_label->setText(text);
    m_stop->hide();
    adjustSize();
}

QString ScrollPanel::text() const
{
    return m_label->text();
}

bool ScrollPanel::placeBeside(const QRect &area, const QRect &screenRect)
{
    adjustSize();
    const QSize size = sizeHint().expandedTo(minimumSizeHint());
    constexpr int gap = 8;
    const int top = std::clamp(area.top(), screenRect.top(), screenRect.bottom() - size.height());
    const int left = std::clamp(area.left(), screenRect.left(), screenRect.right() - size.width());
    const QRect candidates[] = {
        QRect(QPoint(area.right() + 1 + gap, top), size),
        QRect(QPoint(area.left() - gap - size.width(), top), size),
        QRect(QPoint(left, area.bottom() + 1 + gap), size),
        QRect(QPoint(left, area.top() - gap - size.height()), size),
    };
    for (const QRect &place : candidates) {
        if (screenRect.contains(place) && !place.intersects(area)) {
            setGeometry(place);
            return true;
        }
    }
    return false;
}

void ScrollPanel::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && onStop) {
        onStop();
        return;
    }
    QWidget::keyPressEvent(event);
}
