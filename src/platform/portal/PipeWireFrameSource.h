// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/FrameSource.h"

#include <QDBusConnection>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

#include <functional>
#include <mutex>

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_stream;

// Hears the portal close a screen-cast session (the monitor went away, the person stopped the sharing).
class ScreenCastSessionWatcher : public QObject {
    Q_OBJECT
public:
    std::function<void()> onClosed;
public slots:
    void closed()
    {
        if (onClosed)
            onClosed();
    }
};

// A recording's frames on Wayland: the ScreenCast portal shares a monitor (the desktop asks once; the
// restore token it gives is kept, so that later recordings start without asking), with the pointer drawn
// in by the compositor; its PipeWire stream's latest picture is cut to the area at each tick.
class PipeWireFrameSource : public FrameSource {
public:
    struct TokenStore {
        std::function<QString()> load;
        std::function<void(const QString &token)> save;
    };
    PipeWireFrameSource(const QDBusConnection &bus, TokenStore tokens, int timeoutMs = 120000);
    ~PipeWireFrameSource() override;
    PipeWireFrameSource(const PipeWireFrameSource &) = delete;
    PipeWireFrameSource &operator=(const PipeWireFrameSource &) = delete;

    QString unavailableReason() const override;
    void prepare(QScreen *screen, bool pointer, std::function<void(const Result<Done> &)> done) override;
    Result<Done> begin(const QRect &area, bool pointer) override;
    Result<std::optional<QImage>> grab() override;
    void end() override;

    // PipeWire's callbacks.
    void formatChanged(int width, int height, bool rgbOrder);
    void frameArrived(const uchar *data, int stride, qsizetype size);
    void streamFailed(const QString &reason);
    void processFrame();

private:
    void selectSources(const QString &session, bool pointer, std::function<void(const Result<Done> &)> done);
    void startSession(std::function<void(const Result<Done> &)> done);
    Result<Done> openRemote();
    void closeSession();

    QDBusConnection m_bus;
    TokenStore m_tokens;
    int m_timeout;
    QObject m_context;
    ScreenCastSessionWatcher m_watcher;
    QString m_session;
    QRect m_screenNative;
    QRect m_screenLogical;
    QRect m_streamLogical;
    uint m_node = 0;
    int m_fd = -1;
    QRect m_area;

    pw_thread_loop *m_loop = nullptr;
    pw_context *m_pwContext = nullptr;
    pw_core *m_core = nullptr;
    pw_stream *m_stream = nullptr;
    void *m_listener = nullptr;

    std::mutex m_mutex;
    QImage m_latest;
    QSize m_size;
    bool m_rgbOrder = false;
    quint64 m_serial = 0, m_given = 0;
    QString m_failure;
};
