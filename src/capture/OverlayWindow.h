#pragma once

#include <QWidget>

class OverlayView;
class QImage;
class QScreen;

// A frameless window covering one whole screen, above everything, holding its OverlayView.
class OverlayWindow : public QWidget {
    Q_OBJECT
public:
    OverlayWindow(QScreen *screen, const QImage &frozen);
    OverlayView *overlayView() const { return m_view; }

private:
    OverlayView *m_view;
};
