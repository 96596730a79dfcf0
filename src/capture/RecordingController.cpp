// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/RecordingController.h"

#include "capture/CaptureGeometry.h"
#include "common/Log.h"
#include "common/WindowPlacement.h"
#include "output/VideoProbe.h"
#include "settings/AppSettings.h"

#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <cmath>
#include <syslog.h>

RecordingController::RecordingController(CaptureCoordinator &coordinator) : m_coordinator(coordinator) {}

RecordingController::~RecordingController()
{
    // Quitting while recording: the file is finished before Pim goes.
    if (m_recorder) {
        m_recorder->onFinished = nullptr;
        m_recorder->stop();
    }
}

QString RecordingController::unavailableReason() const
{
    if (!m_makeSource)
        return QStringLiteral("Sur ce bureau, Pim ne sait pas encore enregistrer l'écran.");
    return m_makeSource()->unavailableReason();
}

bool RecordingController::mayStart(const Completion &done)
{
    if (!m_busy) {
        const QString reason = unavailableReason();
        if (reason.isEmpty())
            return true;
        fail(reason, done);
        return false;
    }
    qCInfo(logCapture, "%s", qPrintable(busyMessage()));
    if (onBusy)
        onBusy();
    if (done)
        done(CaptureOutcome::failure(QStringLiteral("un enregistrement est déjà en cours")));
    return false;
}

void RecordingController::recordArea(const Request &request, Completion done)
{
    if (!mayStart(done))
        return;
    m_busy = true;
    QPointer<RecordingController> self(this);
    m_coordinator.chooseArea(
        areaHint(),
        [self, done](const CaptureOutcome &outcome) {
            // Only a cancel or a failure ends here: a chosen area goes on below.
            if (self)
                self->m_busy = false;
            if (done)
                done(outcome);
        },
        [self, request, done](QScreen *screen, const QRectF &, const QRect &pixels, const QImage &) {
            if (!self)
                return;
            self->m_busy = true;
            self->startWhenSettled(screen, pixels, request, done);
        });
}

void RecordingController::recordScreen(const Request &request, Completion done)
{
    if (!mayStart(done))
        return;
    QScreen *screen = CaptureCoordinator::screenUnderPointer();
    if (!screen) {
        fail(CaptureError::displayNotFound().message, done);
        return;
    }
    m_busy = true;
    const QRect whole(QPoint(),
                      CaptureGeometry::pixelSize(screen->geometry().size(), screen->devicePixelRatio()));
    startWhenSettled(screen, whole, request, done);
}

void RecordingController::startWhenSettled(QScreen *screen, const QRect &pixels, const Request &request,
                                           const Completion &done)
{
    QPointer<RecordingController> self(this);
    QPointer<QScreen> where(screen);
    // Read the way a capture reads: after the overlay and the menu have gone from the screen.
    m_coordinator.readScreens({screen},
                              [self, where, pixels, request, done](const ScreenCapturer::Pictures &) {
                                  if (!self)
                                      return;
                                  if (!where) {
                                      self->fail(CaptureError::displayNotFound().message, done);
                                      return;
                                  }
                                  self->start(where, pixels, request, done);
                              });
}

void RecordingController::start(QScreen *screen, const QRect &pixels, const Request &request,
                                const Completion &done)
{
    m_preparing = m_makeSource();
    QPointer<RecordingController> self(this);
    QPointer<QScreen> where(screen);
    m_preparing->prepare(screen, AppSettings::shared().showPointer(),
                         [self, where, pixels, request, done](const Result<Done> &ready) {
                             // Told later, or at once from inside prepare().
                             QTimer::singleShot(0, self, [self, where, pixels, request, done, ready] {
                                 if (!self)
                                     return;
                                 std::unique_ptr<FrameSource> source = std::move(self->m_preparing);
                                 if (!ready) {
                                     self->fail(ready.error().message, done);
                                     return;
                                 }
                                 if (!where || !source) {
                                     self->fail(CaptureError::displayNotFound().message, done);
                                     return;
                                 }
                                 self->startWith(std::move(source), where, pixels, request, done);
                             });
                         });
}

