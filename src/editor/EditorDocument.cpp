// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/EditorDocument.h"

#include "annotation/Geometry.h"

#include <QUndoCommand>

#include <algorithm>
#include <atomic>
#include <limits>

// One undo step: it holds the other snapshot and swaps it with the document's state on every undo and
// redo, so the two alternate indefinitely. Pushing it applies nothing: the state is already set.
class SnapshotCommand : public QUndoCommand {
public:
    SnapshotCommand(EditorDocument *document, EditorDocument::State other, const QString &name)
        : QUndoCommand(name), m_document(document), m_other(std::move(other))
    {}

    void undo() override { swap(); }
    void redo() override
    {
        if (m_pushed) {
            swap();
            return;
        }
        m_pushed = true;
    }

private:
    void swap()
    {
        std::swap(m_document->m_state, m_other);
        m_document->changed();
    }

    EditorDocument *m_document;
    EditorDocument::State m_other;
    bool m_pushed = false;
};

namespace {

std::atomic<int> liveDocuments{0};

} // namespace

void EditorDocument::resetState(const State &newState)
{
    m_state = newState;
    changed();
}

void EditorDocument::updateLive(const Annotation &annotation)
{
    for (Annotation &a : m_state.annotations) {
        if (a.id == annotation.id)
            a = annotation;
    }
    changed();
}

int EditorDocument::instances()
{
    return liveDocuments.load();
}

EditorDocument::EditorDocument(const QImage &baseImage, double scale, QUndoStack *undoStack)
    : m_scale(scale > 0 ? scale : 1), m_undoStack(undoStack ? undoStack : new QUndoStack),
      m_ownsStack(!undoStack)
{
    m_state.baseImage = baseImage;
    ++liveDocuments;
}

EditorDocument::~EditorDocument()
{
    --liveDocuments;
    if (m_ownsStack)
        delete m_undoStack;
}

QSizeF EditorDocument::imagePointSize() const
{
    return Geometry::pointSize(m_state.baseImage.size(), m_scale);
}

QSizeF EditorDocument::paddedPointSize() const
{
    return Geometry::padded(imagePointSize(), m_state.decoration.padding);
}

std::optional<Annotation> EditorDocument::annotation(const QUuid &id) const
{
    for (const Annotation &a : m_state.annotations) {
        if (a.id == id)
            return a;
    }
    return std::nullopt;
}

qint64 EditorDocument::nextBadgeNumber() const
{
    std::optional<qint64> highest;
    for (const Annotation &a : m_state.annotations) {
        if (const auto *badge = a.as<Annotation::Badge>())
            highest = highest ? std::max(*highest, badge->number) : badge->number;
    }
    if (!highest)
        return 1;
    return *highest == std::numeric_limits<qint64>::max() ? *highest : *highest + 1;
}

void EditorDocument::changed()
{
    if (onChange)
        onChange();
}

void EditorDocument::registerUndo(const State &previous, const QString &actionName)
{
    m_undoStack->push(new SnapshotCommand(this, previous, actionName));
}

void EditorDocument::replaceState(const State &newState, const QString &actionName)
{
    registerUndo(m_state, actionName);
    m_state = newState;
    changed();
}

void EditorDocument::update(const Annotation &annotation, const QString &actionName)
{
    State next = m_state;
    for (Annotation &a : next.annotations) {
        if (a.id == annotation.id)
            a = annotation;
    }
    replaceState(next, actionName);
}

void EditorDocument::removeAnnotation(const QUuid &id, const QString &actionName)
{
    State next = m_state;
    next.annotations.removeIf([&](const Annotation &a) { return a.id == id; });
    replaceState(next, actionName);
}

void EditorDocument::setDecoration(const Decoration &decoration, const QString &actionName)
{
    if (decoration == m_state.decoration)
        return;
    State next = m_state;
    next.decoration = decoration;
    replaceState(next, actionName);
}
