#include "capture/CaptureCoordinator.h"

#include "capture/CaptureGeometry.h"
#include "capture/ScreenRecordingPermission.h"
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
    finished(Error{QString()}, done);
    return false;
}

void CaptureCoordinator::captureArea(Completion done)
{
    if (!passPermissionGate(done))
        return;
    if (m_selection || m_grabbing) {
        if (done)
            done(Error{QString()});
        return;
    }
    if (onCaptureStarting)
        onCaptureStarting();

    // Every screen is frozen first: the overlays show these pictures and the selection is cut from them.
    QList<SelectionController::Frozen> frozen;
    for (QScreen *screen : QGuiApplication::screens()) {
        Result<QImage> picture = grab(screen);
        if (!picture) {
            fail(picture.error().message, done);
            return;
        }
        frozen << SelectionController::Frozen{screen, *picture};
    }
    if (frozen.isEmpty()) {
        fail(CaptureError::displayNotFound().message, done);
        return;
    }
    m_selection = std::make_unique<SelectionController>();
    QPointer<CaptureCoordinator> self(this);
    m_selection->begin(frozen, [self, frozen, done](std::optional<SelectionController::Result> result) {
        if (!self)
            return;
        // The controller goes once its windows have gone; the next request may start at once.
        if (self->m_selection)
            self->m_selection.release()->deleteLater();
        if (!result) {
            self->finished(Error{QString()}, done);
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
        const QRect pixels = CaptureGeometry::pixelRectInScreen(result->rect, result->screen->geometry(),
                                                                result->screen->devicePixelRatio())
                                 .intersected(whole->rect());
        if (pixels.isEmpty()) {
            self->fail(CaptureError::displayNotFound().message, done);
            return;
        }
        const QImage cut = whole->copy(pixels);
        QScreen *screen = result->screen;
        QTimer::singleShot(0, self, [self, screen, cut, done] {
            if (self)
                self->performCapture(screen, cut, done);
        });
    });
}

void CaptureCoordinator::captureFullScreen(double delaySeconds, Completion done)
{
    if (!passPermissionGate(done))
        return;
    if (m_grabbing) {
        if (done)
            done(Error{QString()});
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
    QScreen *screen = screenUnderPointer();
    if (!screen) {
        fail(CaptureError::displayNotFound().message, done);
        return;
    }
    if (m_grabbing) {
        finished(Error{QString()}, done);
        return;
    }
    Result<QImage> picture = grab(screen);
    if (!picture) {
        fail(picture.error().message, done);
        return;
    }
    performCapture(screen, *picture, done);
}

Result<QImage> CaptureCoordinator::grab(QScreen *screen)
{
    // A reader that waits for the desktop keeps the event loop turning meanwhile: requests arriving then
    // are ignored, as during a selection.
    m_grabbing = true;
    Result<QImage> picture = m_capturer->grabScreen(screen);
    m_grabbing = false;
    return picture;
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
    m_output.copyToPasteboard(*png);
    const Result<QString> path = m_output.save(image, scale, *png);
    if (!path) {
        fail(path.error().message, done);
        return;
    }
    const QByteArray line = QStringLiteral("Pim: capture enregistrée → %1").arg(*path).toUtf8();
    ::syslog(LOG_INFO, "%s", line.constData());
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
    // The file is written: whoever waits for it hears now, before the preview is made.
    if (done)
        done(*path);
    if (onCaptured)
        onCaptured(image, scale, *path, screen);
    finished(*path, nullptr);
}

void CaptureCoordinator::fail(const QString &message, const Completion &done)
{
    std::fprintf(stderr, "Pim: %s: %s\n", qPrintable(failureTitle()), qPrintable(message));
    std::fflush(stderr);
    if (onFailure) {
        onFailure(message);
    } else {
        QMessageBox box(QMessageBox::Warning, failureTitle(), failureTitle());
        box.setInformativeText(message);
        box.raise();
        box.activateWindow();
        box.exec();
    }
    finished(Error{message.isEmpty() ? failureTitle() : message}, done);
}

void CaptureCoordinator::finished(const Result<QString> &outcome, const Completion &done)
{
    if (done)
        done(outcome);
    if (onFinished)
        onFinished(outcome);
}
