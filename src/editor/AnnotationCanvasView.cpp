// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/AnnotationCanvasView.h"

#include "annotation/AnnotationRenderer.h"
#include "annotation/Geometry.h"
#include "annotation/ImageComposer.h"
#include "annotation/TextFont.h"
#include "common/Overloaded.h"
#include "editor/CanvasGeometry.h"

#include <QFocusEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace {

using A = Annotation;

double distance(QPointF a, QPointF b)
{
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

// The text's font as the in-place field shows it on a canvas at that zoom.
QFont fieldFont(QFont font, double zoom, const QPaintDevice *device)
{
    font.setPointSizeF(std::max(font.pointSizeF() * zoom, 0.1));
    return TextFont::forDevice(font, device);
}

} // namespace

AnnotationCanvasView::AnnotationCanvasView(EditorDocument *document, EditorState *state, QWidget *parent)
    : QWidget(parent), m_document(document), m_state(state)
{
    setFocusPolicy(Qt::StrongFocus);
    syncSize();
    updateCursor();
}

// --- Coordinates ---------------------------------------------------------------------------------------

QPointF AnnotationCanvasView::toImage(QPointF widgetPoint) const
{
    const double p = m_document->state().decoration.padding;
    const QPointF view = widgetPoint / m_zoom;
    return QPointF(view.x() - p, m_document->paddedPointSize().height() - view.y() - p);
}

QPointF AnnotationCanvasView::toWidget(QPointF imagePoint) const
{
    const double p = m_document->state().decoration.padding;
    return QPointF(imagePoint.x() + p, m_document->paddedPointSize().height() - p - imagePoint.y()) * m_zoom;
}

void AnnotationCanvasView::syncSize()
{
    const QSize whole = CanvasGeometry::zoomedSize(m_document->paddedPointSize(), m_zoom);
    if (whole != this->size())
        setFixedSize(whole);
}

void AnnotationCanvasView::setZoom(double zoom)
{
    zoom = CanvasGeometry::clampedZoom(zoom);
    if (zoom == m_zoom)
        return;
    m_zoom = zoom;
    dropDragCache();
    syncSize();
    if (m_textField) {
        m_textField->setFont(fieldFont(m_textFont, m_zoom, this));
        resizeTextField();
    }
    update();
}

// --- Owner notifications -------------------------------------------------------------------------------

void AnnotationCanvasView::documentDidChange()
{
    if (!m_liveChange) {
        // A change that is not the drag's own (an undo from the menu during a move, say): the layers
        // cached at mouse-down and the drag's snapshot no longer describe the document.
        dropDragCache();
        if (std::holds_alternative<MoveDrag>(m_drag) || std::holds_alternative<EndpointDrag>(m_drag) ||
            std::holds_alternative<CornerDrag>(m_drag))
            m_drag = std::monostate{};
    }
    if (m_selectedID && !m_document->annotation(*m_selectedID))
        m_selectedID.reset();
    syncSize();
    update();
}

void AnnotationCanvasView::toolDidChange()
{
    commitTextEditing();
    if (m_state->tool != EditorState::Tool::select)
        m_selectedID.reset();
    if (m_state->tool != EditorState::Tool::crop)
        m_cropRect.reset();
    updateCursor();
    update();
}

void AnnotationCanvasView::applyToSelection(const std::function<void(Annotation &)> &mutation,
                                            const QString &actionName)
{
    if (!m_selectedID)
        return;
    std::optional<Annotation> selected = m_document->annotation(*m_selectedID);
    if (!selected)
        return;
    mutation(*selected);
    m_document->update(*selected, actionName);
}

