#pragma once

class QScreen;
class QWidget;

namespace WindowPlacement {

// Centres the window in the available area of the screen under the pointer (else the primary screen).
void centerOnActiveScreen(QWidget *window);

// Shows a window over the whole of a screen (the capture overlays, the pipette). Where Pim places its own
// windows (X11) it is moved there; where only the compositor places windows (Wayland) it is made
// full-screen on that screen's output. The app chooses at start-up.
void coverScreen(QWidget *window, QScreen *screen);
void setCoverScreensFullScreen(bool fullScreen);

} // namespace WindowPlacement
