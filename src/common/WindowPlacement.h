// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QScreen;
class QWidget;

namespace WindowPlacement {

// Centres the window in the available area of the screen under the pointer (else the primary screen).
void centerOnActiveScreen(QWidget *window);

// Whether only the compositor places windows (Wayland): Pim can then neither move its windows nor fade
// them. The app says so at start-up.
void setCompositorPlacesWindows(bool placesWindows);
bool compositorPlacesWindows();

// Whether a compositor draws translucent windows over what is under them (always on Wayland; on X11 when
// a compositing manager runs): only then can a window cast a shadow. Asked anew each time; the app sets
// how to tell.
void setCompositingProbe(bool (*probe)());
bool compositing();

// Shows a window over the whole of a screen (the capture overlays, the pipette): moved there where Pim
// places its own windows, made full-screen on that screen's output where the compositor does.
void coverScreen(QWidget *window, QScreen *screen);

} // namespace WindowPlacement
