// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"

#include <QImage>
#include <QRect>
#include <QString>

#include <functional>
#include <optional>

class QScreen;

// Where a recording's frames come from: an area of the screen read again and again. prepare() and
// begin() are called on the main thread, the others on the recorder's reading thread.
class FrameSource {
public:
    virtual ~FrameSource() = default;

    // Why this session cannot record the screen; empty when it can.
    virtual QString unavailableReason() const = 0;
    // What the source needs before a recording of that screen can start (a screen-cast session the desktop
    // may ask the person about), on the main thread; `done` runs once, later or at once, with why not.
    virtual void prepare(QScreen *screen, bool pointer, std::function<void(const Result<Done> &)> done)
    {
        Q_UNUSED(screen);
        Q_UNUSED(pointer);
        done(Done{});
    }
    // Gets ready to read `area` (in root pixels: the screen's native rectangle's corner plus the pixels
    // within it), with the pointer drawn in or not.
    virtual Result<Done> begin(const QRect &area, bool pointer) = 0;
    // The area as it is now (RGB32, of the area's size), or nothing when nothing in it has changed since
    // the last frame given (the pointer included). An error ends the recording (the screen went away).
    virtual Result<std::optional<QImage>> grab() = 0;
    virtual void end() = 0;
};
