#include "shortcuts/MenuBinding.h"

#include <QAction>

namespace GlobalShortcuts {

namespace {

const char *const bindingObjectName = "pim-shortcut-binding";

void apply(QAction *action, const Name &name)
{
    const std::optional<Shortcut> shortcut = getShortcut(name);
    action->setShortcut(shortcut ? shortcut->menuKeySequence() : QKeySequence());
}

} // namespace

void setShortcut(QAction *action, const std::optional<Name> &name)
{
    if (!action)
        return;
    // The observer lives on the action as a child object; replacing or clearing it ends the old one.
    delete action->findChild<QObject *>(QLatin1String(bindingObjectName), Qt::FindDirectChildrenOnly);
    if (!name) {
        action->setShortcut(QKeySequence());
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
}

} // namespace GlobalShortcuts