void RecordingController::startWith(std::unique_ptr<FrameSource> source, QScreen *screen, const QRect &pixels,
                                    const Request &request, const Completion &done)
{
    AppSettings &settings = AppSettings::shared();
    const VideoFormat format = request.format.value_or(settings.videoFormat());
    const double ratio = screen->devicePixelRatio();
    const QRect native = CaptureGeometry::nativeScreenRect(screen->geometry(), ratio);
    // In root pixels; even where the codec needs it.
    QRect area = pixels.translated(native.topLeft()).intersected(native);
    if (VideoEncoder::needsEvenSize(format))
        area = CaptureGeometry::evenRect(area, native);
    if (area.width() < 2 || area.height() < 2) {
        fail(QStringLiteral("La zone est trop petite pour être enregistrée."), done);
        return;
    }
    const Result<QString> path = m_coordinator.output().reserveNewFile(rawValue(format));
    if (!path) {
        fail(path.error().message, done);
        return;
    }
    Recorder::Settings recording;
    recording.area = area;
    recording.format = format;
    recording.framesPerSecond = settings.framesPerSecond();
    recording.pointer = settings.showPointer();
    recording.path = *path;
    if (request.durationSeconds > 0)
        recording.maxMicroseconds = qint64(std::llround(request.durationSeconds * 1e6));
    m_recorder = std::make_unique<Recorder>(std::move(source));
    QPointer<RecordingController> self(this);
    m_recorder->onFinished = [self, done](const Recorder::Report &report) {
        if (self)
            self->finished(report, done);
    };
    const Result<Done> started = m_recorder->start(recording);
    if (!started) {
        m_recorder.reset();
        QFile::remove(*path);
        fail(started.error().message, done);
        return;
    }
    m_screen = screen;
    // A screen unplugged while it is recorded ends the recording, which keeps what it has.
    m_screenGone = connect(qApp, &QGuiApplication::screenRemoved, this, [self](QScreen *gone) {
        if (self && gone == self->m_screen) {
            qCWarning(logCapture, "l'écran enregistré a été débranché : fin de l'enregistrement");
            self->stop();
        }
    });
    // The frame goes around an area, not a whole screen, and only where Pim places its own windows.
    const QRect logical(
        screen->geometry().topLeft() + (area.topLeft() - native.topLeft()) / ratio,
        QSize(int(std::lround(area.width() / ratio)), int(std::lround(area.height() / ratio))));
    if (area != native && !WindowPlacement::compositorPlacesWindows())
        m_frame = std::make_unique<RecordingFrame>(logical);
    qCInfo(logCapture, "enregistrement de %d × %d pixels à %d images par seconde → %s", area.width(),
           area.height(), recording.framesPerSecond, qPrintable(*path));
    if (onStateChanged)
        onStateChanged();
}

bool RecordingController::stop()
{
    if (!m_recorder || !m_recorder->isRunning())
        return false;
    m_recorder->stop();
    return true;
}

void RecordingController::finishBeforeQuitting()
{
    if (!isRecording())
        return;
    m_quitting = true;
    m_recorder->finishNow();
    m_recorder.reset();
}

void RecordingController::finished(const Recorder::Report &report, const Completion &done)
{
    disconnect(m_screenGone);
    m_frame.reset();
    // The recorder is the caller: it goes once this call has returned (when quitting, the event loop has
    // ended: finishBeforeQuitting lets it go).
    if (Recorder *recorder = m_quitting ? nullptr : m_recorder.release())
        QTimer::singleShot(0, [recorder] { delete recorder; });
    QScreen *screen = m_screen.data();
    m_busy = false;
    if (onStateChanged)
        onStateChanged();
    if (report.frames == 0 || report.firstFrame.isNull()) {
        QFile::remove(report.path);
        fail(report.failure.value_or(QStringLiteral("Aucune image n'a pu être enregistrée.")), done);
        return;
    }
    const QByteArray line = QStringLiteral("enregistrement terminé → %1 (%2, %3 images, %4 en retard sur %5)")
                                .arg(report.path, VideoProbe::durationText(report.durationMicroseconds))
                                .arg(report.frames)
                                .arg(report.late)
                                .arg(report.ticks)
                                .toUtf8();
    ::syslog(LOG_INFO, "Pim: %s", line.constData());
    qCInfo(logCapture, "%s", line.constData());
    if (report.sourceEnded)
        qCWarning(logCapture, "enregistrement arrêté : %s", qPrintable(*report.sourceEnded));
    // What was written plays: it is kept and listed, even when the recording failed.
    OutputPipeline::copyFileToPasteboard(report.path);
    m_coordinator.output().announceSaved(report.path);
    if (report.failure) {
        fail(*report.failure, done);
        return;
    }
    if (done)
        done(CaptureOutcome::savedTo(report.path));
    if (onRecorded && !m_quitting)
        onRecorded(report.firstFrame, report.path, report.durationMicroseconds, screen);
}

void RecordingController::fail(const QString &message, const Completion &done)
{
    // Whatever failed, the next request may start.
    if (!isRecording())
        m_busy = false;
    qCWarning(logCapture, "%s : %s", qPrintable(failureTitle()), qPrintable(message));
    if (done)
        done(CaptureOutcome::failure(message));
    if (m_quitting)
        return;
    if (onFailure) {
        onFailure(message);
        return;
    }
    QMessageBox box(QMessageBox::Warning, failureTitle(), failureTitle());
    box.setInformativeText(message);
    box.raise();
    box.activateWindow();
    box.exec();
}
