// SPDX-License-Identifier: GPL-3.0-or-later
// Full-screen capture from the request to the file closed, the clipboard owned and the history written,
// side by side with `scrot -o` on the same private Xvfb display, at 3840 × 2160 and 1920 × 1080; and the
// area overlay's latency from the request to its dimmed picture on the screen; and `pim full` from the shell
// to the path printed, the tray instance running, beside scrot run the same way; each warm and after a quiet
// spell (the release delays shortened), with the instance's memory at rest; on the bench's own desktop and
// on one with a photographic wallpaper and a photograph in a window.
// Prints "name value unit" lines (medians). Run without arguments: it starts one Xvfb per size itself.
#include "BenchUtil.h"

#include "capture/CaptureCoordinator.h"
#include "history/HistoryStore.h"
#include "history/TextIndex.h"
#include "history/TextIndexer.h"
#include "platform/x11/X11ScreenCapturer.h"
#include "settings/AppSettings.h"
#include "support/DesktopScene.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageWriter>
#include <QKeyEvent>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The desktop picture, shown in a window over the whole screen.
class Desktop : public QWidget {
public:
    explicit Desktop(const QImage &picture)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint),
          m_picture(picture)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setGeometry(QGuiApplication::primaryScreen()->geometry());
    }

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).drawImage(0, 0, m_picture); }

private:
    QImage m_picture;
};

// The resident memory of a process, in megabytes.
double residentMegabytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

// The processor time a process has used, in clock ticks.
qint64 processorTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The fields after the command's name, which is in parentheses: utime and stime are the 12th and 13th.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLongLong() + fields[12].toLongLong() : -1;
}

// Waits until a process is at rest: it has used no processor time for two seconds (the history's text
// indexing of a burst goes on for a while after it), at most `limit` milliseconds.
void waitUntilAtRest(qint64 pid, int limit)
{
    QElapsedTimer timer;
    timer.start();
    qint64 last = processorTicks(pid);
    QElapsedTimer still;
    still.start();
    while (timer.elapsed() < limit && still.elapsed() < 2000) {
        QThread::msleep(100);
        const qint64 now = processorTicks(pid);
        if (now != last) {
            last = now;
            still.restart();
        }
    }
}

// Waits, handling events, so that the timers that let buffers go run.
void idle(int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QApplication::processEvents();
        QThread::msleep(10);
    }
}

// How long a quiet spell lasts in the cold cases: longer than the release delays, which are shortened to
// this for the bench (what goes after ten quiet minutes in Pim goes after this long here).
constexpr int releaseDelay = 1000;
constexpr int quietSpell = 1600;
// Through the command a quiet spell also outlasts the preview of the capture before (6 s): a capture that
// closes it waits for what it uncovered to be drawn again, which a first capture after a quiet minute
// does not.
constexpr int quietSpellForTheCommand = 6500;

