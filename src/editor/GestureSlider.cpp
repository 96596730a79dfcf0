// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/GestureSlider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

GestureSlider::GestureSlider(int minimum, int maximum, int step, QWidget *parent)
    : QSlider(Qt::Horizontal, parent)
{
    setRange(minimum, maximum);
    setSingleStep(step);
    setPageStep(step * 5);
    setTracking(false);
    // Reached with Tab for the keys; a click leaves the keyboard with the canvas.
    setFocusPolicy(Qt::TabFocus);
    m_wheelPause.setSingleShot(true);
    m_wheelPause.setInterval(wheelPauseMs);
    connect(&m_wheelPause, &QTimer::timeout, this, [this] { end(); });
}

void GestureSlider::end()
{
    if (onGestureEnd)
        onGestureEnd();
}

void GestureSlider::mousePressEvent(QMouseEvent *event)
{
    QSlider::mousePressEvent(event);
    m_pressed = m_pressed || event->button() == Qt::LeftButton || event->button() == Qt::MiddleButton;
}

void GestureSlider::mouseReleaseEvent(QMouseEvent *event)
{
    QSlider::mouseReleaseEvent(event); // lets go of the handle or stops the groove's repeat first
    if (m_pressed && !(event->buttons() & (Qt::LeftButton | Qt::MiddleButton))) {
        m_pressed = false;
        end();
    }
}

void GestureSlider::keyPressEvent(QKeyEvent *event)
{
    QSlider::keyPressEvent(event);
    if (event->isAccepted()) // the slider's own keys: arrows, pages, Home, End
        m_keyGesture = true;
}

void GestureSlider::keyReleaseEvent(QKeyEvent *event)
{
    QSlider::keyReleaseEvent(event);
    if (m_keyGesture && !event->isAutoRepeat()) {
        m_keyGesture = false;
        end();
    }
}

void GestureSlider::wheelEvent(QWheelEvent *event)
{
    QSlider::wheelEvent(event);
    if (event->isAccepted())
        m_wheelPause.start();
}
