#pragma once

#include <QWidget>

class OverlayView;
class QImage;
class QScreen;

// A frameless window covering one whole screen, above everything, holding its OverlayView. There is one
// per screen, kept hidden between selections: showing a window that exists, with its buffers, is several
// times faster on a 4K screen than making a new one. It goes with its screen.
class OverlayWindow : public QWidget {
    Q_OBJECT
public:
    OverlayWindow(QScreen *screen, const QImage &frozen);
    // The screen's window showing that picture, made on first use.
    static OverlayWindow *forScreen(QScreen *screen, const QImage &frozen);
    OverlayView *overlayView() const { return m_view; }

private:
    OverlayView *m_view;
};
