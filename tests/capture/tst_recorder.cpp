// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/Recorder.h"
#include "output/VideoProbe.h"

#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <csignal>
#include <sys/resource.h>

namespace {

// Time that passes only when the recording waits for its next tick or a grab says so: a slow screen
// without waiting for one.
class VirtualClock : public Recorder::Clock {
public:
    std::atomic<qint64> time{0};
    qint64 now() override { return time; }
    void advance(qint64 microseconds) { time += microseconds; }
    void waitUntil(std::unique_lock<std::mutex> &, std::condition_variable &, qint64 deadline,
                   const std::function<bool()> &stopped) override
    {
        if (!stopped() && time < deadline)
            time = deadline;
    }
};

// A screen of our own: a grey picture whose brightness is the number of the change, changing at the
// grabs `changesAt` says (every grab when empty), failing at `failAt`; each grab moves `clock` on by
// `slowness` when there is one, as a slow screen would.
struct FakeScreen : FrameSource {
    QSize size{64, 48};
    QList<int> changesAt;
    VirtualClock *clock = nullptr;
    qint64 slowness = 0; // microseconds
    int failAt = -1;
    std::atomic<int> grabs{0};
    std::atomic<bool> begun{false}, ended{false};
    bool pointer = false;
    bool noisy = false;

    QString unavailableReason() const override { return {}; }
    Result<Done> begin(const QRect &area, bool withPointer) override
    {
        size = area.size();
        pointer = withPointer;
        begun = true;
        return Done{};
    }
    Result<std::optional<QImage>> grab() override
    {
        const int n = grabs++;
        if (clock)
            clock->advance(slowness);
        if (n == failAt)
            return Error{QStringLiteral("l'écran a disparu")};
        if (!changesAt.isEmpty() && !changesAt.contains(n))
            return std::optional<QImage>();
        QImage image(size, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((n * 37) % 360, 200, 200));
        if (noisy) {
            quint32 seed = quint32(n) * 2654435761u;
            for (int y = 0; y < image.height(); ++y) {
                auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x)
                    line[x] = (seed = seed * 1664525u + 1013904223u) | 0xff000000u;
            }
        }
        return std::optional<QImage>(image);
    }
    void end() override { ended = true; }
};

struct Run {
    std::optional<Recorder::Report> report;
};

Recorder::Settings settings(const QString &path, qint64 limit, VideoFormat format = VideoFormat::mp4)
{
    Recorder::Settings s;
    s.area = QRect(10, 20, 64, 48);
    s.format = format;
    s.framesPerSecond = 30;
    s.pointer = false;
    s.path = path;
    s.maxMicroseconds = limit;
    return s;
}

} // namespace

class TestRecorder : public QObject {
    Q_OBJECT
private slots:
    // A picture that changes at every tick: every frame is written, none is late, the file lasts as long
    // as the recording and starts with the first picture.
    void everyChangeIsWritten()
    {
        QTemporaryDir dir;
        auto *screen = new FakeScreen;
        Recorder recorder{std::unique_ptr<FrameSource>(screen)};
        std::optional<Recorder::Report> report;
        recorder.onFinished = [&](const Recorder::Report &r) { report = r; };
        QVERIFY(recorder.start(settings(dir.filePath("a.mp4"), 1000000)));
        QVERIFY(screen->begun);
        // A second start while this one runs changes nothing.
        QVERIFY(!recorder.start(settings(dir.filePath("b.mp4"), 1000000)));
        QTRY_VERIFY_WITH_TIMEOUT(report.has_value(), 20000);
        QVERIFY(screen->ended);
        QVERIFY(!report->failure && !report->sourceEnded);
        QCOMPARE(report->durationMicroseconds, qint64(1000000));
        // Each tick's picture is a frame, or a late one, never neither.
        QVERIFY2(
            report->frames + report->late >= report->ticks,
            qPrintable(
                QStringLiteral("%1 + %2 < %3").arg(report->frames).arg(report->late).arg(report->ticks)));
        QVERIFY(report->ticks >= 29);
        QCOMPARE(report->firstFrame.size(), QSize(64, 48));
        const Result<VideoProbe::Summary> summary = VideoProbe::summarize(report->path);
        QVERIFY(summary);
        QVERIFY(std::abs(summary->durationMicroseconds - 1000000) < 50000);
        QVERIFY(!recorder.isRunning());
    }

    // A screen that does not change gives few frames: the first, one a second, the end.
    void stillScreenIsHeld()
    {
        QTemporaryDir dir;
        auto *screen = new FakeScreen;
        screen->changesAt = {0};
        Recorder recorder{std::unique_ptr<FrameSource>(screen)};
        std::optional<Recorder::Report> report;
        recorder.onFinished = [&](const Recorder::Report &r) { report = r; };
        QVERIFY(recorder.start(settings(dir.filePath("still.webm"), 2500000, VideoFormat::webm)));
        QTRY_VERIFY_WITH_TIMEOUT(report.has_value(), 20000);
        QVERIFY(report->ticks >= 70);
        QVERIFY2(report->frames >= 3 && report->frames <= 5, qPrintable(QString::number(report->frames)));
        QCOMPARE(report->late, 0);
        int decoded = 0;
        qint64 last = 0;
        QVERIFY(VideoProbe::decode(report->path, [&](const QImage &, qint64 time) {
            ++decoded;
            last = time;
            return true;
        }));
        QCOMPARE(decoded, report->frames);
        QVERIFY(last >= 2400000);
    }

