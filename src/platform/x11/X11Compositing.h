// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace X11Compositing {

// Whether a compositing manager owns the screen's _NET_WM_CM_Sn selection, over Qt's own connection:
// only then are translucent windows drawn over what lies under them.
bool managerRuns();

} // namespace X11Compositing
