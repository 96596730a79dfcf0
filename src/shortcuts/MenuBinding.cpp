// SPDX-License-Identifier: GPL-3.0-or-later
#include "shortcuts/MenuBinding.h"

#include <QAction>

namespace GlobalShortcuts {

namespace {

const char *const bindingObjectName = "pim-shortcut-binding";
const char *const titleProperty = "pim-menu-title";

// The desktop's own words for its keys ("Shift+Logo+7", "Ctrl+Print") as a key sequence; none when they are
// not plain Qt key names once the logo key is named as Qt names it.
QKeySequence desktopKeys(QString trigger)
{
    trigger.replace(QLatin1String("Logo"), QLatin1String("Meta"), Qt::CaseInsensitive)
        .replace(QLatin1String("Super"), QLatin1String("Meta"), Qt::CaseInsensitive);
    const QKeySequence keys = QKeySequence::fromString(trigger, QKeySequence::PortableText);
    if (keys.count() != 1 || keys[0].key() == Qt::Key_unknown || keys[0].key() == 0)
        return QKeySequence();
    return keys;
}

// The item's title, and after a tab the keys in Linux names ("Maj+Super+7"), which the menu shows in its
// shortcut column instead of Qt's own "Meta+Shift+7".
void show(QAction *action, const QString &keys)
{
    if (!action->property(titleProperty).isValid())
        action->setProperty(titleProperty, action->text().section(u'\t', 0, 0));
    const QString title = action->property(titleProperty).toString();
    action->setText(keys.isEmpty() ? title : title + u'\t' + keys);
}

void apply(QAction *action, const Name &name)
{
    // Where the desktop owns the shortcuts, the menu shows the keys it gave (or none), not Pim's wish.
    if (desktopService()) {
        const QString trigger = desktopTrigger(name);
        action->setShortcut(desktopKeys(trigger));
        show(action, linuxKeyNames(trigger));
        return;
    }
    // A combination another program holds does nothing here: the menu does not offer it.
    const std::optional<Shortcut> shortcut = isRefused(name) ? std::nullopt : getShortcut(name);
    action->setShortcut(shortcut ? shortcut->menuKeySequence() : QKeySequence());
    show(action, shortcut ? shortcut->presentableDescription() : QString());
}

} // namespace

void setTitle(QAction *action, const QString &title)
{
    const QString keys = action->text().section(u'\t', 1);
    action->setProperty(titleProperty, title);
    action->setText(keys.isEmpty() ? title : title + u'\t' + keys);
}

void setShortcut(QAction *action, const std::optional<Name> &name)
{
    if (!action)
        return;
    // The observer lives on the action as a child object; replacing or clearing it ends the old one.
    delete action->findChild<QObject *>(QLatin1String(bindingObjectName), Qt::FindDirectChildrenOnly);
    if (!name) {
        action->setShortcut(QKeySequence());
        show(action, QString());
        return;
    }
    apply(action, *name);
    auto *binding = new QObject(action);
    binding->setObjectName(QLatin1String(bindingObjectName));
    const Name bound = *name;
    QObject::connect(
        &Notifier::shared(), &Notifier::shortcutByNameDidChange, binding,
        [action, bound](const QString &changed) {
            if (changed == bound.rawValue)
                apply(action, bound);
        },
        Qt::QueuedConnection);
    QObject::connect(
        &Notifier::shared(), &Notifier::shortcutRefused, binding, [action, bound] { apply(action, bound); },
        Qt::QueuedConnection);
    QObject::connect(&Notifier::shared(), &Notifier::desktopShortcutsDidChange, binding,
                     [action, bound] { apply(action, bound); });
}

} // namespace GlobalShortcuts
