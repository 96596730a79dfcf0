// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotation/Annotation.h"
#include "annotation/ImageComposer.h"
#include "editor/EditorDocument.h"
#include "editor/EditorState.h"

#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>
#include <variant>

#include <QLineEdit>

// The interactive surface of an editor window: paints the decorated image with its annotations, the
// annotation being drawn, the selection and the crop rectangle, and turns pointer and keyboard input into
// edits of the document according to the current tool. Its size is the document's padded point size times
// the zoom.
class AnnotationCanvasView : public QWidget {
    Q_OBJECT
public:
    AnnotationCanvasView(EditorDocument *document, EditorState *state, QWidget *parent = nullptr);

    // The owner calls these when the document changes and when the tool changes.
    void documentDidChange();
    void toolDidChange();
    // Applies a change to a copy of the selected annotation and stores it as one undo step.
    void applyToSelection(const std::function<void(Annotation &)> &mutation, const QString &actionName);

    // Receives a finished crop rectangle, in image space.
    std::function<void(const QRectF &)> onCropCommit;

    // In-place text editing.
    void beginTextEditing(QPointF imagePoint, const std::optional<Annotation> &existing = std::nullopt);
    void commitTextEditing();
    void cancelTextEditing();

    std::optional<QUuid> selectedID() const { return m_selectedID; }
    const std::optional<Annotation> &draft() const { return m_draft; }
    std::optional<QRectF> cropRect() const { return m_cropRect; }
    QLineEdit *textField() const { return m_textField; }

    // View pixels per point: 1 shows the picture at its point size.
    double zoom() const { return m_zoom; }
    void setZoom(double zoom);

    // Conversions between widget positions and image space (points, origin at the image's bottom-left
    // corner, y up).
    QPointF toImage(QPointF widgetPoint) const;
    QPointF toWidget(QPointF imagePoint) const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct DrawDrag {
        QPointF anchor;
    };
    struct MoveDrag {
        QPointF last;
        QList<Annotation> snapshot;
    };
    struct EndpointDrag {
        int index;
        QList<Annotation> snapshot;
    };
    struct CornerDrag {
        QPointF fixed;
        QList<Annotation> snapshot;
    };
    struct CropDrag {
        QPointF anchor;
    };
    using Drag = std::variant<std::monostate, DrawDrag, MoveDrag, EndpointDrag, CornerDrag, CropDrag>;

    void pointerDown(QPointF imagePoint, int clickCount);
    void selectMouseDown(QPointF point, int clickCount);
    std::optional<Annotation> makeDraft(QPointF anchor) const;
    void updateDraft(QPointF anchor, QPointF current);
    void insertBadge(QPointF point);
    void replaceLive(const Annotation &changed);
    void finishGesture(const QList<Annotation> &snapshot, const QString &actionName);
    void resizeTextField();
    void tearDownTextField();
    void updateCursor();
    void syncSize();
    QList<Annotation> paintedAnnotations() const;

    // Painting.
    void paintDocument(QPainter &painter);
    void paintSelectionChrome(QPainter &painter, const Annotation &annotation);
    void paintCropChrome(QPainter &painter, const QRectF &crop);
    // The decorated image at the view's density, or nothing when that picture would be too large to keep
    // (far zoomed in): the visible part is then painted directly.
    const QPixmap *decoratedImage();
    ImageComposer::Scene scene(const QList<Annotation> *annotations) const;
    void prepareDragCache();
    void dropDragCache();

    EditorDocument *m_document;
    EditorState *m_state;
    std::optional<QUuid> m_selectedID;
    std::optional<Annotation> m_draft;
    Drag m_drag;
    std::optional<QRectF> m_cropRect;
    QPointer<QLineEdit> m_textField;
    std::optional<QUuid> m_editingTextID;
    QPointF m_textOrigin; // of the text in the open field, image space
    QFont m_textFont;     // the text's font, for measuring the field's content

    // The decorated image (background, shadow, clipped base image) does not change while annotations do.
    QPixmap m_decorated;
    qint64 m_decoratedImageKey = 0;
    Decoration m_decoratedDecoration;
    double m_decoratedZoom = 0;
    // During a move or reshape, the annotations below and above the one being dragged do not change
    // either: the dragged one is painted between the two pictures.
    QPixmap m_belowDrag;
    QPixmap m_aboveDrag;
    qsizetype m_dragIndex = -1;
    bool m_liveChange = false; // the document changes because of the drag itself
    double m_zoom = 1;
};
