#pragma once

class QWidget;

namespace WindowPlacement {

// Centres the window in the available area of the screen under the pointer (else the primary screen).
void centerOnActiveScreen(QWidget *window);

} // namespace WindowPlacement
