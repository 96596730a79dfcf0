// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class OverlayView;
class QImage;
class QScreen;

// A frameless window covering one whole screen, above everything, holding its OverlayView. There is one
// per screen, kept hidden between the selections of a burst: showing a window that exists, with its
// buffers, is several times faster on a 4K screen than making a new one. It goes with its screen, or after
// a quiet minute.
class OverlayWindow : public QWidget {
    Q_OBJECT
public:
    OverlayWindow(QScreen *screen, const QImage &frozen);
    // The screen's window showing that picture, made on first use.
    static OverlayWindow *forScreen(QScreen *screen, const QImage &frozen);
    // The selection has ended: hidden, its picture let go; the windows themselves go after a quiet minute.
    void finished();
    // How long hidden windows are kept, in milliseconds (60 s); and whether any is.
    static void setKeepFor(int milliseconds);
    static int kept();
    OverlayView *overlayView() const { return m_view; }

private:
    OverlayView *m_view;
};
