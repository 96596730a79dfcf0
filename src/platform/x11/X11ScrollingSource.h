// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/ScrollingSource.h"

class X11ScreenCapturer;
typedef struct _XDisplay Display;

// Scrolls with XTest wheel events (buttons 4 and 5), as a mouse would, and reads the area through the
// screen reader's shared-memory path.
class X11ScrollingSource : public ScrollingSource {
public:
    // Connects to the display named (the DISPLAY variable when empty).
    X11ScrollingSource(X11ScreenCapturer &reader, const QByteArray &display = QByteArray());
    ~X11ScrollingSource() override;
    X11ScrollingSource(const X11ScrollingSource &) = delete;
    X11ScrollingSource &operator=(const X11ScrollingSource &) = delete;

    QString unavailableReason() const override;
    bool scroll(const QPoint &point, int clicks) override;
    Result<QImage> readArea(const QRect &rect) override;
    std::optional<QPoint> pointer() override;
    void movePointer(const QPoint &point) override;

private:
    X11ScreenCapturer &m_reader;
    Display *m_display = nullptr;
    bool m_xtest = false;
};
