// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>
#include <QTimer>

class OverlayWindow;
class QImage;
class QScreen;

// The overlay windows of one capture coordinator, one per screen, kept hidden between the selections of a
// burst: showing a window that exists, with its buffers, is several times faster on a 4K screen than
// making a new one. A window goes with its screen, after a quiet minute, or with the pool.
class OverlayWindowPool : public QObject {
    Q_OBJECT
public:
    OverlayWindowPool();
    ~OverlayWindowPool() override;

    // The screen's window showing that picture, made on first use.
    OverlayWindow *forScreen(QScreen *screen, const QImage &frozen);
    // A selection has ended on that window: hidden, its picture let go; the window itself is kept.
    void finished(OverlayWindow *window);
    // How long hidden windows are kept, in milliseconds (60 s); and how many are.
    void setKeepFor(int milliseconds) { m_idle.setInterval(milliseconds); }
    int kept() const { return int(m_windows.size()); }

private:
    void dropHidden();

    QHash<QScreen *, OverlayWindow *> m_windows;
    QTimer m_idle;
};