int runOnDisplay(int runs, const QString &label, const QString &sceneName)
{
    QApplication::setQuitOnLastWindowClosed(false);
    const QSize size = QGuiApplication::primaryScreen()->size();
    const int scale = size.width() > 2000 ? 2 : 1;
    // The bench's own desktop, or one with a photographic wallpaper and a photograph in a browser.
    Desktop desktop(sceneName == QLatin1String("photo")
                        ? DesktopScene::render(DesktopScene::dark(), scale)
                        : Bench::screenshotLike(size.width(), size.height(), scale)
                              .convertToFormat(QImage::Format_RGB32));
    desktop.show();
    for (int i = 0; i < 50; ++i) {
        QApplication::processEvents();
        QThread::msleep(10);
    }

    QTemporaryDir dir;
    AppSettings::shared().setDestinationDirectory(dir.filePath("captures"));
    AppSettings::shared().setImageFormat(ImageFormat::png);
    CaptureCoordinator coordinator(std::make_unique<X11ScreenCapturer>());
    // The history is written, as in the app.
    coordinator.output().onSaved = [](const QString &path) { HistoryStore::shared().add(path); };
    std::optional<CaptureOutcome> outcome;
    coordinator.onFinished = [&](const CaptureOutcome &r) { outcome = r; };
    coordinator.onFailure = [](const QString &message) {
        std::fprintf(stderr, "capture failed: %s\n", qPrintable(message));
    };

    // One full-screen capture, to the file written: its time in milliseconds.
    const auto captureOnce = [&] {
        outcome.reset();
        QElapsedTimer timer;
        timer.start();
        coordinator.captureFullScreen(0);
        while (!outcome)
            QApplication::processEvents();
        return timer.nsecsElapsed() / 1e6;
    };

    const QString scrot = QStandardPaths::findExecutable("scrot");
    std::vector<double> ours, theirs;
    qint64 ourSize = 0, theirSize = 0;
    QString lastPath;
    for (int i = 0; i < runs; ++i) {
        // Alternate, so that both see the same machine.
        ours.push_back(captureOnce());
        if (!outcome->isSaved())
            return 1;
        lastPath = outcome->path;
        ourSize = QFileInfo(lastPath).size();
        if (!scrot.isEmpty()) {
            const QString file = dir.filePath("scrot.png");
            QElapsedTimer timer;
            timer.start();
            QProcess::execute(scrot, {"-o", file});
            theirs.push_back(timer.nsecsElapsed() / 1e6);
            theirSize = QFileInfo(file).size();
        }
        QApplication::processEvents();
    }
    // The same captures while the text index recognises other captures in the background, as it does after
    // every capture: its idle-priority thread must not slow a capture down.
    {
        TextIndex index(dir.filePath("text-index.sqlite"));
        TextIndexer indexer(&index, PIM_INSTANCE); // as the app reads: in a process of its own
        indexer.quietMilliseconds = 0;
        const QImage page = Bench::screenshotLike(1920, 1080).convertToFormat(QImage::Format_RGB32);
        QList<HistoryStore::Entry> pages;
        for (int i = 0; i < 40; ++i) {
            const QString path = dir.filePath(QStringLiteral("page-%1.png").arg(i));
            page.save(path);
            pages << HistoryStore::Entry{path, double(i)};
        }
        indexer.follow(pages);
        // Wired as the app wires it: a capture stops the recognition under way.
        bool holding = false;
        coordinator.onCaptureStarting = [&] { indexer.setCaptureRunning(true); };
        coordinator.onFinished = [&](const CaptureOutcome &r) {
            indexer.setCaptureRunning(holding);
            outcome = r;
        };
        // Captures with and without a recognition under way, alternating, so that both see the same machine.
        std::vector<double> busy, calm;
        int whileReading = 0;
        for (int i = 0; i < 2 * runs; ++i) {
            const bool reading = i % 2 == 0;
            if (reading) {
                holding = false;
                indexer.setCaptureRunning(false);
                while (!indexer.isWorking())
                    QApplication::processEvents();
                QThread::msleep(100);
                whileReading += indexer.isWorking() ? 1 : 0;
            } else {
                holding = true;
                indexer.setCaptureRunning(true); // the reader stopped: nothing reads during this capture
                QThread::msleep(100);
            }
            (reading ? busy : calm).push_back(captureOnce());
        }
        const std::string name = label.toStdString();
        Bench::print((name + "_pim_full_capture_indexer_idle").c_str(), median(calm), "ms");
        Bench::print((name + "_pim_full_capture_while_indexing").c_str(), median(busy), "ms");
        Bench::print((name + "_captures_during_a_recognition").c_str(), whileReading, "of runs");
        Bench::print((name + "_indexing_slowdown").c_str(), median(busy) / median(calm), "x");
        coordinator.onCaptureStarting = nullptr;
        coordinator.onFinished = [&](const CaptureOutcome &r) { outcome = r; };
    }

    // The first capture after a quiet spell: the screen reader's buffers have gone.
    std::vector<double> cold;
    if (auto *x11 = dynamic_cast<X11ScreenCapturer *>(&coordinator.capturer())) {
        x11->setKeepBuffersFor(releaseDelay);
        for (int i = 0; i < std::min(runs, 5); ++i) {
            idle(quietSpell);
            cold.push_back(captureOnce());
        }
    }

    // The reference encoder (libpng at its default level) on the same pixels.
    QByteArray reference;
    {
        QBuffer buffer(&reference);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter(&buffer, "png").write(QImage(lastPath));
    }
    const std::string prefix = label.toStdString();
    Bench::print((prefix + "_pim_first_full_capture").c_str(), ours.front(), "ms");
    Bench::print((prefix + "_pim_full_capture").c_str(), median(ours), "ms");
    Bench::print((prefix + "_pim_png_size").c_str(), ourSize / 1024.0, "KiB");
    Bench::print((prefix + "_libpng_default_size").c_str(), reference.size() / 1024.0, "KiB");
    Bench::print((prefix + "_size_ratio_to_libpng").c_str(), double(ourSize) / reference.size(), "x");
    Bench::print((prefix + "_size_ratio_to_libpng_goal").c_str(), 1.10, "x");
    if (!cold.empty())
        Bench::print((prefix + "_pim_cold_full_capture").c_str(), median(cold), "ms");
    if (!theirs.empty()) {
        Bench::print((prefix + "_scrot").c_str(), median(theirs), "ms");
        Bench::print((prefix + "_scrot_png_size").c_str(), theirSize / 1024.0, "KiB");
        Bench::print((prefix + "_time_ratio_to_scrot").c_str(), median(ours) / median(theirs), "x");
        if (!cold.empty())
            Bench::print((prefix + "_cold_time_ratio_to_scrot").c_str(), median(cold) / median(theirs), "x");
    }

    // The same through the command line, as a desktop keybinding runs it: `pim full` asks the running
    // instance and prints the path once the file is written; scrot alternates with it again.
    {
        AppSettings::shared().setHasSeenWelcome(true); // no welcome window over the desktop
        QProcess instance;
        instance.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("PIM_CAPTURE_BUFFERS_MS", QString::number(releaseDelay));
        instance.setProcessEnvironment(environment);
        instance.start(PIM_COMMAND, {});
        const QString socket = qEnvironmentVariable("XDG_RUNTIME_DIR") + "/pim.socket";
        for (int i = 0; i < 200 && !QFileInfo::exists(socket); ++i)
            QThread::msleep(20);
        const auto run = [](const QString &program, const QStringList &arguments) {
            QElapsedTimer timer;
            timer.start();
            QProcess process;
            process.start(program, arguments);
            process.waitForFinished(60000);
            const double ms = timer.nsecsElapsed() / 1e6;
            return std::make_pair(ms, QString::fromUtf8(process.readAllStandardOutput()).trimmed());
        };
        run(PIM_COMMAND, {"full"}); // the instance's first capture makes its buffers
        std::vector<double> command, peer;
        for (int i = 0; i < runs; ++i) {
            const auto [ms, path] = run(PIM_COMMAND, {"full"});
            if (!QFileInfo(path).isFile()) {
                std::fprintf(stderr, "pim full printed '%s'\n", qPrintable(path));
                return 1;
            }
            command.push_back(ms);
            if (!scrot.isEmpty())
                peer.push_back(run(scrot, {"-o", dir.filePath("scrot.png")}).first);
        }
        // After a quiet spell, and the memory the instance holds at rest after the burst.
        std::vector<double> coldCommand;
        double rest = 0;
        for (int i = 0; i < std::min(runs, 5); ++i) {
            QThread::msleep(quietSpellForTheCommand);
            if (i == 0) {
                // At rest: the burst's text indexed, then the release delay (engines and buffers) passed.
                waitUntilAtRest(instance.processId(), 300000);
                QThread::msleep(releaseDelay + 600);
                rest = residentMegabytes(instance.processId());
            }
            coldCommand.push_back(run(PIM_COMMAND, {"full"}).first);
        }
        instance.terminate();
        instance.waitForFinished();
        Bench::print((prefix + "_pim_full_command").c_str(), median(command), "ms");
        Bench::print((prefix + "_pim_cold_full_command").c_str(), median(coldCommand), "ms");
        Bench::print((prefix + "_instance_memory_at_rest").c_str(), rest, "MB");
        Bench::print((prefix + "_instance_memory_at_rest_goal").c_str(), 45, "MB");
        if (!peer.empty()) {
            Bench::print((prefix + "_scrot_command").c_str(), median(peer), "ms");
            Bench::print((prefix + "_command_ratio_to_scrot").c_str(), median(command) / median(peer), "x");
            Bench::print((prefix + "_command_ratio_to_scrot_goal").c_str(), 0.12, "x");
            Bench::print((prefix + "_cold_command_ratio_to_scrot").c_str(),
                         median(coldCommand) / median(peer), "x");
            Bench::print((prefix + "_cold_command_ratio_to_scrot_goal").c_str(), 0.25, "x");
        }
    }

    // Overlay latency: from the request until the dimmed frozen picture is on the screen, read back from
    // the X server by another connection.
    X11ScreenCapturer watcher;
    const QPoint probe(size.width() / 2, size.height() - 5);
    const QColor before = watcher.grabRootRect(QRect(probe, QSize(1, 1)))->pixelColor(0, 0);
    // One area selection: from the request to its picture on the screen, then Escape.
    const auto overlayOnce = [&] {
        outcome.reset();
        QElapsedTimer timer;
        timer.start();
        coordinator.captureArea();
        bool shown = false;
        while (!shown && timer.elapsed() < 3000) {
            QApplication::processEvents();
            shown = watcher.grabRootRect(QRect(probe, QSize(1, 1)))->pixelColor(0, 0) != before;
        }
        const double ms = timer.nsecsElapsed() / 1e6;
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(coordinator.selection()->windows().first(), &escape);
        while (!outcome)
            QApplication::processEvents();
        return ms;
    };
    std::vector<double> latency;
    for (int i = 0; i < runs; ++i) {
        latency.push_back(overlayOnce());
        if (i == 0)
            Bench::print((prefix + "_first_overlay_painted").c_str(), latency.front(), "ms");
        for (int k = 0; k < 20; ++k) {
            QApplication::processEvents();
            QThread::msleep(5);
        }
    }
    Bench::print((prefix + "_overlay_painted").c_str(), median(latency), "ms");

    // The first overlay after a quiet spell: its windows and the screen reader's buffers have gone.
    coordinator.overlays().setKeepFor(releaseDelay);
    std::vector<double> coldLatency;
    for (int i = 0; i < std::min(runs, 5); ++i) {
        idle(quietSpell);
        coldLatency.push_back(overlayOnce());
    }
    Bench::print((prefix + "_cold_overlay_painted").c_str(), median(coldLatency), "ms");
    Bench::print((prefix + "_cold_overlay_painted_goal").c_str(), 100, "ms");
    return 0;
}

