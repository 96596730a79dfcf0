// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/Recorder.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <chrono>

namespace {

class SteadyClock : public Recorder::Clock {
public:
    qint64 now() override
    {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    void waitUntil(std::unique_lock<std::mutex> &lock, std::condition_variable &changed, qint64 deadline,
                   const std::function<bool()> &stopped) override
    {
        changed.wait_until(lock, std::chrono::steady_clock::time_point(std::chrono::microseconds(deadline)),
                           stopped);
    }
};

// The picture goes to the encoder at least this often, changed or not: a recording cut short still lasts
// until its last second.
constexpr qint64 heartbeat = 1000000;

} // namespace

Recorder::Recorder(std::unique_ptr<FrameSource> source, std::shared_ptr<Clock> clock)
    : m_source(std::move(source)), m_clock(clock ? std::move(clock) : std::make_shared<SteadyClock>())
{}

Recorder::~Recorder()
{
    stop();
    if (m_reader.joinable())
        m_reader.join();
    if (m_writer.joinable())
        m_writer.join();
}

qint64 Recorder::elapsedMicroseconds() const
{
    return m_running ? m_clock->now() - m_startedAt : 0;
}

Result<Done> Recorder::start(const Settings &settings)
{
    if (m_running || m_reader.joinable())
        return Error{QStringLiteral("Un enregistrement est déjà en cours.")};
    m_settings = settings;
    m_settings.framesPerSecond = std::clamp(settings.framesPerSecond, 1, 120);
    Result<std::unique_ptr<VideoEncoder>> encoder =
        VideoEncoder::open(settings.path, VideoEncoder::Options{settings.format, settings.area.size(),
                                                                m_settings.framesPerSecond});
    if (!encoder)
        return encoder.error();
    const Result<Done> begun = m_source->begin(settings.area, settings.pointer);
    if (!begun)
        return begun.error();
    m_encoder = std::move(encoder.value());
    m_report = Report{};
    m_report.path = settings.path;
    m_stopping = false;
    m_running = true;
    m_startedAt = m_clock->now();
    m_writer = std::thread([this] { encodeLoop(); });
    m_reader = std::thread([this] { readLoop(); });
    return Done{};
}

void Recorder::stop()
{
    m_stopping = true;
    m_changed.notify_all();
}

void Recorder::readLoop()
{
    const qint64 interval = 1000000 / m_settings.framesPerSecond;
    const qint64 start = m_startedAt;
    qint64 tick = 0, lastQueued = -heartbeat, now = 0;
    QImage current;
    bool pending = false;
    while (!m_stopping) {
        {
            // Until the tick is due, or a stop.
            std::unique_lock lock(m_mutex);
            m_clock->waitUntil(lock, m_changed, start + tick * interval,
                               [this] { return m_stopping.load(); });
        }
        if (m_stopping)
            break;
        now = m_clock->now() - start;
        if (m_settings.maxMicroseconds > 0 && now >= m_settings.maxMicroseconds)
            break;
        // Ticks that went by while the last frame was read are frames not taken in time.
        const qint64 due = now / interval;
        if (due > tick) {
            m_report.late += int(due - tick);
            m_report.ticks += int(due - tick);
            tick = due;
        }
        ++tick;
        ++m_report.ticks;
        const Result<std::optional<QImage>> grabbed = m_source->grab();
        if (!grabbed) {
            m_report.sourceEnded = grabbed.error().message;
            break;
        }
        if (*grabbed) {
            current = **grabbed;
            pending = true;
        }
        if (current.isNull())
            continue;
        if (!pending && now - lastQueued < heartbeat)
            continue;
        std::unique_lock lock(m_mutex);
        const qint64 bytes = current.sizeInBytes();
        if (int(m_queue.size()) >= queueFrames || (!m_queue.empty() && m_queuedBytes + bytes > queueBytes)) {
            // The encoder is behind: this frame waits for the next tick, and is counted late.
            ++m_report.late;
            continue;
        }
        m_queue.push_back(Item{current, now});
        m_queuedBytes += bytes;
        lastQueued = now;
        pending = false;
        m_changed.notify_all();
    }
    const qint64 end = std::max(now, m_clock->now() - start);
    // Stopped by hand: the area as it is at that moment is the last frame, so that the recording ends on
    // what the person saw when they stopped it.
    if (m_stopping && !m_report.sourceEnded &&
        (m_settings.maxMicroseconds <= 0 || end < m_settings.maxMicroseconds)) {
        const Result<std::optional<QImage>> grabbed = m_source->grab();
        if (grabbed && *grabbed) {
            current = **grabbed;
            pending = true;
        }
        if (pending && !current.isNull()) {
            std::unique_lock lock(m_mutex);
            m_queue.push_back(Item{current, end});
            m_queuedBytes += current.sizeInBytes();
        }
    }
    m_source->end();
    std::unique_lock lock(m_mutex);
    m_queue.push_back(
        Item{QImage(), m_settings.maxMicroseconds > 0 ? std::min(end, m_settings.maxMicroseconds) : end});
    m_changed.notify_all();
}

void Recorder::encodeLoop()
{
    bool failed = false;
    while (true) {
        Item item;
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_queue.empty(); });
            item = std::move(m_queue.front());
            m_queue.pop_front();
            m_queuedBytes -= item.frame.sizeInBytes();
        }
        if (item.frame.isNull()) {
            m_report.durationMicroseconds = item.microseconds;
            if (!failed) {
                const Result<Done> finished = m_encoder->finish(item.microseconds);
                if (!finished)
                    m_report.failure = finished.error().message;
            }
            break;
        }
        if (failed)
            continue;
        if (m_report.firstFrame.isNull())
            m_report.firstFrame = item.frame;
        const Result<Done> written = m_encoder->write(item.frame, item.microseconds);
        if (!written) {
            // What is in the file plays; the rest is not written.
            m_report.failure = written.error().message;
            failed = true;
            stop();
        }
    }
    m_report.frames = m_encoder->frameCount();
    m_encoder.reset();
    QMetaObject::invokeMethod(
        &m_context, [this] { finishOnOwnerThread(); }, Qt::QueuedConnection);
}

void Recorder::finishNow()
{
    stop();
    if (m_writer.joinable())
        m_writer.join();
    // The encoder's last act was to post the end for the event loop: it is told here instead.
    QCoreApplication::removePostedEvents(&m_context);
    finishOnOwnerThread();
}

void Recorder::finishOnOwnerThread()
{
    if (m_reader.joinable())
        m_reader.join();
    if (m_writer.joinable())
        m_writer.join();
    if (!m_running)
        return; // never started
    m_running = false;
    if (onFinished)
        onFinished(m_report);
}
