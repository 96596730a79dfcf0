// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/ScreenCapturer.h"

#include <QList>
#include <QObject>

#include <chrono>

// Watches Pim's top-level windows going off screen (a menu closing after its item was chosen, the
// preview dismissed, the welcome window closed by its button), so that a reading of the screen right
// after can wait until they are gone.
class ClosingWindows : public QObject {
    Q_OBJECT
public:
    explicit ClosingWindows(QObject *parent = nullptr);
    ~ClosingWindows() override;

    // The windows hidden in the last second, newest last.
    QList<ClosingWindow> recent() const;
    // Repaints at once every shown window of Pim's that overlaps one of those windows.
    static void repaintUnder(const QList<ClosingWindow> &closing);

    // How long a hidden window counts as closing, in milliseconds.
    static constexpr int recentMilliseconds = 1000;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    mutable QList<ClosingWindow> m_hidden;
};
