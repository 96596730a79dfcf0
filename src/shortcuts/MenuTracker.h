// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QObject>

// Watches Pim's menus: while one is open it holds the keyboard, so the global grabs cannot fire. The
// tracker switches the shortcuts to menu-open mode and hands Pim's own key events to them instead. It
// watches the application's events from its making to its end.
class MenuTracker : public QObject {
    Q_OBJECT
public:
    MenuTracker();
    ~MenuTracker() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void menuGone(QObject *menu);

    // The menus on screen, each with the connection that notices its destruction: a menu destroyed while
    // open never reports its hiding, and menu-open mode must end however the menu goes.
    QHash<QObject *, QMetaObject::Connection> m_openMenus;
};
