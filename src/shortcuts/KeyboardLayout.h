#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

struct xkb_keymap;

// What the keys of the current keyboard layout produce, through libxkbcommon. On X11 the keymap is the
// server's (installed at start-up by the platform code); elsewhere the layout named by the XKB_DEFAULT_*
// variables, or a US layout.
namespace KeyboardLayout {

// The text the key produces with no modifier, from a fresh state of the current keymap; empty when none.
QString character(int keyCode);
// The key that produces this character with no modifier, if any.
std::optional<int> keyCodeFor(QChar character);

// Where the current keymap comes from. The source is asked on every use, so a change of layout shows at
// once; it returns nothing when it cannot provide a keymap.
using KeymapSource = std::function<xkb_keymap *()>;
void setKeymapSource(KeymapSource source);

} // namespace KeyboardLayout
