#pragma once

#include "common/Result.h"

#include <QImage>
#include <QPoint>

#include <optional>

class QScreen;

namespace CaptureError {
// "Impossible de trouver l'écran à capturer."
inline Error displayNotFound()
{
    return Error{QStringLiteral("Impossible de trouver l'écran à capturer.")};
}
} // namespace CaptureError

// Reads the pixels of a screen. The X11 implementation lives under src/platform; the app chooses one at
// start-up and tests use their own.
class ScreenCapturer {
public:
    virtual ~ScreenCapturer() = default;
    // The whole screen at its native resolution, without the pointer and without any window Pim shows
    // over it afterwards (the picture is taken before the overlays appear). Errors carry the system's text.
    virtual Result<QImage> grabScreen(QScreen *screen) = 0;
    // The pointer in native root pixels, finer than Qt's logical positions on a scaled screen.
    virtual std::optional<QPoint> nativePointer() { return std::nullopt; }
};
