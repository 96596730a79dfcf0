// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class OverlayView;
class QImage;
class QScreen;

// A frameless window covering one whole screen, above everything, holding its OverlayView. Made and kept
// by an OverlayWindowPool.
class OverlayWindow : public QWidget {
    Q_OBJECT
public:
    OverlayWindow(QScreen *screen, const QImage &frozen);
    // Made ready for another selection on that screen with that picture (shown by the caller).
    void reuse(QScreen *screen, const QImage &frozen);
    // The selection has ended: hidden, its picture let go.
    void finished();
    OverlayView *overlayView() const { return m_view; }

private:
    OverlayView *m_view;
};
