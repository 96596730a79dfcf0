#include "shortcuts/MenuTracker.h"

#include "shortcuts/GlobalShortcuts.h"

#include <QApplication>
#include <QMenu>

void MenuTracker::install()
{
    static MenuTracker *tracker = [] {
        auto *created = new MenuTracker;
        created->setParent(qApp);
        qApp->installEventFilter(created);
        return created;
    }();
    Q_UNUSED(tracker);
}

bool MenuTracker::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::Show || type == QEvent::Hide) && qobject_cast<QMenu *>(watched)) {
        m_openMenus = std::max(0, m_openMenus + (type == QEvent::Show ? 1 : -1));
        GlobalShortcuts::setMenuOpen(m_openMenus > 0);
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