// Starts Xvfb at the size and runs this program on it.
int runWithXvfb(const char *self, const QString &size, int runs, const QString &label, const QString &scene)
{
    QTemporaryDir dir;
    QProcess xvfb;
    const QString displayFile = dir.filePath("display");
    xvfb.setStandardOutputFile(displayFile);
    xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", size + "x24", "-noreset", "-nolisten", "tcp"});
    if (!xvfb.waitForStarted())
        return 1;
    QString display;
    for (int i = 0; i < 200 && display.isEmpty(); ++i) {
        QThread::msleep(25);
        QFile file(displayFile);
        if (file.open(QIODevice::ReadOnly))
            display = QString::fromUtf8(file.readAll()).trimmed();
    }
    if (display.isEmpty())
        return 1;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DISPLAY", ":" + display);
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("XDG_DATA_HOME", dir.filePath("data"));
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.insert("XDG_RUNTIME_DIR", dir.path());
    env.insert("DBUS_SESSION_BUS_ADDRESS", "disabled:");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(self, {"--on-display", QString::number(runs), label, scene});
    child.waitForFinished(600000);
    xvfb.terminate();
    xvfb.waitForFinished();
    return child.exitCode();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc >= 5 && QByteArray(argv[1]) == "--on-display") {
        QApplication app(argc, argv);
        return runOnDisplay(std::max(1, atoi(argv[2])), QString::fromLocal8Bit(argv[3]),
                            QString::fromLocal8Bit(argv[4]));
    }
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 9;
    int status = runWithXvfb(argv[0], "3840x2160", runs, "4k", "bench");
    status |= runWithXvfb(argv[0], "3840x2160", runs, "4k_photo", "photo");
    status |= runWithXvfb(argv[0], "1920x1080", runs, "1080p", "bench");
    status |= runWithXvfb(argv[0], "1920x1080", runs, "1080p_photo", "photo");
    return status;
}
