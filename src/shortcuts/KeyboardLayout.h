// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// What the keys of the current keyboard layout produce. The platform code supplies the layout at start-up
// (on X11, the server's keymap); without one, a US layout.
namespace KeyboardLayout {

// The text the key produces with no modifier; empty when none.
QString character(int keyCode);
// The key that produces this character with no modifier, if any.
std::optional<int> keyCodeFor(QChar character);

// Where the layout comes from: the text of every key code 0 … 255 with no modifier (empty where none), or
// nothing when it cannot be read. The source is asked on every use, so a change of layout shows at once.
// Without a source, or when it gives nothing, the US layout is used.
using LayoutSource = std::function<std::optional<QStringList>()>;
void setLayoutSource(LayoutSource source);
// The US layout, in the same form.
QStringList usLayout();

} // namespace KeyboardLayout
