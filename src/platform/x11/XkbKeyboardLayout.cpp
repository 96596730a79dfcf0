// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/XkbKeyboardLayout.h"

#include <QGuiApplication>

#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <memory>

namespace XkbKeyboardLayout {

namespace {

struct KeymapDeleter {
    void operator()(xkb_keymap *keymap) const { xkb_keymap_unref(keymap); }
};
struct StateDeleter {
    void operator()(xkb_state *state) const { xkb_state_unref(state); }
};
using Keymap = std::unique_ptr<xkb_keymap, KeymapDeleter>;

xkb_context *context()
{
    static xkb_context *shared = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    return shared;
}

// Every key code's text with no modifier, from a fresh state of the keymap.
std::optional<QStringList> texts(const Keymap &keymap)
{
    if (!keymap)
        return std::nullopt;
    std::unique_ptr<xkb_state, StateDeleter> state(xkb_state_new(keymap.get()));
    if (!state)
        return std::nullopt;
    QStringList layout(256);
    for (int keyCode = 8; keyCode <= 255; ++keyCode) {
        char buffer[64] = {};
        const int length = xkb_state_key_get_utf8(state.get(), xkb_keycode_t(keyCode), buffer, sizeof buffer);
        if (length > 0 && length < int(sizeof buffer))
            layout[keyCode] = QString::fromUtf8(buffer, length);
    }
    return layout;
}

xcb_connection_t *qtConnection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace

KeyboardLayout::LayoutSource fromServer()
{
    return []() -> std::optional<QStringList> {
        xcb_connection_t *connection = qtConnection();
        if (!connection || !context())
            return std::nullopt;
        static const bool ready =
            xkb_x11_setup_xkb_extension(connection, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                        XKB_X11_MIN_MINOR_XKB_VERSION, XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS,
                                        nullptr, nullptr, nullptr, nullptr) == 1;
        if (!ready)
            return std::nullopt;
        const int32_t device = xkb_x11_get_core_keyboard_device_id(connection);
        if (device < 0)
            return std::nullopt;
        return texts(Keymap(
            xkb_x11_keymap_new_from_device(context(), connection, device, XKB_KEYMAP_COMPILE_NO_FLAGS)));
    };
}

KeyboardLayout::LayoutSource fromName(const QString &layout)
{
    const QByteArray name = layout.toUtf8();
    return [name]() -> std::optional<QStringList> {
        if (!context())
            return std::nullopt;
        const xkb_rule_names names{nullptr, nullptr, name.constData(), nullptr, nullptr};
        return texts(Keymap(xkb_keymap_new_from_names(context(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS)));
    };
}

} // namespace XkbKeyboardLayout
