// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <functional>
#include <optional>

class QScreen;

// Picks the colour of any pixel on screen and copies its code (#RRGGBB) as text. Every screen is frozen
// and shown under a magnifying loupe; a click picks the pixel under the pointer at native resolution,
// Escape cancels and copies nothing.
namespace ColorPickerService {

// Where the frozen pictures come from; set by the app (the screen-capture service). It reads the screens
// and calls back once, later, with one picture per screen in their order.
using ScreenGrabber = std::function<void(const QList<QScreen *> &screens,
                                         std::function<void(const Result<QList<QImage>> &pictures)> done)>;
void setScreenGrabber(ScreenGrabber grabber);
// Where the pointer is in native root pixels, when the platform can tell (set by the app); otherwise the
// pixel comes from Qt's logical position, which a scaled screen rounds.
using PointerLocator = std::function<std::optional<QPoint>()>;
void setPointerLocator(PointerLocator locator);

// Returns at once; the windows show once the screens have been read. `onPicked` runs after the code is on
// the clipboard; not on cancel or failure, when `onCancelled` runs instead (also when a pick is already in
// progress or no screen can be read).
void pickAndCopyHex(std::function<void(const QString &code)> onPicked = nullptr,
                    std::function<void()> onCancelled = nullptr);
bool isPicking();
// The windows of the pick in progress (for tests).
QList<QWidget *> pickerWindows();

// "#%02X%02X%02X" of the colour in sRGB, each component × 255 rounded, halves away from zero.
QString hexCode(const QColor &color);

} // namespace ColorPickerService
