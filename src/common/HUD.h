// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

// A short message at the bottom centre of a window: a rounded dark box with white text that fades in over
// 0.15 s, stays 1.5 s and fades out over 0.35 s, then removes itself. Messages are independent: a second
// one is drawn over the first, each on its own schedule.
namespace HUD {

void show(const QString &text, QWidget *window);

// Timings in milliseconds; tests shorten them.
struct Timings {
    int fadeIn = 150;
    int hold = 1500;
    int fadeOut = 350;
};
Timings &timings();

} // namespace HUD
