// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSize>
#include <QString>

#include <functional>

class QFrame;
class QToolButton;

// The controls the editor's two bars share.
namespace BarControls {

// A borderless icon button in the secondary tint, its tooltip doubling as its accessible name; it takes
// no focus, so that the canvas keeps the keyboard.
QToolButton *iconButton(const QString &role, const QString &tooltip, QSize size);
QFrame *verticalSeparator(int height);

} // namespace BarControls
