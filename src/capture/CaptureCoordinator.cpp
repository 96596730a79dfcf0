// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/CaptureCoordinator.h"

#include "capture/CaptureGeometry.h"
#include "capture/ScreenRecordingPermission.h"
#include "common/Log.h"
#include "output/ImageWriter.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <syslog.h>

CaptureCoordinator::CaptureCoordinator(std::unique_ptr<ScreenCapturer> capturer)
    : m_capturer(std::move(capturer))
{}

CaptureCoordinator::~CaptureCoordinator() = default;

bool CaptureCoordinator::passPermissionGate(const Completion &done)
{
    if (ScreenRecordingPermission::refresh())
        return true;
    ScreenRecordingPermission::source().request();
    ScreenRecordingPermission::showGuidance();
    finished(CaptureOutcome::of(CaptureOutcome::Kind::permissionMissing), done);
    return false;
}

void CaptureCoordinator::readScreens(const QList<QScreen *> &screens, ScreenCapturer::Completion done)
{
    if (m_reading) {
        done(Error{QStringLiteral("Une capture est déjà en cours.")});
        return;
    }
    m_reading = true;
    ScreenCapturer::Request request;
    request.screens = screens;
    request.closing = m_closing.recent();
    request.repaintUncovered = [closing = request.closing] { ClosingWindows::repaintUnder(closing); };
    QPointer<CaptureCoordinator> self(this);
    m_capturer->capture(request, [self, done = std::move(done)](const ScreenCapturer::Pictures &pictures) {
        if (!self)
            return;
        self->m_reading = false;
        done(pictures);
    });
}

void CaptureCoordinator::captureArea(Completion done)
{
    QPointer<CaptureCoordinator> self(this);
    selectArea(QString(), done,
               [self, done](QScreen *screen, const QRectF &, const QRect &pixels, const QImage &whole) {
                   const QImage cut = whole.copy(pixels);
                   QTimer::singleShot(0, self, [self, screen, cut, done] {
                       if (self)
                           self->performCapture(screen, cut, done);
                   });
               });
}

QString CaptureCoordinator::windowUnavailableReason() const
{
    if (!m_windowLister)
        return QStringLiteral("Sur ce bureau, les programmes ne savent pas où sont les fenêtres des autres : "
                              "capture plutôt une zone.");
    return m_windowLister->unavailableReason();
}

void CaptureCoordinator::captureWindow(Completion done)
{
    const QString reason = windowUnavailableReason();
    if (!reason.isEmpty()) {
        fail(reason, done);
        return;
    }
    QPointer<CaptureCoordinator> self(this);
    selectArea(
        windowHint(), done,
        [self, done](QScreen *screen, const QRectF &, const QRect &pixels, const QImage &whole) {
            const QImage cut = whole.copy(pixels);
            QTimer::singleShot(0, self, [self, screen, cut, done] {
                if (self)
                    self->performCapture(screen, cut, done);
            });
        },
        true);
}

QString CaptureCoordinator::scrollingUnavailableReason() const
{
    if (!m_scrolling)
        return QStringLiteral("Sur ce bureau, un programme ne peut pas faire défiler la fenêtre d'un autre : "
                              "la capture défilante n'y est pas encore possible.");
    return m_scrolling->unavailableReason();
}

void CaptureCoordinator::captureScrolling(Completion done)
{
    const QString reason = scrollingUnavailableReason();
    if (!reason.isEmpty()) {
        fail(reason, done);
        return;
    }
    if (m_scroll) {
        ignored(done);
        return;
    }
    QPointer<CaptureCoordinator> self(this);
    selectArea(scrollingHint(), done,
               [self, done](QScreen *screen, const QRectF &logical, const QRect &pixels, const QImage &) {
                   if (self)
                       self->scroll(screen, logical, pixels, done);
               });
}

