// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <optional>

// What a scrolling capture needs of the desktop: scroll the window under a point as the mouse wheel does,
// read a rectangle of the screen, and put the pointer back. Coordinates are root pixels.
class ScrollingSource {
public:
    virtual ~ScrollingSource() = default;

    // Why this session cannot do it, in a sentence for the menu; empty when it can.
    virtual QString unavailableReason() const = 0;
    // Moves the pointer to `point` and turns the wheel down by `clicks` notches.
    virtual bool scroll(const QPoint &point, int clicks) = 0;
    virtual Result<QImage> readArea(const QRect &rect) = 0;
    virtual std::optional<QPoint> pointer() = 0;
    virtual void movePointer(const QPoint &point) = 0;
};
