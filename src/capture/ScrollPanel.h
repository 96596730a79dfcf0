// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

// The small panel beside a scrolling capture's area: the height stitched so far, then a word on how it
// ended, and "Arrêter" (Escape too).
class ScrollPanel : public QWidget {
    Q_OBJECT
public:
    ScrollPanel();

    std::function<void()> onStop;

    void showHeight(int pixels);
    void showMessage(const QString &text);
    QString text() const;
    // Beside `area` (global logical coordinates) on `screenRect`, outside it: to its right, left, below
    // or above, where it fits. False when it fits nowhere outside the area.
    bool placeBeside(const QRect &area, const QRect &screenRect);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    QLabel *m_label;
    QPushButton *m_stop;
};