void AnnotationCanvasView::updateCursor()
{
    switch (m_state->tool) {
    case EditorState::Tool::select: setCursor(Qt::ArrowCursor); break;
    case EditorState::Tool::text: setCursor(Qt::IBeamCursor); break;
    case EditorState::Tool::arrow:
    case EditorState::Tool::line:
    case EditorState::Tool::rect:
    case EditorState::Tool::ellipse:
    case EditorState::Tool::highlight:
    case EditorState::Tool::badge:
    case EditorState::Tool::pixelate:
    case EditorState::Tool::freehand:
    case EditorState::Tool::crop: setCursor(Qt::CrossCursor); break;
    }
}

// --- Pointer -------------------------------------------------------------------------------------------

void AnnotationCanvasView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    pointerDown(toImage(event->position()), 1);
}

void AnnotationCanvasView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    pointerDown(toImage(event->position()), 2);
}

void AnnotationCanvasView::pointerDown(QPointF q, int clickCount)
{
    // Taking the focus ends an open text field's editing, which commits it.
    setFocus(Qt::MouseFocusReason);
    if (m_textField) {
        commitTextEditing();
        return;
    }
    switch (m_state->tool) {
    case EditorState::Tool::select: selectMouseDown(q, clickCount); break;
    case EditorState::Tool::badge: insertBadge(q); break;
    case EditorState::Tool::text: beginTextEditing(q); break;
    case EditorState::Tool::crop:
        m_cropRect.reset();
        m_drag = CropDrag{CanvasGeometry::clamped(q, m_document->imagePointSize())};
        break;
    case EditorState::Tool::arrow:
    case EditorState::Tool::line:
    case EditorState::Tool::rect:
    case EditorState::Tool::ellipse:
    case EditorState::Tool::highlight:
    case EditorState::Tool::pixelate:
    case EditorState::Tool::freehand:
        m_draft = makeDraft(q);
        m_drag = DrawDrag{q};
        update();
        break;
    }
}

std::optional<Annotation> AnnotationCanvasView::makeDraft(QPointF a) const
{
    A::Kind kind;
    switch (m_state->tool) {
    case EditorState::Tool::arrow: kind = A::Arrow{a, a}; break;
    case EditorState::Tool::line: kind = A::Line{a, a}; break;
    case EditorState::Tool::rect: kind = A::Rect{QRectF(a, QSizeF(0, 0))}; break;
    case EditorState::Tool::ellipse: kind = A::Ellipse{QRectF(a, QSizeF(0, 0))}; break;
    case EditorState::Tool::highlight: kind = A::Highlight{QRectF(a, QSizeF(0, 0))}; break;
    case EditorState::Tool::pixelate: kind = A::Pixelate{QRectF(a, QSizeF(0, 0))}; break;
    case EditorState::Tool::freehand: kind = A::Freehand{{a}}; break;
    case EditorState::Tool::select:
    case EditorState::Tool::badge:
    case EditorState::Tool::text:
    case EditorState::Tool::crop: return std::nullopt; // placed by a click or not drawn at all
    }
    return A(kind, m_state->color, m_state->lineWidth);
}

void AnnotationCanvasView::updateDraft(QPointF a, QPointF c)
{
    if (!m_draft)
        return;
    const QRectF spanned = CanvasGeometry::spanned(a, c);
    std::visit(Overloaded{
                   [&](A::Arrow &k) { k.to = c; },
                   [&](A::Line &k) { k.to = c; },
                   [&](A::Freehand &k) { k.points.append(c); },
                   [&](A::Rect &k) { k.rect = spanned; },
                   [&](A::Ellipse &k) { k.rect = spanned; },
                   [&](A::Highlight &k) { k.rect = spanned; },
                   [&](A::Pixelate &k) { k.rect = spanned; },
                   [](A::Badge &) {}, // badges and texts are placed by a click, never dragged out
                   [](A::Text &) {},
               },
               m_draft->kind);
}

void AnnotationCanvasView::insertBadge(QPointF point)
{
    const A badge(A::Badge{point, m_document->nextBadgeNumber()}, m_state->color, m_state->lineWidth);
    EditorDocument::State next = m_document->state();
    next.annotations.append(badge);
    m_document->replaceState(next, EditorDocument::addBadge);
}

