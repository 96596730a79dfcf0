// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QRect>
#include <QString>

// The places of the desktop's windows, for capturing one: in root pixels, topmost first, each with its
// window manager's frame and without the shadow a program draws around itself.
class WindowLister {
public:
    virtual ~WindowLister() = default;
    // Why this session cannot tell where other programs' windows are; empty when it can.
    virtual QString unavailableReason() const = 0;
    virtual QList<QRect> windows() = 0;
};
