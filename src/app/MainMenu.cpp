// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainMenu.h"

#include <QApplication>
#include <QWidget>

namespace {

QAction *makeAction(const QString &title, const QKeySequence &shortcut)
{
    auto *action = new QAction(title, QCoreApplication::instance());
    action->setShortcut(shortcut);
    return action;
}

} // namespace

MainMenu &MainMenu::shared()
{
    static MainMenu instance;
    return instance;
}

MainMenu::MainMenu()
{
    quit = makeAction(QStringLiteral("Quitter Pim"), QKeySequence(Qt::CTRL | Qt::Key_Q));
    save = makeAction(QStringLiteral("Enregistrer"), QKeySequence(Qt::CTRL | Qt::Key_S));
    close = makeAction(QStringLiteral("Fermer"), QKeySequence(Qt::CTRL | Qt::Key_W));
    undo = makeAction(QStringLiteral("Annuler"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    redo = makeAction(QStringLiteral("Rétablir"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    cut = makeAction(QStringLiteral("Couper"), QKeySequence(Qt::CTRL | Qt::Key_X));
    copy = makeAction(QStringLiteral("Copier"), QKeySequence(Qt::CTRL | Qt::Key_C));
    paste = makeAction(QStringLiteral("Coller"), QKeySequence(Qt::CTRL | Qt::Key_V));
    selectAll = makeAction(QStringLiteral("Tout sélectionner"), QKeySequence(Qt::CTRL | Qt::Key_A));
    QObject::connect(quit, &QAction::triggered, QCoreApplication::instance(), &QCoreApplication::quit);
    // "Fermer" closes whichever of Pim's windows is active: an editor, the history, the preferences…
    QObject::connect(close, &QAction::triggered, QCoreApplication::instance(), [] {
        if (QWidget *window = QApplication::activeWindow())
            window->close();
    });
    m_menus = {
        Menu{QString(), {quit}},
        Menu{QStringLiteral("Fichier"), {save, close}},
        Menu{QStringLiteral("Édition"), {undo, redo, cut, copy, paste, selectAll}},
    };
}

QList<QAction *> MainMenu::allActions() const
{
    QList<QAction *> actions;
    for (const Menu &menu : m_menus)
        actions += menu.actions;
    return actions;
}

QAction *MainMenu::actionWithShortcut(const QKeySequence &sequence) const
{
    if (sequence.isEmpty())
        return nullptr;
    for (QAction *action : allActions()) {
        if (action->shortcut() == sequence)
            return action;
    }
    return nullptr;
}