void AnnotationCanvasView::selectMouseDown(QPointF q, int clickCount)
{
    const QList<A> &list = m_document->state().annotations;
    if (m_selectedID) {
        if (const std::optional<A> selected = m_document->annotation(*m_selectedID)) {
            const QList<QPointF> handles = selected->handles();
            for (int i = 0; i < handles.size(); ++i) {
                if (distance(q, handles[i]) > CanvasGeometry::handleReach / m_zoom)
                    continue;
                if (selected->is<A::Arrow>() || selected->is<A::Line>())
                    m_drag = EndpointDrag{i, list};
                else
                    m_drag = CornerDrag{handles[CanvasGeometry::fixedCornerIndex(i)], list};
                prepareDragCache();
                return;
            }
        }
    }
    for (qsizetype i = list.size() - 1; i >= 0; --i) {
        if (!list[i].hitTest(q))
            continue;
        m_selectedID = list[i].id;
        if (clickCount == 2 && list[i].is<A::Text>()) {
            beginTextEditing(q, list[i]);
            update();
            return;
        }
        m_drag = MoveDrag{q, list};
        prepareDragCache();
        update();
        return;
    }
    m_selectedID.reset();
    update();
}

void AnnotationCanvasView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QPointF c = CanvasGeometry::clamped(toImage(event->position()), m_document->imagePointSize());
    if (auto *draw = std::get_if<DrawDrag>(&m_drag)) {
        updateDraft(draw->anchor, c);
        update();
    } else if (auto *move = std::get_if<MoveDrag>(&m_drag)) {
        if (m_selectedID) {
            if (std::optional<A> selected = m_document->annotation(*m_selectedID)) {
                selected->translate(c.x() - move->last.x(), c.y() - move->last.y());
                replaceLive(*selected);
            }
        }
        move->last = c;
    } else if (auto *endpoint = std::get_if<EndpointDrag>(&m_drag)) {
        if (m_selectedID) {
            if (std::optional<A> selected = m_document->annotation(*m_selectedID)) {
                QPointF *from = nullptr, *to = nullptr;
                if (auto *k = selected->as<A::Arrow>())
                    from = &k->from, to = &k->to;
                else if (auto *k = selected->as<A::Line>())
                    from = &k->from, to = &k->to;
                if (from)
                    *(endpoint->index == 0 ? from : to) = c;
                replaceLive(*selected);
            }
        }
    } else if (auto *corner = std::get_if<CornerDrag>(&m_drag)) {
        if (m_selectedID) {
            if (std::optional<A> selected = m_document->annotation(*m_selectedID)) {
                std::visit(
                    [&](auto &k) {
                        if constexpr (requires { k.rect; })
                            k.rect = CanvasGeometry::spanned(c, corner->fixed);
                    },
                    selected->kind);
                replaceLive(*selected);
            }
        }
    } else if (auto *crop = std::get_if<CropDrag>(&m_drag)) {
        m_cropRect = CanvasGeometry::spanned(c, crop->anchor);
        update();
    }
}

void AnnotationCanvasView::replaceLive(const Annotation &changed)
{
    m_liveChange = true;
    m_document->updateLive(changed);
    m_liveChange = false;
}

void AnnotationCanvasView::dropDragCache()
{
    m_belowDrag = QPixmap();
    m_aboveDrag = QPixmap();
    m_dragIndex = -1;
}

void AnnotationCanvasView::finishGesture(const QList<Annotation> &snapshot, const QString &actionName)
{
    // A click that selected without moving anything is no edit: an empty step would also wipe the redo
    // history.
    if (snapshot == m_document->state().annotations)
        return;
    EditorDocument::State previous = m_document->state();
    previous.annotations = snapshot;
    m_document->registerUndo(previous, actionName);
}

