// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAction>
#include <QList>
#include <QString>

// The application's menus ("Quitter Pim", "Fichier", "Édition"). Linux has no global menu bar: the same
// actions are added to every top-level window, so their shortcuts act on the active window, and the
// shortcut recorder checks new global shortcuts against them.
class MainMenu {
public:
    struct Menu {
        QString title; // empty for the application menu
        QList<QAction *> actions;
    };

    static MainMenu &shared();

    const QList<Menu> &menus() const { return m_menus; }
    QList<QAction *> allActions() const;
    // The action whose shortcut is this key sequence, if any (the first in menu order).
    QAction *actionWithShortcut(const QKeySequence &sequence) const;

    QAction *quit = nullptr;
    QAction *save = nullptr;
    QAction *close = nullptr;
    QAction *undo = nullptr;
    QAction *redo = nullptr;
    QAction *cut = nullptr;
    QAction *copy = nullptr;
    QAction *paste = nullptr;
    QAction *selectAll = nullptr;

private:
    MainMenu();
    QList<Menu> m_menus;
};
