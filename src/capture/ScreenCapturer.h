// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"

#include <QImage>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QWindow>

#include <chrono>
#include <functional>
#include <optional>

class QScreen;

namespace CaptureError {
// "Impossible de trouver l'écran à capturer."
inline Error displayNotFound()
{
    return Error{QStringLiteral("Impossible de trouver l'écran à capturer.")};
}
} // namespace CaptureError

// One of Pim's own windows that went off screen a moment before a reading (a menu that closed, the
// preview, the welcome window): the reading waits until it is gone from the screen.
struct ClosingWindow {
    WId id = 0;
    QRect geometry; // global logical coordinates, with the frame
    std::chrono::steady_clock::time_point hiddenAt;
};

// Reads the pixels of screens. The platform's implementation lives under src/platform; the app chooses
// one at start-up and tests use their own.
class ScreenCapturer {
public:
    struct Request {
        QList<QScreen *> screens;
        // Pim's windows this request took off screen: they must not be in the pictures.
        QList<ClosingWindow> closing;
        // Repaints Pim's windows that lay under the closing ones, once those are gone from the server
        // (the main thread cannot repaint them while it waits for the pictures).
        std::function<void()> repaintUncovered;
    };
    // One picture per screen of the request, in its order, each the whole screen at native resolution
    // without the pointer; or the reason none could be read (the system's text).
    using Pictures = Result<QList<QImage>>;
    using Completion = std::function<void(const Pictures &pictures)>;

    virtual ~ScreenCapturer() = default;
    // Reads the screens and calls `done` exactly once, always after this call has returned. The caller
    // makes one request at a time.
    virtual void capture(const Request &request, Completion done) = 0;
    // The pointer in native root pixels, finer than Qt's logical positions on a scaled screen.
    virtual std::optional<QPoint> nativePointer() { return std::nullopt; }
};
