// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/WindowLister.h"

#include <QByteArray>
#include <QString>

// Where sway's windows are, from its tree (the IPC socket named by SWAYSOCK, GET_TREE): the views of the
// workspaces shown, a fullscreen one first, then the floating ones from the top down, then the tiled ones.
// Places are given the way the overlay takes them: from the output's logical top-left corner, in the
// output's pixels.
class SwayWindowLister : public WindowLister {
public:
    explicit SwayWindowLister(const QString &socketPath);

    QString unavailableReason() const override;
    QList<QRect> windows() override;

    // The windows in a GET_TREE answer; nothing when it is not one.
    static QList<QRect> windowsInTree(const QByteArray &json);
    // The tree, or why it could not be had.
    static QByteArray requestTree(const QString &socketPath, QString *error);

private:
    QString m_socketPath;
    QString m_problem;
};
