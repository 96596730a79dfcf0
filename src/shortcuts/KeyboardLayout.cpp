#include "shortcuts/KeyboardLayout.h"

#include <xkbcommon/xkbcommon.h>

namespace KeyboardLayout {

namespace {

KeymapSource &source()
{
    static KeymapSource current;
    return current;
}

xkb_keymap *keymapFromNames()
{
    static xkb_context *context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!context)
        return nullptr;
    // Empty names take the XKB_DEFAULT_* variables, then the library's defaults (a US layout).
    const xkb_rule_names names{};
    return xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
}

struct KeymapDeleter {
    void operator()(xkb_keymap *keymap) const { xkb_keymap_unref(keymap); }
};
struct StateDeleter {
    void operator()(xkb_state *state) const { xkb_state_unref(state); }
};

std::unique_ptr<xkb_keymap, KeymapDeleter> currentKeymap()
{
    xkb_keymap *keymap = source() ? source()() : nullptr;
    if (!keymap)
        keymap = keymapFromNames();
    return std::unique_ptr<xkb_keymap, KeymapDeleter>(keymap);
}

QString characterIn(xkb_keymap *keymap, int keyCode)
{
    std::unique_ptr<xkb_state, StateDeleter> state(xkb_state_new(keymap));
    if (!state)
        return {};
    char buffer[64] = {};
    const int length = xkb_state_key_get_utf8(state.get(), xkb_keycode_t(keyCode), buffer, sizeof buffer);
    if (length <= 0 || length >= int(sizeof buffer))
        return {};
    return QString::fromUtf8(buffer, length);
}

} // namespace

void setKeymapSource(KeymapSource keymapSource)
{
    source() = std::move(keymapSource);
}

QString character(int keyCode)
{
    if (keyCode < 8 || keyCode > 255)
        return {};
    const auto keymap = currentKeymap();
    return keymap ? characterIn(keymap.get(), keyCode) : QString();
}

std::optional<int> keyCodeFor(QChar c)
{
    const auto keymap = currentKeymap();
    if (!keymap)
        return std::nullopt;
    const QString wanted(c);
    for (int keyCode = 8; keyCode <= 255; ++keyCode) {
        if (characterIn(keymap.get(), keyCode) == wanted)
            return keyCode;
    }
    return std::nullopt;
}

} // namespace KeyboardLayout
