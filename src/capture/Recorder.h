// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/FrameSource.h"
#include "output/VideoEncoder.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// A recording's two threads: one reads the area at the frame rate (only what changed is passed on, and
// the picture at least once a second), the other encodes behind a bounded queue. A frame that could not
// be read in time, or found the queue full, is counted as late: never silently lost. The end is told on
// the thread that started it.
class Recorder {
public:
    struct Settings {
        QRect area;
        VideoFormat format = VideoFormat::mp4;
        int framesPerSecond = 30;
        bool pointer = true;
        QString path;
        // Stops by itself after this long; 0 for no limit.
        qint64 maxMicroseconds = 0;
    };

    struct Report {
        QString path;
        qint64 durationMicroseconds = 0;
        // Frames written, and the ticks at which a frame could not be read or queued in time.
        int frames = 0;
        int late = 0;
        int ticks = 0;
        QImage firstFrame;
        // The encoder failed (a full disk, the folder gone): what is in the file so far still plays.
        std::optional<QString> failure;
        // The source failed (the screen went away): the recording ended there, cleanly.
        std::optional<QString> sourceEnded;
    };

    // Where the recording's time comes from: the steady clock, or a test's own.
    class Clock {
    public:
        virtual ~Clock() = default;
        // Microseconds from any fixed moment.
        virtual qint64 now() = 0;
        // Returns at `deadline` (a now() value), or earlier once `stopped` says so; `changed` is notified on
        // a stop, with `lock` held around the check.
        virtual void waitUntil(std::unique_lock<std::mutex> &lock, std::condition_variable &changed,
                               qint64 deadline, const std::function<bool()> &stopped) = 0;
    };

    // The clock is the steady clock when none is given.
    explicit Recorder(std::unique_ptr<FrameSource> source, std::shared_ptr<Clock> clock = nullptr);
    ~Recorder();
    Recorder(const Recorder &) = delete;
    Recorder &operator=(const Recorder &) = delete;

    // Opens the file and starts both threads; onFinished is told once both have ended.
    Result<Done> start(const Settings &settings);
    // Asks the recording to end; the file is finished on the encoder's thread.
    void stop();
    // Stops and waits for the file to be finished; onFinished is told before this returns (once: not
    // again later).
    void finishNow();
    bool isRunning() const { return m_running; }
    qint64 elapsedMicroseconds() const;

    std::function<void(const Report &report)> onFinished;

    // Frames held at most between the two threads: this many, and never more than queueBytes.
    static constexpr int queueFrames = 8;
    static constexpr qint64 queueBytes = 256LL * 1024 * 1024;

private:
    struct Item {
        QImage frame; // null for the end
        qint64 microseconds = 0;
    };
    void readLoop();
    void encodeLoop();
    void finishOnOwnerThread();

    std::unique_ptr<FrameSource> m_source;
    std::shared_ptr<Clock> m_clock;
    std::unique_ptr<VideoEncoder> m_encoder;
    Settings m_settings;
    Report m_report;
    QObject m_context;
    std::thread m_reader, m_writer;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Item> m_queue;
    qint64 m_queuedBytes = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_running{false};
    std::atomic<qint64> m_startedAt{0};
};
