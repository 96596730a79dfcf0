// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/FrameSource.h"

#include <xcb/damage.h>
#include <xcb/shm.h>
#include <xcb/xcb.h>

#include <QByteArray>

// A recording's frames on X11, over a connection of its own: the area read through a shared-memory
// segment (a plain GetImage where the server has none), only when DAMAGE says something in it changed;
// the pointer drawn in from XFixes' picture of it.
class X11FrameSource : public FrameSource {
public:
    explicit X11FrameSource(const QByteArray &display = QByteArray());
    ~X11FrameSource() override;
    X11FrameSource(const X11FrameSource &) = delete;
    X11FrameSource &operator=(const X11FrameSource &) = delete;

    QString unavailableReason() const override;
    Result<Done> begin(const QRect &area, bool pointer) override;
    Result<std::optional<QImage>> grab() override;
    void end() override;

private:
    // Whether DAMAGE reported a change inside the area since the last call.
    bool takeDamage();
    Result<Done> readArea();
    void releaseSegment();

    QByteArray m_display;
    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    QRect m_area;
    bool m_pointer = true;
    bool m_shm = false;
    bool m_damageOk = false;
    bool m_xfixes = false;
    uint8_t m_damageEvent = 0;
    xcb_damage_damage_t m_damage = 0;
    xcb_shm_seg_t m_segment = 0;
    void *m_address = nullptr;
    bool m_first = true;
    // The area's last picture without the pointer, and where the pointer was drawn.
    QImage m_screen;
    int m_pointerX = -1, m_pointerY = -1;
    uint32_t m_pointerSerial = 0;
    bool m_pointerShown = false;
};
