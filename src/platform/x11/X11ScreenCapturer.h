// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/ScreenCapturer.h"

#include <QElapsedTimer>
#include <QObject>
#include <QRect>
#include <QTimer>

#include <memory>

#include <xcb/shm.h>
#include <xcb/xcb.h>

// Screen pixels on X11, read from the root window over a connection of our own: through a MIT-SHM
// segment kept between captures, or with a plain GetImage when the server offers no shared memory.
// Neither includes the pointer. When the request names windows of Pim's that just closed, the reading
// waits until the server has taken them (and their window manager's frames) off the screen, Pim's
// windows under them have been painted again and other programs have had a moment to do the same; never
// longer than `settleLimitMilliseconds`.
class X11ScreenCapturer : public ScreenCapturer {
public:
    // Connects to the display named (the DISPLAY variable when empty).
    explicit X11ScreenCapturer(const QByteArray &display = QByteArray());
    ~X11ScreenCapturer() override;
    X11ScreenCapturer(const X11ScreenCapturer &) = delete;
    X11ScreenCapturer &operator=(const X11ScreenCapturer &) = delete;

    void capture(const Request &request, Completion done) override;
    std::optional<QPoint> nativePointer() override;
    // One screen at once, without waiting for anything (for tests and benches).
    Result<QImage> grabScreen(QScreen *screen);
    // Whether the server still shows the window, or the frame a window manager put around it.
    bool isShown(WId window);
    // A rectangle of the root window, in root pixels.
    Result<QImage> grabRootRect(const QRect &rect);

    bool usesSharedMemory() const { return m_shm; }
    // How long the buffers stay after the last grab, in milliseconds (60 s).
    void setKeepBuffersFor(int milliseconds) { m_idle.setInterval(milliseconds); }
    bool holdsBuffers() const { return m_address != nullptr || !m_spare.isNull(); }
    // For tests: behave as if the server had no MIT-SHM.
    void disableSharedMemory();

    // The longest a reading waits for closing windows, and how long after a window closed other programs'
    // windows under it are given to paint themselves again.
    static constexpr int settleLimitMilliseconds = 150;
    static constexpr int othersRepaintMilliseconds = 40;

private:
    struct Reading;
    void settle(const std::shared_ptr<Reading> &reading);
    void read(const std::shared_ptr<Reading> &reading);
    Result<QImage> grabShared(const QRect &rect);
    Result<QImage> grabPlain(const QRect &rect);
    bool ensureSegment(size_t bytes);
    void releaseSegment();
    // Makes m_spare a picture of that size to fill: the last one when nobody else holds it, else a new
    // one. False when there is no memory for it.
    bool prepareSpare(QSize size);

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    QRect m_rootRect;
    bool m_formatOk = false;
    bool m_shm = false;
    xcb_shm_seg_t m_segment = 0;
    int m_shmId = -1;
    void *m_address = nullptr;
    size_t m_segmentSize = 0;
    // Captures come in bursts: the shared segment and the last picture are kept for the next grab (a new
    // 4K picture's first touch costs far more than the copy into it), and let go after a quiet minute.
    QImage m_spare;
    QTimer m_idle;
    QObject m_context; // the waits of a reading end with the capturer
};
