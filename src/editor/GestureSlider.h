// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSlider>
#include <QTimer>

#include <functional>

// A slider of the editor's bars that reports once per gesture, whatever made it: a drag of the handle, the
// groove held down (which steps many times), an arrow key held or pressed, a turn of the wheel (one spin
// of several notches). The report comes at the gesture's end, also when the value ended where it began.
// Setting the value from code reports nothing.
class GestureSlider : public QSlider {
    Q_OBJECT
public:
    GestureSlider(int minimum, int maximum, int step, QWidget *parent = nullptr);

    std::function<void()> onGestureEnd;

    // The pause after the wheel's last notch that ends its gesture.
    static constexpr int wheelPauseMs = 300;

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    void end();

    bool m_pressed = false;
    bool m_keyGesture = false;
    QTimer m_wheelPause;
};
