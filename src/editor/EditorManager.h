// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QList>
#include <QPointer>
#include <QString>

#include <functional>

class EditorWindowController;

// Owns every open editor window: one new window per request, kept until it closes, then released with its
// document and undo history.
class EditorManager {
public:
    static EditorManager &shared();

    EditorWindowController *openEditor(const QImage &image, double scale,
                                       const QString &sourcePath = QString());
    // Opens a PNG, JPEG or WebP file at the scale its resolution gives; the error text otherwise.
    QString openFile(const QString &path);

    const QList<EditorWindowController *> &controllers() const { return m_controllers; }
    // The editor window that is active, if any (the main menu's commands act on it).
    EditorWindowController *activeEditor() const;
    // Set by the app: called with every new editor window before it shows (the main menu's actions, where
    // its saves are told).
    std::function<void(EditorWindowController *editor)> onWindowCreated;

private:
    EditorManager() = default;
    QList<EditorWindowController *> m_controllers;
};