void AnnotationCanvasView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const Drag drag = std::exchange(m_drag, std::monostate{});
    dropDragCache();
    update();
    if (std::holds_alternative<DrawDrag>(drag)) {
        if (m_draft) {
            const A finished = *std::exchange(m_draft, std::nullopt);
            const QRectF box = finished.boundingBox();
            const auto *freehand = finished.as<A::Freehand>();
            const bool keep = freehand ? freehand->points.size() >= 2
                                       : (box.width() >= CanvasGeometry::minimumDraft ||
                                          box.height() >= CanvasGeometry::minimumDraft);
            if (keep) {
                EditorDocument::State next = m_document->state();
                next.annotations.append(finished);
                m_document->replaceState(next, EditorDocument::addAnnotation);
            }
        }
        update();
    } else if (const auto *move = std::get_if<MoveDrag>(&drag)) {
        finishGesture(move->snapshot, EditorDocument::move);
    } else if (const auto *endpoint = std::get_if<EndpointDrag>(&drag)) {
        finishGesture(endpoint->snapshot, EditorDocument::reshape);
    } else if (const auto *corner = std::get_if<CornerDrag>(&drag)) {
        finishGesture(corner->snapshot, EditorDocument::reshape);
    } else if (std::holds_alternative<CropDrag>(drag)) {
        const std::optional<QRectF> crop = std::exchange(m_cropRect, std::nullopt);
        if (crop && crop->width() >= CanvasGeometry::minimumCrop &&
            crop->height() >= CanvasGeometry::minimumCrop && onCropCommit)
            onCropCommit(*crop);
        m_state->setTool(EditorState::Tool::select);
        update();
    }
}

// --- Keyboard ------------------------------------------------------------------------------------------

void AnnotationCanvasView::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    // One letter chooses a tool (the text field, when open, has the keyboard, so typing never gets here).
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier);
    if (modifiers == Qt::NoModifier && key >= Qt::Key_A && key <= Qt::Key_Z && !m_textField &&
        m_drag.index() == 0) {
        if (const std::optional<EditorState::Tool> tool =
                EditorState::toolForKey(char('A' + (key - Qt::Key_A)))) {
            m_state->setTool(*tool);
            return;
        }
    }
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete) {
        if (m_selectedID) {
            m_document->removeAnnotation(*m_selectedID, EditorDocument::remove);
            m_selectedID.reset();
            update();
        }
        return;
    }
    if (key == Qt::Key_Escape) {
        if (std::holds_alternative<CropDrag>(m_drag)) {
            m_cropRect.reset();
            m_drag = std::monostate{};
            m_state->setTool(EditorState::Tool::select);
            update();
            return;
        }
        if (m_state->tool == EditorState::Tool::crop) {
            m_state->setTool(EditorState::Tool::select);
            return;
        }
        if (m_draft) {
            m_draft.reset();
            m_drag = std::monostate{};
            update();
            return;
        }
        if (m_selectedID) {
            m_selectedID.reset();
            update();
            return;
        }
    }
    QWidget::keyPressEvent(event); // to the parent
}

// --- Text editing --------------------------------------------------------------------------------------

void AnnotationCanvasView::beginTextEditing(QPointF q, const std::optional<Annotation> &existing)
{
    commitTextEditing();
    QString text;
    QPointF origin = q;
    std::optional<QString> fontName = m_state->fontName;
    double fontSize = m_state->fontSize;
    QColor color = m_state->color;
    if (existing) {
        if (const auto *k = existing->as<A::Text>()) {
            text = k->string;
            origin = k->origin;
            fontName = k->fontName;
            fontSize = k->fontSize;
            color = existing->color;
            m_editingTextID = existing->id;
        }
    }
    auto *field = new QLineEdit(text, this);
    field->setFrame(false);
    field->setTextMargins(0, 0, 0, 0);
    field->setAttribute(Qt::WA_TranslucentBackground);
    QPalette palette = field->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, color);
    field->setPalette(palette);
    const QFont font = TextFont::textFont(fontName, fontSize);
    field->setFont(fieldFont(font, m_zoom, this));
    m_textFont = font;
    m_textOrigin = origin;
    field->installEventFilter(this);
    connect(field, &QLineEdit::textChanged, this, &AnnotationCanvasView::resizeTextField);
    m_textField = field;
    resizeTextField();
    field->show();
    field->setFocus(Qt::OtherFocusReason);
    update();
}

