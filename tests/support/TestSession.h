// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Puts back everything process-wide that a test may change, as a fresh process has it: the shortcut
// registry with no hot-key or desktop service, the US keyboard layout, the screen permission always
// granted with its alerts, relaunch and polling as they ship, no pipette screen reader, Pim placing its own
// windows, and none of the hooks the app sets on the history, the preview and the editors. Tests call it
// from cleanup(), so that one failing test leaves nothing behind for the next.
void resetTestSession();
