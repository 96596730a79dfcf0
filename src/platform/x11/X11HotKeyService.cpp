// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/x11/X11HotKeyService.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdlib>

namespace Modifier = GlobalShortcuts::Modifier;
using GlobalShortcuts::Shortcut;

namespace {

// Caps Lock and Num Lock (Mod2) in every combination.
const uint16_t lockVariants[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2, XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
const uint16_t shortcutMask = XCB_MOD_MASK_SHIFT | XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_4;

xcb_connection_t *qtConnection()
{
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace

X11HotKeyService::X11HotKeyService() : m_connection(qtConnection())
{
    if (m_connection) {
        const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data;
        m_root = screen ? screen->root : 0;
    }
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11HotKeyService::~X11HotKeyService()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
    for (const Shortcut &shortcut : QList<Shortcut>(m_grabbed))
        ungrab(shortcut);
}

uint16_t X11HotKeyService::xModifiers(int keyModifiers)
{
    uint16_t mask = 0;
    if (keyModifiers & Modifier::control)
        mask |= XCB_MOD_MASK_CONTROL;
    if (keyModifiers & Modifier::option)
        mask |= XCB_MOD_MASK_1;
    if (keyModifiers & Modifier::shift)
        mask |= XCB_MOD_MASK_SHIFT;
    if (keyModifiers & Modifier::command)
        mask |= XCB_MOD_MASK_4;
    return mask;
}

int X11HotKeyService::grabVariants(const Shortcut &shortcut)
{
    if (!m_connection || !m_root)
        return -1;
    if (shortcut.keyCode < 8 || shortcut.keyCode > 255)
        return XCB_VALUE;
    const uint16_t base = xModifiers(shortcut.keyModifiers);
    int done = 0;
    for (uint16_t variant : lockVariants) {
        const xcb_void_cookie_t cookie =
            xcb_grab_key_checked(m_connection, 1, m_root, base | variant, xcb_keycode_t(shortcut.keyCode),
                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
        if (xcb_generic_error_t *error = xcb_request_check(m_connection, cookie)) {
            const int code = error->error_code;
            std::free(error);
            for (int i = 0; i < done; ++i)
                xcb_ungrab_key(m_connection, xcb_keycode_t(shortcut.keyCode), m_root, base | lockVariants[i]);
            xcb_flush(m_connection);
            return code;
        }
        ++done;
    }
    return 0;
}

void X11HotKeyService::ungrabVariants(const Shortcut &shortcut)
{
    if (!m_connection || !m_root)
        return;
    const uint16_t base = xModifiers(shortcut.keyModifiers);
    for (uint16_t variant : lockVariants)
        xcb_ungrab_key(m_connection, xcb_keycode_t(shortcut.keyCode), m_root, base | variant);
    xcb_flush(m_connection);
}

int X11HotKeyService::grab(const Shortcut &shortcut)
{
    if (m_grabbed.contains(shortcut))
        return 0;
    const int status = grabVariants(shortcut);
    if (status == 0)
        m_grabbed.append(shortcut);
    return status;
}

void X11HotKeyService::ungrab(const Shortcut &shortcut)
{
    if (!m_grabbed.removeOne(shortcut))
        return;
    ungrabVariants(shortcut);
}

bool X11HotKeyService::isTakenElsewhere(const Shortcut &shortcut)
{
    if (m_grabbed.contains(shortcut))
        return false; // ours
    const int status = grabVariants(shortcut);
    if (status != 0)
        return status == XCB_ACCESS;
    ungrabVariants(shortcut);
    return false;
}

bool X11HotKeyService::nativeEventFilter(const QByteArray &eventType, void *message, qintptr *)
{
    if (eventType != "xcb_generic_event_t" || !message)
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const uint8_t type = event->response_type & ~0x80;
    if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
        return false;
    const auto *key = reinterpret_cast<const xcb_key_press_event_t *>(event);
    if (key->event != m_root)
        return false; // a key for one of Pim's own windows
    const uint16_t mods = key->state & shortcutMask;
    for (const Shortcut &shortcut : m_grabbed) {
        if (shortcut.keyCode == key->detail && xModifiers(shortcut.keyModifiers) == mods) {
            if (onHotKey)
                onHotKey(shortcut, type == XCB_KEY_PRESS);
            return true;
        }
    }
    return false;
}