void AnnotationCanvasView::resizeTextField()
{
    if (!m_textField)
        return;
    const QPointF origin = m_textOrigin;
    const QSizeF measured = TextFont::measure(m_textField->text(), m_textFont);
    const QRectF frame =
        CanvasGeometry::textFieldFrame(origin, measured, m_document->state().decoration.padding);
    // View space is y-up; the widget is y-down.
    const double top = m_document->paddedPointSize().height() - frame.y() - frame.height();
    const QRectF zoomed(frame.x() * m_zoom, top * m_zoom, frame.width() * m_zoom, frame.height() * m_zoom);
    m_textField->setGeometry(zoomed.toAlignedRect());
}

void AnnotationCanvasView::tearDownTextField()
{
    // Cleared first, so that the end of editing caused by the tear-down does nothing.
    QLineEdit *field = m_textField;
    m_textField = nullptr;
    m_editingTextID.reset();
    if (field) {
        field->removeEventFilter(this);
        field->disconnect(this);
        field->hide();
        field->deleteLater();
    }
    setFocus(Qt::OtherFocusReason);
}

void AnnotationCanvasView::commitTextEditing()
{
    if (!m_textField)
        return;
    const QString text = m_textField->text().trimmed();
    const QPointF origin = m_textOrigin;
    const std::optional<QUuid> editing = m_editingTextID;
    tearDownTextField();
    if (editing) {
        std::optional<A> existing = m_document->annotation(*editing);
        A::Text *kind = existing ? existing->as<A::Text>() : nullptr;
        if (kind && !text.isEmpty() && text != kind->string) {
            kind->string = text;
            m_document->update(*existing, EditorDocument::editText);
        }
    } else if (!text.isEmpty()) {
        const A annotation(A::Text{origin, text, m_state->fontName, m_state->fontSize}, m_state->color,
                           m_state->lineWidth);
        EditorDocument::State next = m_document->state();
        next.annotations.append(annotation);
        m_document->replaceState(next, EditorDocument::addText);
    }
    update();
}

void AnnotationCanvasView::cancelTextEditing()
{
    if (m_textField)
        tearDownTextField();
    update();
}

bool AnnotationCanvasView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_textField) {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent *>(event)->key();
            if (key == Qt::Key_Escape) {
                cancelTextEditing();
                return true;
            }
            // Handled here, so that Return does not go on to a default button of the window.
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                commitTextEditing();
                return true;
            }
        }
        // Losing the focus to another control ends editing; the window merely losing its activation does not.
        if (event->type() == QEvent::FocusOut) {
            const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                commitTextEditing();
        }
    }
    return QWidget::eventFilter(watched, event);
}

// --- Painting ------------------------------------------------------------------------------------------

QList<Annotation> AnnotationCanvasView::paintedAnnotations() const
{
    QList<A> list = m_document->state().annotations;
    if (m_editingTextID)
        list.removeIf([&](const A &a) { return a.id == *m_editingTextID; });
    return list;
}

ImageComposer::Scene AnnotationCanvasView::scene(const QList<Annotation> *annotations) const
{
    const EditorDocument::State &s = m_document->state();
    ImageComposer::Scene scene{s.baseImage, annotations, m_document->scale(), s.decoration};
    scene.onScreen = true;
    return scene;
}

