// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <optional>

// Where a recording's frames come from: an area of the screen read again and again, on the recorder's
// thread (every call comes from that one thread).
class FrameSource {
public:
    virtual ~FrameSource() = default;

    // Why this session cannot record the screen; empty when it can.
    virtual QString unavailableReason() const = 0;
    // Gets ready to read `area` (in the screen's pixels, the way the capture's pictures are cut), with the
    // pointer drawn in or not.
    virtual Result<Done> begin(const QRect &area, bool pointer) = 0;
    // The area as it is now (RGB32, of the area's size), or nothing when nothing in it has changed since
    // the last frame given (the pointer included). An error ends the recording (the screen went away).
    virtual Result<std::optional<QImage>> grab() = 0;
    virtual void end() = 0;
};
