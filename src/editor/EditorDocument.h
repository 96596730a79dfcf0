// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotation/Annotation.h"
#include "annotation/Decoration.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QUndoStack>

#include <functional>
#include <optional>

// What an editor window edits: the screenshot, its annotations and its decoration. Every edit replaces
// the whole state and is one undo step that restores the whole previous state.
class EditorDocument {
public:
    struct State {
        QImage baseImage; // shared, never changed in place
        QList<Annotation> annotations;
        Decoration decoration;
    };

    // Action names.
    static inline const QString addAnnotation = QStringLiteral("Ajouter une annotation");
    static inline const QString addBadge = QStringLiteral("Ajouter un badge");
    static inline const QString addText = QStringLiteral("Ajouter du texte");
    static inline const QString editText = QStringLiteral("Modifier le texte");
    static inline const QString move = QStringLiteral("Déplacer");
    static inline const QString reshape = QStringLiteral("Redimensionner");
    static inline const QString remove = QStringLiteral("Supprimer");
    static inline const QString changeColor = QStringLiteral("Modifier la couleur");
    static inline const QString changeLineWidth = QStringLiteral("Modifier l'épaisseur");
    static inline const QString changeFont = QStringLiteral("Modifier la police");
    static inline const QString changeFontSize = QStringLiteral("Modifier la taille du texte");
    static inline const QString changeBackground = QStringLiteral("Modifier le style de fond");
    static inline const QString crop = QStringLiteral("Recadrer");
    static inline const QString rotate = QStringLiteral("Rotation");
    static inline const QString resizeImage = QStringLiteral("Redimensionner l'image");

    // Without an undo stack the document makes its own.
    EditorDocument(const QImage &baseImage, double scale, QUndoStack *undoStack = nullptr);
    ~EditorDocument();
    EditorDocument(const EditorDocument &) = delete;
    EditorDocument &operator=(const EditorDocument &) = delete;

    // How many documents exist (an editor window's document goes with the window).
    static int instances();

    double scale() const { return m_scale; }
    QUndoStack *undoStack() const { return m_undoStack; }

    // The current snapshot.
    const State &state() const { return m_state; }
    // Replaces the snapshot without an undo step: a picture's set-up before any editing.
    void resetState(const State &newState);
    // Puts a changed annotation in place without an undo step: the live updates of a drag, whose end
    // registers one step for the whole gesture.
    void updateLive(const Annotation &annotation);
    std::function<void()> onChange;

    QSizeF imagePointSize() const;
    QSizeF paddedPointSize() const;
    std::optional<Annotation> annotation(const QUuid &id) const;
    qint64 nextBadgeNumber() const;

    void replaceState(const State &newState, const QString &actionName);
    void update(const Annotation &annotation, const QString &actionName);
    void removeAnnotation(const QUuid &id, const QString &actionName);
    // No step at all when the decoration is unchanged.
    void setDecoration(const Decoration &decoration, const QString &actionName);
    // One step restoring `previous`, without touching the current state.
    void registerUndo(const State &previous, const QString &actionName);

    void changed();

private:
    friend class SnapshotCommand;
    State m_state;
    double m_scale;
    QUndoStack *m_undoStack;
    bool m_ownsStack;
};
