// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/CaptureOutcome.h"
#include "capture/ClosingWindows.h"
#include "capture/OverlayWindowPool.h"
#include "capture/ScreenCapturer.h"
#include "capture/ScrollSession.h"
#include "capture/ScrollingSource.h"
#include "capture/SelectionController.h"
#include "capture/WindowLister.h"
#include "common/Result.h"
#include "output/OutputPipeline.h"

#include <QImage>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QScreen;

// Turns a capture request into a saved file: the permission gate, the area selection or the screen under
// the pointer, the pixels, the clipboard, the file and its history entry, the log line and the preview.
// Every failure ends in one alert, "La capture a échoué".
class CaptureCoordinator : public QObject {
    Q_OBJECT
public:
    explicit CaptureCoordinator(std::unique_ptr<ScreenCapturer> capturer);
    ~CaptureCoordinator() override;

    // What one request ended with.
    using Completion = std::function<void(const CaptureOutcome &outcome)>;

    // A second request while a selection is on screen, or while the screens are being read, is ignored.
    void captureArea(Completion done = {});
    // The screen under the pointer, after the delay (0 from the shortcut, 0.35 s from the menu). It
    // proceeds while a selection is on screen; it is ignored while the screens are being read.
    void captureFullScreen(double delaySeconds, Completion done = {});

    // The area overlay with a hint, then the chosen area scrolled and stitched (on X11). Ignored like
    // captureArea, and while a scrolling capture runs.
    void captureScrolling(Completion done = {});
    // Scrolls other programs' windows; set by the app where the session can.
    void setScrollingSource(std::unique_ptr<ScrollingSource> source) { m_scrolling = std::move(source); }
    // Why a scrolling capture cannot be made here; empty when it can.
    QString scrollingUnavailableReason() const;
    ScrollSession *scrollSession() const { return m_scroll.get(); }
    static QString scrollingHint() { return QStringLiteral("Choisis la zone qui défile"); }

    // The overlay in window mode over the frozen screens: the window under the pointer outlined with its
    // size, a click takes it as it was seen. Ignored like captureArea.
    void captureWindow(Completion done = {});
    void setWindowLister(std::unique_ptr<WindowLister> lister) { m_windowLister = std::move(lister); }
    // Why a window cannot be captured here; empty when it can.
    QString windowUnavailableReason() const;
    static QString windowHint() { return QStringLiteral("Clique sur la fenêtre à capturer"); }

    // What to do with the area chosen: its screen, its rectangle in global logical coordinates and in the
    // screen's pixels, and the screen's frozen picture.
    using Chosen =
        std::function<void(QScreen *screen, const QRectF &logical, const QRect &pixels, const QImage &whole)>;
    // The area overlay with a hint, for another tool (a recording): `chosen` gets the area; a cancel or a
    // failure ends the request as a capture's would. Ignored like captureArea.
    void chooseArea(const QString &hint, Completion done, Chosen chosen) { selectArea(hint, done, chosen); }

    // Reads the screens for another tool (the pipette) the way a capture does: after Pim's closing windows
    // have gone. An error when a reading is already under way.
    void readScreens(const QList<QScreen *> &screens, ScreenCapturer::Completion done);

    bool isSelecting() const { return m_selection != nullptr; }
    bool isReading() const { return m_reading; }
    SelectionController *selection() const { return m_selection.get(); }
    ScreenCapturer &capturer() const { return *m_capturer; }
    // Writes the captures; its onSaved is told of each file.
    OutputPipeline &output() { return m_output; }
    OverlayWindowPool &overlays() { return m_overlays; }

    // The screen a full-screen capture takes: the first whose geometry holds the pointer, else the primary.
    static QScreen *screenUnderPointer();

    // Wired by the app: a capture starts (any preview goes at once), and a capture has been saved.
    std::function<void()> onCaptureStarting;
    std::function<void(const QImage &image, int scale, const QString &path, QScreen *screen)> onCaptured;
    // Shows the failure; by default a modal alert with the error's text. It runs after the request's
    // outcome has been told, so that nobody waits for the alert to be dismissed.
    std::function<void(const QString &message)> onFailure;
    // Every request's outcome once it has ended; not for a request ignored because another capture is
    // under way (that capture's own end follows).
    std::function<void(const CaptureOutcome &outcome)> onFinished;

    static QString failureTitle() { return QStringLiteral("La capture a échoué"); }

private:
    bool passPermissionGate(const Completion &done);
    void selectArea(const QString &hint, const Completion &done, Chosen chosen, bool windows = false);
    void select(const QList<QScreen *> &screens, const QList<QImage> &pictures, const QString &hint,
                const QList<QRect> &windows, const Completion &done, Chosen chosen);
    void scroll(QScreen *screen, const QRectF &logical, const QRect &pixels, const Completion &done);
    void captureScreenNow(const Completion &done);
    void performCapture(QScreen *screen, const QImage &image, const Completion &done);
    void fail(const QString &message, const Completion &done);
    void finished(const CaptureOutcome &outcome, const Completion &done);
    void ignored(const Completion &done);

    std::unique_ptr<ScreenCapturer> m_capturer;
    OutputPipeline m_output;
    ClosingWindows m_closing;
    OverlayWindowPool m_overlays;
    std::unique_ptr<SelectionController> m_selection;
    std::unique_ptr<ScrollingSource> m_scrolling;
    std::unique_ptr<ScrollSession> m_scroll;
    std::unique_ptr<WindowLister> m_windowLister;
    bool m_reading = false;
};
