// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/EditorManager.h"

#include "editor/EditorWindowController.h"
#include "output/ImageLoader.h"

#include <QApplication>
#include <QFileInfo>

EditorManager &EditorManager::shared()
{
    static EditorManager instance;
    return instance;
}

EditorWindowController *EditorManager::openEditor(const QImage &image, double scale,
                                                  const QString &sourcePath)
{
    auto *controller = new EditorWindowController(image, scale, sourcePath);
    m_controllers.append(controller);
    QPointer<EditorWindowController> weak(controller);
    controller->onClose = [this, weak] {
        if (!weak)
            return;
        EditorWindowController *closing = weak.data();
        m_controllers.removeIf([closing](EditorWindowController *c) { return c == closing; });
        closing->deleteLater();
    };
    if (onWindowCreated)
        onWindowCreated(controller);
    controller->show();
    controller->raise();
    controller->activateWindow();
    return controller;
}

QString EditorManager::openFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("Fichier introuvable: ") + path;
    if (!info.isFile() || !info.isReadable())
        return QStringLiteral("Fichier illisible: ") + path;
    const std::optional<ImageLoader::Loaded> loaded = ImageLoader::load(path);
    if (!loaded)
        return QStringLiteral("Ce fichier n'est pas une image PNG, JPEG ou WebP lisible: ") + path;
    openEditor(loaded->image, loaded->scale, info.absoluteFilePath());
    return QString();
}

EditorWindowController *EditorManager::activeEditor() const
{
    QWidget *active = QApplication::activeWindow();
    for (EditorWindowController *controller : m_controllers) {
        if (controller == active)
            return controller;
    }
    return nullptr;
}