namespace {

// The largest picture the canvas keeps of its layers: 16 million pixels (64 MB), more than a 4K screen.
constexpr qint64 layerPixelLimit = qint64(16) << 20;

// A layer the size of the canvas at its density, transparent, painted in padded points.
QPixmap newLayer(QSize pixels, qreal ratio)
{
    QPixmap layer(pixels);
    layer.setDevicePixelRatio(ratio);
    layer.fill(Qt::transparent);
    return layer;
}

// Draws a layer, one pixel a device pixel, at the canvas's top-left corner of a painter in padded points.
void drawLayer(QPainter &painter, const QPixmap &layer, double zoom)
{
    painter.save();
    painter.scale(1 / zoom, 1 / zoom);
    painter.drawPixmap(QPointF(0, 0), layer);
    painter.restore();
}

} // namespace

const QPixmap *AnnotationCanvasView::decoratedImage()
{
    const EditorDocument::State &s = m_document->state();
    const qreal ratio = devicePixelRatioF();
    const QSize view = CanvasGeometry::zoomedSize(m_document->paddedPointSize(), m_zoom);
    const QSize pixels(int(std::ceil(view.width() * ratio)), int(std::ceil(view.height() * ratio)));
    if (qint64(pixels.width()) * pixels.height() > layerPixelLimit) {
        m_decorated = QPixmap();
        return nullptr;
    }
    if (m_decorated.isNull() || m_decorated.size() != pixels || m_decorated.devicePixelRatio() != ratio ||
        m_decoratedZoom != m_zoom || m_decoratedImageKey != s.baseImage.cacheKey() ||
        !(m_decoratedDecoration == s.decoration)) {
        m_decorated = newLayer(pixels, ratio);
        QPainter painter(&m_decorated);
        painter.scale(m_zoom, m_zoom);
        ImageComposer::paintDecoratedImage(painter, scene(nullptr));
        m_decoratedImageKey = s.baseImage.cacheKey();
        m_decoratedDecoration = s.decoration;
        m_decoratedZoom = m_zoom;
    }
    return &m_decorated;
}

// At the start of a move or reshape: the pictures of everything below and above the dragged annotation,
// which the drag cannot change. Annotations paint with source-over only and pixelations sample the base
// image, so painting the layer above separately gives the same picture.
void AnnotationCanvasView::prepareDragCache()
{
    dropDragCache();
    if (!m_selectedID || m_editingTextID)
        return;
    const QList<A> &list = m_document->state().annotations;
    qsizetype index = -1;
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list[i].id == *m_selectedID)
            index = i;
    }
    const QPixmap *decorated = decoratedImage();
    if (index < 0 || !decorated)
        return;
    m_dragIndex = index;
    m_belowDrag = decorated->copy();
    m_belowDrag.setDevicePixelRatio(decorated->devicePixelRatio());
    {
        QPainter painter(&m_belowDrag);
        painter.scale(m_zoom, m_zoom);
        const QList<A> below = list.mid(0, m_dragIndex);
        ImageComposer::paintAnnotations(painter, scene(&below));
    }
    if (m_dragIndex + 1 < list.size()) {
        m_aboveDrag = newLayer(m_belowDrag.size(), m_belowDrag.devicePixelRatio());
        QPainter painter(&m_aboveDrag);
        painter.scale(m_zoom, m_zoom);
        const QList<A> above = list.mid(m_dragIndex + 1);
        ImageComposer::paintAnnotations(painter, scene(&above));
    }
}

