// SPDX-License-Identifier: GPL-3.0-or-later
#include "shortcuts/MenuTracker.h"

#include "shortcuts/GlobalShortcuts.h"

#include <QApplication>
#include <QMenu>

MenuTracker::MenuTracker()
{
    qApp->installEventFilter(this);
}

MenuTracker::~MenuTracker()
{
    qApp->removeEventFilter(this);
    for (const QMetaObject::Connection &connection : std::as_const(m_openMenus))
        disconnect(connection);
    if (!m_openMenus.isEmpty())
        GlobalShortcuts::setMenuOpen(false);
}

void MenuTracker::menuGone(QObject *menu)
{
    m_openMenus.remove(menu);
    GlobalShortcuts::setMenuOpen(!m_openMenus.isEmpty());
}

bool MenuTracker::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::Show || type == QEvent::Hide) && qobject_cast<QMenu *>(watched)) {
        if (type == QEvent::Show && !m_openMenus.contains(watched)) {
            m_openMenus.insert(
                watched, connect(watched, &QObject::destroyed, this, [this, watched] { menuGone(watched); }));
        } else if (type == QEvent::Hide) {
            disconnect(m_openMenus.take(watched));
        }
        GlobalShortcuts::setMenuOpen(!m_openMenus.isEmpty());
        return false;
    }
    if ((type == QEvent::KeyPress || type == QEvent::KeyRelease) && GlobalShortcuts::isMenuOpen() &&
        qobject_cast<QMenu *>(watched)) {
        if (const std::optional<GlobalShortcuts::Shortcut> shortcut =
                GlobalShortcuts::Shortcut::fromKeyEvent(event))
            return GlobalShortcuts::handleKeyEvent(*shortcut, type == QEvent::KeyPress);
    }
    return false;
}
