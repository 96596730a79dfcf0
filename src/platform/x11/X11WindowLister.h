// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/WindowLister.h"

#include <xcb/xcb.h>

#include <array>
#include <optional>

// The root window's mapped children in stacking order, over a connection of its own. A child a window
// manager made is a frame: the program's window inside it (the one with WM_STATE) gives the place, grown
// by _NET_FRAME_EXTENTS; a program that draws its own shadow says how wide in _GTK_FRAME_EXTENTS, which is
// taken off.
class X11WindowLister : public WindowLister {
public:
    explicit X11WindowLister(const QByteArray &display = QByteArray());
    ~X11WindowLister() override;
    X11WindowLister(const X11WindowLister &) = delete;
    X11WindowLister &operator=(const X11WindowLister &) = delete;

    QString unavailableReason() const override;
    QList<QRect> windows() override;

private:
    xcb_atom_t atom(const char *name);
    // Left, right, top, bottom.
    std::optional<std::array<int, 4>> extents(xcb_window_t window, xcb_atom_t property);
    xcb_window_t clientOf(xcb_window_t window, int depth);
    std::optional<QRect> rootRect(xcb_window_t window);

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    xcb_atom_t m_wmState = 0, m_frameExtents = 0, m_gtkExtents = 0;
};