void CaptureCoordinator::scroll(QScreen *screen, const QRectF &logical, const QRect &pixels,
                                const Completion &done)
{
    // The area as it is once the overlay has gone, read the way a capture reads.
    QPointer<CaptureCoordinator> self(this);
    QPointer<QScreen> where(screen);
    readScreens({screen}, [self, where, logical, pixels, done](const ScreenCapturer::Pictures &pictures) {
        if (!self)
            return;
        if (!pictures || pictures->isEmpty() || !where) {
            self->fail(pictures ? CaptureError::displayNotFound().message : pictures.error().message, done);
            return;
        }
        const QRect native = CaptureGeometry::nativeScreenRect(where->geometry(), where->devicePixelRatio());
        const QImage first = pictures->first().copy(pixels);
        self->m_scroll =
            std::make_unique<ScrollSession>(*self->m_scrolling, pixels.translated(native.topLeft()),
                                            logical.toAlignedRect(), where->geometry(), first);
        self->m_scroll->onFinished = [self, where, done](const QImage &picture) {
            if (!self)
                return;
            // The session goes after this call; the next one may start at once.
            if (self->m_scroll)
                self->m_scroll.release()->deleteLater();
            if (picture.isNull()) {
                self->fail(QStringLiteral("La capture défilante n'a rien donné."), done);
                return;
            }
            QScreen *screen = where.data();
            QTimer::singleShot(0, self, [self, screen, picture, done] {
                if (self)
                    self->performCapture(screen, picture, done);
            });
        };
        self->m_scroll->start();
    });
}

void CaptureCoordinator::selectArea(const QString &hint, const Completion &done, Chosen chosen, bool windows)
{
    if (!passPermissionGate(done))
        return;
    if (m_selection || m_reading) {
        ignored(done);
        return;
    }
    if (onCaptureStarting)
        onCaptureStarting();
    // Every screen is frozen first: the overlays show these pictures and the selection is cut from them.
    const QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.isEmpty()) {
        fail(CaptureError::displayNotFound().message, done);
        return;
    }
    QPointer<CaptureCoordinator> self(this);
    readScreens(screens,
                [self, screens, hint, done, chosen, windows](const ScreenCapturer::Pictures &pictures) {
                    if (!self)
                        return;
                    if (!pictures) {
                        self->fail(pictures.error().message, done);
                        return;
                    }
                    // The windows as they were stacked when the screens were read.
                    const QList<QRect> places =
                        windows && self->m_windowLister ? self->m_windowLister->windows() : QList<QRect>();
                    self->select(screens, *pictures, hint, places, done, chosen);
                });
}

void CaptureCoordinator::select(const QList<QScreen *> &screens, const QList<QImage> &pictures,
                                const QString &hint, const QList<QRect> &windows, const Completion &done,
                                Chosen chosen)
{
    // A screen unplugged while it was being read is left out.
    const QList<QScreen *> present = QGuiApplication::screens();
    QList<SelectionController::Frozen> frozen;
    for (int i = 0; i < screens.size() && i < pictures.size(); ++i) {
        if (present.contains(screens[i]))
            frozen << SelectionController::Frozen{screens[i], pictures[i]};
    }
    if (frozen.isEmpty()) {
        fail(CaptureError::displayNotFound().message, done);
        return;
    }
    m_selection = std::make_unique<SelectionController>(m_overlays);
    m_selection->setHint(hint);
    m_selection->setWindows(windows);
    QPointer<CaptureCoordinator> self(this);
    m_selection->begin(
        frozen, [self, frozen, done, chosen](std::optional<SelectionController::Result> result) {
            if (!self)
                return;
            // The controller goes once its windows have gone; the next request may start at once.
            if (self->m_selection)
                self->m_selection.release()->deleteLater();
            if (!result) {
                self->finished(CaptureOutcome::of(CaptureOutcome::Kind::cancelled), done);
                return;
            }
            const QImage *whole = nullptr;
            for (const SelectionController::Frozen &f : frozen) {
                if (f.screen == result->screen)
                    whole = &f.image;
            }
            if (!whole) {
                self->fail(CaptureError::displayNotFound().message, done);
                return;
            }
            // A window: its own pixels; an area: the rectangle in the screen's pixels.
            const QRect pixels =
                (result->pixels ? *result->pixels
                                : CaptureGeometry::pixelRectInScreen(result->rect, result->screen->geometry(),
                                                                     result->screen->devicePixelRatio()))
                    .intersected(whole->rect());
            if (pixels.isEmpty()) {
                self->fail(CaptureError::displayNotFound().message, done);
                return;
            }
            chosen(result->screen, result->rect, pixels, *whole);
        });
}