    // A source slower than the frame rate: the ticks it missed are counted late.
    void slowSourceCountsLateFrames()
    {
        QTemporaryDir dir;
        auto clock = std::make_shared<VirtualClock>();
        auto *screen = new FakeScreen;
        screen->clock = clock.get();
        screen->slowness = 100000;
        Recorder recorder{std::unique_ptr<FrameSource>(screen), clock};
        std::optional<Recorder::Report> report;
        recorder.onFinished = [&](const Recorder::Report &r) { report = r; };
        QVERIFY(recorder.start(settings(dir.filePath("slow.mp4"), 1000000)));
        QTRY_VERIFY_WITH_TIMEOUT(report.has_value(), 20000);
        // A grab every 100 ms of a second at 30 per second: ten grabs, and the two ticks each of the last
        // nine let go by.
        QCOMPARE(report->ticks, 28);
        QVERIFY2(report->late >= 18, qPrintable(QString::number(report->late)));
        // (the encoder closes the file on a repeat of the last frame, so that it lasts the whole second)
        QVERIFY(report->frames + report->late >= report->ticks);
        QCOMPARE(report->durationMicroseconds, qint64(1000000));
    }

    // Quitting: the file is finished before finishNow returns, and the end is told once.
    void finishNowTellsTheEndOnceBeforeReturning()
    {
        QTemporaryDir dir;
        auto *screen = new FakeScreen;
        Recorder recorder{std::unique_ptr<FrameSource>(screen)};
        int told = 0;
        std::optional<Recorder::Report> report;
        recorder.onFinished = [&](const Recorder::Report &r) {
            ++told;
            report = r;
        };
        QVERIFY(recorder.start(settings(dir.filePath("quit.webm"), 0, VideoFormat::webm)));
        QTRY_VERIFY(screen->grabs >= 3);
        recorder.finishNow();
        QCOMPARE(told, 1);
        QVERIFY(!recorder.isRunning());
        QVERIFY(screen->ended);
        QVERIFY(report->frames >= 1);
        QVERIFY(VideoProbe::summarize(report->path).ok());
        QCoreApplication::processEvents();
        QCOMPARE(told, 1);
    }

    // The disk fills: the recording stops by itself and says why. The screen goes: it ends cleanly, the
    // file finished.
    void failures()
    {
        {
            // A disk full from the start: refused at once, with the system's reason.
            Recorder recorder{std::make_unique<FakeScreen>()};
            const Result<Done> started = recorder.start(settings(QStringLiteral("/dev/full"), 0));
            QVERIFY(!started);
            QVERIFY2(started.error().message.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))),
                     qPrintable(started.error().message));
        }
        {
            // No room after a while (a file-size limit stands for the disk): the recording stops by itself,
            // says why, and what was written plays.
            QTemporaryDir dir;
            auto *screen = new FakeScreen;
            screen->noisy = true;
            Recorder recorder{std::unique_ptr<FrameSource>(screen)};
            std::optional<Recorder::Report> report;
            recorder.onFinished = [&](const Recorder::Report &r) { report = r; };
            Recorder::Settings big = settings(dir.filePath("full.mp4"), 0);
            big.area = QRect(0, 0, 320, 240);
            ::signal(SIGXFSZ, SIG_IGN);
            rlimit before{};
            ::getrlimit(RLIMIT_FSIZE, &before);
            rlimit small = before;
            small.rlim_cur = 400 * 1024;
            ::setrlimit(RLIMIT_FSIZE, &small);
            QVERIFY(recorder.start(big));
            QTRY_VERIFY_WITH_TIMEOUT(report.has_value(), 30000);
            ::setrlimit(RLIMIT_FSIZE, &before);
            QVERIFY(report->failure);
            QVERIFY2(report->failure->contains(QString::fromLocal8Bit(std::strerror(EFBIG))),
                     qPrintable(*report->failure));
            int frames = 0;
            QVERIFY(VideoProbe::decode(report->path, [&](const QImage &, qint64) { return ++frames; }));
            QVERIFY(frames > 0);
        }
        {
            QTemporaryDir dir;
            auto *screen = new FakeScreen;
            screen->failAt = 20;
            Recorder recorder{std::unique_ptr<FrameSource>(screen)};
            std::optional<Recorder::Report> report;
            recorder.onFinished = [&](const Recorder::Report &r) { report = r; };
            QVERIFY(recorder.start(settings(dir.filePath("gone.gif"), 0, VideoFormat::gif)));
            QTRY_VERIFY_WITH_TIMEOUT(report.has_value(), 20000);
            QCOMPARE(report->sourceEnded, std::optional<QString>(QStringLiteral("l'écran a disparu")));
            QVERIFY(!report->failure);
            QVERIFY(VideoProbe::summarize(report->path));
        }
        {
            // Stopped by hand before a limit; a folder that is not there fails at once.
            QTemporaryDir dir;
            Recorder recorder{std::make_unique<FakeScreen>()};
            QVERIFY(!recorder.start(settings(dir.filePath("no/such.mp4"), 0)));
            std::optional<Recorder::Report> report;
            recorder.onFinished = [&](const Recorder::Report &r) { report = r; };
            QVERIFY(recorder.start(settings(dir.filePath("stopped.mp4"), 0)));
            QVERIFY(recorder.isRunning());
            QTRY_VERIFY(recorder.elapsedMicroseconds() > 200000);
            recorder.stop();
            QTRY_VERIFY_WITH_TIMEOUT(report.has_value(), 20000);
            QVERIFY(report->durationMicroseconds >= 200000);
            QVERIFY(VideoProbe::summarize(report->path));
        }
    }
};

QTEST_GUILESS_MAIN(TestRecorder)
#include "tst_recorder.moc"