// Paints the picture in a painter whose user space is padded points, y down.
void AnnotationCanvasView::paintDocument(QPainter &painter)
{
    const EditorDocument::State &s = m_document->state();
    const QList<A> list = paintedAnnotations();
    const bool dragCacheValid = !m_belowDrag.isNull() && m_dragIndex >= 0 && m_dragIndex < list.size() &&
                                m_selectedID && list[m_dragIndex].id == *m_selectedID &&
                                m_decoratedImageKey == s.baseImage.cacheKey() &&
                                m_decoratedDecoration == s.decoration && m_decoratedZoom == m_zoom;
    if (dragCacheValid && list.size() == m_document->state().annotations.size()) {
        drawLayer(painter, m_belowDrag, m_zoom);
        const QList<A> dragged{list[m_dragIndex]};
        ImageComposer::paintAnnotations(painter, scene(&dragged));
        if (!m_aboveDrag.isNull())
            drawLayer(painter, m_aboveDrag, m_zoom);
        return;
    }
    if (const QPixmap *decorated = decoratedImage())
        drawLayer(painter, *decorated, m_zoom);
    else
        ImageComposer::paintDecoratedImage(painter, scene(nullptr)); // only the exposed part is drawn
    ImageComposer::paintAnnotations(painter, scene(&list));
}

void AnnotationCanvasView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.scale(m_zoom, m_zoom);
    paintDocument(painter);

    // Overlays, in image space.
    const double p = m_document->state().decoration.padding;
    const QSizeF image = m_document->imagePointSize();
    painter.translate(p, m_document->paddedPointSize().height() - p);
    painter.scale(1, -1);
    painter.setRenderHint(QPainter::Antialiasing);
    if (m_draft)
        AnnotationRenderer::draw(*m_draft, painter, m_document->state().baseImage, image,
                                 m_document->scale());
    if (m_selectedID) {
        if (const std::optional<A> selected = m_document->annotation(*m_selectedID))
            paintSelectionChrome(painter, *selected);
    }
    if (m_cropRect)
        paintCropChrome(painter, *m_cropRect);
}

// The chrome keeps its size on screen whatever the zoom: cosmetic pens, lengths divided by the zoom.
void AnnotationCanvasView::paintSelectionChrome(QPainter &painter, const Annotation &a)
{
    const auto pen = [](const QColor &color) {
        QPen pen(color, 1);
        pen.setCosmetic(true);
        return pen;
    };
    const double unit = 1 / m_zoom;
    const QRectF r = Geometry::grown(a.boundingBox(), 4 * unit);
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(pen(QColor(0, 0, 0, 153)));
    painter.drawRect(r);
    QPen dashes = pen(Qt::white);
    dashes.setDashPattern({4, 4});
    dashes.setDashOffset(0);
    painter.setPen(dashes);
    painter.drawRect(r);
    painter.setPen(pen(Qt::darkGray));
    painter.setBrush(Qt::white);
    for (const QPointF &handle : a.handles())
        painter.drawEllipse(handle, 4 * unit, 4 * unit);
    painter.restore();
}

void AnnotationCanvasView::paintCropChrome(QPainter &painter, const QRectF &crop)
{
    const QSizeF image = m_document->imagePointSize();
    painter.save();
    QPainterPath dim;
    dim.setFillRule(Qt::OddEvenFill);
    dim.addRect(QRectF(QPointF(0, 0), image));
    dim.addRect(crop);
    painter.fillPath(dim, QColor(0, 0, 0, 115));
    QPen edge(Qt::white, 1);
    edge.setCosmetic(true);
    painter.setPen(edge);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(crop);

    const QString label = CanvasGeometry::cropLabel(crop, m_document->scale());
    // The label is set in view pixels (image space scaled by the zoom), so it reads the same at every zoom.
    painter.scale(1 / m_zoom, 1 / m_zoom);
    const QRectF zoomedCrop(crop.topLeft() * m_zoom, crop.size() * m_zoom);
    // Monospaced digits: the label does not shift while the numbers change.
    const QFont font = TextFont::textFont(QFontDatabase::systemFont(QFontDatabase::FixedFont).family(), 11);
    const QSizeF textSize = TextFont::measure(label, font);
    const QRectF box = CanvasGeometry::cropLabelBox(zoomedCrop, textSize, width());
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 191));
    painter.drawRoundedRect(box, 5, 5);
    painter.setPen(Qt::white);
    TextFont::drawUpright(painter, label, font, QPointF(box.x() + 8, box.y() + 4));
    painter.restore();
}
