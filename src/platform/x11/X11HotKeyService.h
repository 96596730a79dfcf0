// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shortcuts/HotKeyService.h"

#include <QAbstractNativeEventFilter>
#include <QList>

#include <xcb/xcb.h>

// Global hot keys on X11: passive key grabs on the root window, four per shortcut so that Caps Lock and
// Num Lock do not matter, and the key events read from Qt's own connection.
class X11HotKeyService : public GlobalShortcuts::HotKeyService, public QAbstractNativeEventFilter {
public:
    // Uses the application's X connection; the caller checks that the platform is xcb.
    X11HotKeyService();
    ~X11HotKeyService() override;

    int grab(const GlobalShortcuts::Shortcut &shortcut) override;
    void ungrab(const GlobalShortcuts::Shortcut &shortcut) override;
    bool isTakenElsewhere(const GlobalShortcuts::Shortcut &shortcut) override;

    bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *result) override;

    static uint16_t xModifiers(int keyModifiers);

private:
    // 0, or the X error code of the first grab refused (the grabs made before it are undone).
    int grabVariants(const GlobalShortcuts::Shortcut &shortcut);
    void ungrabVariants(const GlobalShortcuts::Shortcut &shortcut);

    xcb_connection_t *m_connection = nullptr;
    xcb_window_t m_root = 0;
    QList<GlobalShortcuts::Shortcut> m_grabbed;
};
