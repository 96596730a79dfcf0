// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/CaptureCoordinator.h"
#include "capture/FrameSource.h"
#include "capture/Recorder.h"
#include "capture/RecordingFrame.h"
#include "settings/VideoFormat.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class QScreen;

// Screen recordings: an area chosen with the capture overlay, or the screen under the pointer, recorded
// until stopped (or for a given time) into a new file of the capture folder named by the pattern with the
// video's extension. While it runs a thin frame surrounds the area. Once done the file is on the clipboard
// (as a file), in the history and in the preview. One at a time: a request while one runs starts nothing
// and stops nothing.
class RecordingController : public QObject {
    Q_OBJECT
public:
    using Completion = CaptureCoordinator::Completion;
    struct Request {
        // The settings' format when not given.
        std::optional<VideoFormat> format;
        // Stops by itself after this long; 0 for no limit.
        double durationSeconds = 0;
    };

    explicit RecordingController(CaptureCoordinator &coordinator);
    ~RecordingController() override;

    // Where frames come from in this session; set by the app.
    void setFrameSourceFactory(std::function<std::unique_ptr<FrameSource>()> make)
    {
        m_makeSource = std::move(make);
    }
    // Why this session cannot record the screen; empty when it can.
    QString unavailableReason() const;

    // `done` hears once the file is finished (its path), or why there is none.
    void recordArea(const Request &request, Completion done = {});
    void recordScreen(const Request &request, Completion done = {});
    // Ends the recording under way; false when none runs.
    bool stop();
    // Pim is quitting: the recording under way is finished now and listed in the history, without a
    // preview or an alert (Pim is going).
    void finishBeforeQuitting();
    // From choosing the area until the file is finished.
    bool isBusy() const { return m_busy; }
    bool isRecording() const { return m_recorder && m_recorder->isRunning(); }
    qint64 elapsedMicroseconds() const { return m_recorder ? m_recorder->elapsedMicroseconds() : 0; }
    RecordingFrame *frame() const { return m_frame.get(); }

    // The recording starts and ends (the tray shows it).
    std::function<void()> onStateChanged;
    // A request while one runs (the tray says so).
    std::function<void()> onBusy;
    // A finished recording: its first frame, file, length and screen (the preview shows it).
    std::function<void(const QImage &firstFrame, const QString &path, qint64 microseconds, QScreen *screen)>
        onRecorded;
    // Shows a failure; by default a modal alert with the error's text.
    std::function<void(const QString &message)> onFailure;

    static QString failureTitle() { return QStringLiteral("L'enregistrement a échoué"); }
    static QString areaHint() { return QStringLiteral("Choisis la zone à enregistrer"); }
    static QString busyMessage()
    {
        return QStringLiteral(
            "Un enregistrement est déjà en cours : clique sur l'icône de Pim pour l'arrêter.");
    }

private:
    // False, with the reason told, while another recording runs or where this session cannot record.
    bool mayStart(const Completion &done);
    // Starts once Pim's own closing windows (the overlay) are off the screen.
    void startWhenSettled(QScreen *screen, const QRect &pixels, const Request &request,
                          const Completion &done);
    void start(QScreen *screen, const QRect &pixels, const Request &request, const Completion &done);
    void startWith(std::unique_ptr<FrameSource> source, QScreen *screen, const QRect &pixels,
                   const Request &request, const Completion &done);
    void finished(const Recorder::Report &report, const Completion &done);
    void fail(const QString &message, const Completion &done);

    CaptureCoordinator &m_coordinator;
    std::function<std::unique_ptr<FrameSource>()> m_makeSource;
    std::unique_ptr<Recorder> m_recorder;
    // The source of the recording about to start, while it gets ready.
    std::unique_ptr<FrameSource> m_preparing;
    std::unique_ptr<RecordingFrame> m_frame;
    QPointer<QScreen> m_screen;
    QMetaObject::Connection m_screenGone;
    bool m_busy = false;
    bool m_quitting = false;
};