void CaptureCoordinator::captureFullScreen(double delaySeconds, Completion done)
{
    if (!passPermissionGate(done))
        return;
    if (m_reading) {
        ignored(done);
        return;
    }
    if (onCaptureStarting)
        onCaptureStarting();
    if (delaySeconds > 0) {
        QPointer<CaptureCoordinator> self(this);
        QTimer::singleShot(int(delaySeconds * 1000), this, [self, done] {
            if (self)
                self->captureScreenNow(done);
        });
    } else {
        captureScreenNow(done);
    }
}

QScreen *CaptureCoordinator::screenUnderPointer()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    const QPoint pointer = QCursor::pos();
    for (QScreen *screen : screens) {
        if (screen->geometry().contains(pointer))
            return screen;
    }
    if (QScreen *primary = QGuiApplication::primaryScreen())
        return primary;
    return screens.isEmpty() ? nullptr : screens.first();
}

void CaptureCoordinator::captureScreenNow(const Completion &done)
{
    QScreen *chosen = screenUnderPointer();
    if (!chosen) {
        fail(CaptureError::displayNotFound().message, done);
        return;
    }
    if (m_reading) {
        ignored(done);
        return;
    }
    QPointer<CaptureCoordinator> self(this);
    QPointer<QScreen> screen(chosen);
    readScreens({chosen}, [self, screen, done](const ScreenCapturer::Pictures &pictures) {
        if (!self)
            return;
        if (!pictures) {
            self->fail(pictures.error().message, done);
            return;
        }
        if (!screen || pictures->isEmpty()) {
            self->fail(CaptureError::displayNotFound().message, done);
            return;
        }
        self->performCapture(screen, pictures->first(), done);
    });
}

void CaptureCoordinator::performCapture(QScreen *screen, const QImage &image, const Completion &done)
{
    const int scale = CaptureGeometry::wholeScale(screen ? screen->devicePixelRatio() : 1);
    // One PNG for the clipboard and, when the user's format is PNG, for the file too.
    const Result<QByteArray> png = ImageWriter::data(image, scale, ImageFormat::png, 1.0);
    if (!png) {
        fail(png.error().message, done);
        return;
    }
    // The clipboard keeps only the PNG (a TIFF, when a program asks for one, is decoded from it): holding
    // the bitmap there would keep the screen reader from reusing its buffer for the next capture, and a
    // fresh 4K buffer costs more to fill than the copy itself.
    OutputPipeline::copyToPasteboard(*png);
    const Result<QString> path = m_output.save(image, scale, *png);
    if (!path) {
        fail(path.error().message, done);
        return;
    }
    const QByteArray line = QStringLiteral("capture enregistrée → %1").arg(*path).toUtf8();
    ::syslog(LOG_INFO, "Pim: %s", line.constData());
    qCInfo(logCapture, "%s", line.constData());
    // The file is written: whoever waits for it hears now, before the preview is made.
    const CaptureOutcome outcome = CaptureOutcome::savedTo(*path);
    if (done)
        done(outcome);
    if (onCaptured)
        onCaptured(image, scale, *path, screen);
    finished(outcome, nullptr);
}

void CaptureCoordinator::fail(const QString &message, const Completion &done)
{
    const QString reason = message.isEmpty() ? failureTitle() : message;
    qCWarning(logCapture, "%s : %s", qPrintable(failureTitle()), qPrintable(reason));
    // Told first: a `pim full` waiting for its answer does not wait for the alert too.
    finished(CaptureOutcome::failure(reason), done);
    if (onFailure) {
        onFailure(message);
    } else {
        QMessageBox box(QMessageBox::Warning, failureTitle(), failureTitle());
        box.setInformativeText(message);
        box.raise();
        box.activateWindow();
        box.exec();
    }
}

void CaptureCoordinator::ignored(const Completion &done)
{
    // Only the asker hears of it: for everyone else the capture under way goes on.
    if (done)
        done(CaptureOutcome::of(CaptureOutcome::Kind::ignored));
}

void CaptureCoordinator::finished(const CaptureOutcome &outcome, const Completion &done)
{
    if (done)
        done(outcome);
    if (onFinished)
        onFinished(outcome);
}
