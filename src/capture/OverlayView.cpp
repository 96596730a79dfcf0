// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/OverlayView.h"

#include "capture/CaptureGeometry.h"
#include "common/ImageLimits.h"

#include <QCursor>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <algorithm>

namespace {

// The picture under 25 % black, into `out` (whose memory is reused when it has the size): each channel
// × 0.75, that is c - c / 4.
void dim(const QImage &frozen, QImage &out)
{
    if (out.size() != frozen.size() || out.format() != QImage::Format_RGB32 || !out.isDetached())
        out = ImageLimits::plainImage(frozen.size(), QImage::Format_RGB32);
    if (out.isNull())
        return;
    for (int y = 0; y < frozen.height(); ++y) {
        const auto *in = reinterpret_cast<const quint32 *>(frozen.constScanLine(y));
        auto *row = reinterpret_cast<quint32 *>(out.scanLine(y));
        for (int x = 0; x < frozen.width(); ++x) {
            const quint32 p = in[x];
            row[x] = 0xff000000u | ((p & 0xffffffu) - ((p >> 2) & 0x3f3f3fu));
        }
    }
}

} // namespace

OverlayView::OverlayView(QScreen *screen, const QImage &frozen, QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setCursor(Qt::CrossCursor);
    setFocusPolicy(Qt::StrongFocus);
    // Monospaced digits, so that the label does not shift while its numbers change.
    m_labelFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    m_labelFont.setPointSizeF(11);
    m_labelFont.setWeight(QFont::Medium);
    setFrozen(screen, frozen);
}

void OverlayView::setFrozen(QScreen *screen, const QImage &frozen)
{
    m_screen = screen;
    m_ratio = screen ? screen->devicePixelRatio() : 1;
    m_start.reset();
    m_current.reset();
    // 32-bit pixels only; the pictures are used with explicit pixel rectangles, never re-tagged (tagging
    // a shared picture copies it).
    m_frozen = frozen.depth() == 32 ? frozen : frozen.convertToFormat(QImage::Format_RGB32);
    // Made once per selection, in one pass, into the memory of the last one; a drag repaints only the
    // area it changes.
    dim(m_frozen, m_dimmed);
    update();
}

void OverlayView::setWindows(const QList<QRect> &windows)
{
    m_windows = windows;
    m_windowMode = !windows.isEmpty();
    m_hovered.reset();
    setMouseTracking(true);
    if (m_windowMode)
        hover(mapFromGlobal(QCursor::pos()));
    update();
}

void OverlayView::setLoupeShown(bool shown)
{
    m_loupeShown = shown;
    update();
}

QRectF OverlayView::loupeRect() const
{
    if (!m_loupeShown || m_frozen.isNull())
        return QRectF();
    const double side = double(loupePixels * loupeZoom) / m_ratio;
    const QFontMetricsF metrics(m_labelFont);
    // The caption under the pixels is at least as wide as the largest place it names.
    const QSizeF size(std::max(side, metrics.horizontalAdvance(QStringLiteral("00000, 00000")) + 12),
                      side + metrics.height() + 8);
    const QPointF at(m_pointer.x() / m_ratio, m_pointer.y() / m_ratio);
    constexpr double gap = 24;
    const QRectF label = sizeLabelRect();
    const QRectF room(QPointF(0, 0), QSizeF(this->size()));
    const QPointF corners[] = {at + QPointF(gap, gap), at + QPointF(-gap - size.width(), gap),
                               at + QPointF(gap, -gap - size.height()),
                               at + QPointF(-gap - size.width(), -gap - size.height())};
    // Below right of the pointer, else the first other corner inside the screen and off the label.
    for (const QPointF &corner : corners) {
        const QRectF box(corner, size);
        if (room.contains(box) && !box.intersects(label))
            return box;
    }
    // Near a corner of the screen the label may stand in every corner's way: then beside it.
    for (const QPointF &corner : corners) {
        QRectF box(corner, size);
        if (!room.contains(box))
            continue;
        QRectF above = box, left = box;
        above.moveBottom(label.top() - 4);
        left.moveRight(label.left() - 4);
        for (const QRectF &moved : {above, left}) {
            if (room.contains(moved) && !moved.intersects(label))
                return moved;
        }
        return box;
    }
    return QRectF(corners[0], size);
}

QRectF OverlayView::sizeLabelRect() const
{
    if (m_windowMode)
        return m_hovered ? labelRect(hoveredRect()) : QRectF();
    return selection().isEmpty() ? QRectF() : labelRect(selection());
}

QRect OverlayView::loupeArea() const
{
    const QRectF box = loupeRect();
    return box.isEmpty() ? QRect() : box.toAlignedRect().adjusted(-3, -3, 3, 3);
}

void OverlayView::pointAt(QPoint pixel, bool moveCursor)
{
    if (m_frozen.isNull())
        return;
    pixel.setX(std::clamp(pixel.x(), 0, m_frozen.width() - 1));
    pixel.setY(std::clamp(pixel.y(), 0, m_frozen.height() - 1));
    QRect dirty = loupeArea();
    m_pointer = pixel;
    const QPointF position(pixel.x() / m_ratio, pixel.y() / m_ratio);
    if (moveCursor) {
        const QPoint global = mapToGlobal(position.toPoint());
        m_cursorSetTo = global;
        QCursor::setPos(global);
    }
    if (m_windowMode) {
        hover(position);
    } else if (m_start) {
        dirty = dirty.united(dirtyArea(selection()));
        m_current = position;
        dirty = dirty.united(dirtyArea(selection()));
    }
    update(dirty.united(loupeArea()));
}

void OverlayView::followCursor()
{
    const QPointF local = QPointF(mapFromGlobal(QCursor::pos()));
    pointAt(QPoint(int(std::floor(local.x() * m_ratio)), int(std::floor(local.y() * m_ratio))), false);
}

void OverlayView::movePointerBy(QPoint pixels)
{
    pointAt(m_pointer + pixels, true);
}

void OverlayView::pressAtPointer()
{
    const QPointF position(m_pointer.x() / m_ratio, m_pointer.y() / m_ratio);
    if (m_windowMode) {
        hover(position);
        if (m_hovered && onCommitWindow)
            onCommitWindow(*m_hovered);
        return;
    }
    if (!m_start) {
        // The drag starts where the pointer is; the next press ends it there.
        m_start = position;
        m_current = position;
        update(dirtyArea(selection()).united(loupeArea()));
        return;
    }
    m_current = position;
    const QRectF sel = selection();
    const QRect before = dirtyArea(sel);
    m_start.reset();
    m_current.reset();
    update(before);
    if (sel.width() >= 2 && sel.height() >= 2 && m_screen) {
        if (onCommit)
            onCommit(sel.translated(QPointF(window()->geometry().topLeft())));
    } else if (onCancel) {
        onCancel();
    }
}

QRectF OverlayView::hoveredRect() const
{
    if (!m_hovered)
        return QRectF();
    return QRectF(m_hovered->x() / m_ratio, m_hovered->y() / m_ratio, m_hovered->width() / m_ratio,
                  m_hovered->height() / m_ratio);
}

void OverlayView::hover(QPointF position)
{
    const QPoint native(int(std::floor(position.x() * m_ratio)), int(std::floor(position.y() * m_ratio)));
    std::optional<QRect> found;
    for (const QRect &window : std::as_const(m_windows)) {
        if (window.contains(native)) {
            found = window;
            break;
        }
    }
    if (found == m_hovered)
        return;
    m_hovered = found;
    update();
}

void OverlayView::releaseFrozen()
{
    m_frozen = QImage();
    m_start.reset();
    m_current.reset();
}

QRectF OverlayView::selection() const
{
    if (!m_start || !m_current)
        return QRectF();
    return CaptureGeometry::selectionRect(*m_start, *m_current, QSizeF(size()));
}

QString OverlayView::labelText() const
{
    if (m_windowMode)
        return m_hovered ? QStringLiteral("%1 × %2").arg(m_hovered->width()).arg(m_hovered->height())
                         : QString();
    return CaptureGeometry::sizeLabel(selection(), m_ratio);
}

QRectF OverlayView::labelRect(const QRectF &selection) const
{
    const QFontMetricsF metrics(m_labelFont);
    const QString text = labelText();
    return CaptureGeometry::labelBox(selection, QSizeF(metrics.horizontalAdvance(text), metrics.height()),
                                     QSizeF(size()));
}

QRect OverlayView::dirtyArea(const QRectF &selection) const
{
    if (!m_start || !m_current)
        return QRect();
    // The outline lies half a point outside; the label's box may sit below or inside.
    QRectF area = selection.adjusted(-2, -2, 2, 2);
    area = area.united(labelRect(selection).adjusted(-2, -2, 2, 2));
    // The label's width changes with its digits: allow for a few more.
    area.setLeft(area.left() - 40);
    return area.toAlignedRect();
}

void OverlayView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect dirty = event->rect();
    const double ratio = m_ratio;
    const QRect source(QPoint(int(dirty.x() * ratio), int(dirty.y() * ratio)),
                       QSize(int(std::ceil(dirty.width() * ratio)), int(std::ceil(dirty.height() * ratio))));
    painter.drawImage(QRectF(dirty), m_dimmed, source);
    const QRectF sel = m_windowMode ? hoveredRect() : selection();
    if (sel.isEmpty() && !(m_start && m_current)) {
        paintHintAndLoupe(painter);
        return;
    }
    if (m_windowMode) {
        painter.drawImage(sel, m_frozen, *m_hovered);
    } else if (!sel.isEmpty()) {
        const QRect pixels(QPoint(int(std::round(sel.x() * ratio)), int(std::round(sel.y() * ratio))),
                           CaptureGeometry::pixelSize(sel.size(), ratio));
        painter.drawImage(sel, m_frozen, pixels);
    }
    painter.setPen(QPen(Qt::white, 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(sel.adjusted(-0.5, -0.5, 0.5, 0.5));

    const QRectF box = labelRect(sel);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 191));
    painter.drawRoundedRect(box, 5, 5);
    painter.setPen(Qt::white);
    painter.setFont(m_labelFont);
    const QFontMetricsF metrics(m_labelFont);
    painter.drawText(QPointF(box.left() + 8, box.top() + 4 + metrics.ascent()), labelText());
    paintHintAndLoupe(painter);
}

void OverlayView::paintHintAndLoupe(QPainter &painter)
{
    // Over everything else: a window shown under it does not hide it.
    if (!m_hint.isEmpty() && !m_start) {
        painter.save();
        const QRectF box = hintRect();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 191));
        painter.drawRoundedRect(box, 8, 8);
        painter.setPen(Qt::white);
        painter.setFont(m_labelFont);
        painter.drawText(box, Qt::AlignCenter, m_hint);
        painter.restore();
    }
    paintLoupe(painter);
}

void OverlayView::paintLoupe(QPainter &painter)
{
    const QRectF box = loupeRect();
    if (box.isEmpty())
        return;
    painter.save();
    painter.setBrush(Qt::NoBrush); // the frames below are outlines only
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    // The pixels around the pointer (black beyond the screen's edge), each drawn as 8 × 8 pixels.
    constexpr int half = loupePixels / 2;
    QImage patch(loupePixels, loupePixels, QImage::Format_RGB32);
    patch.fill(Qt::black);
    const QRect source(m_pointer - QPoint(half, half), QSize(loupePixels, loupePixels));
    const QRect inside = source.intersected(m_frozen.rect());
    QPainter copy(&patch);
    copy.drawImage(inside.topLeft() - source.topLeft(), m_frozen, inside);
    copy.end();
    const double side = double(loupePixels * loupeZoom) / m_ratio, cell = double(loupeZoom) / m_ratio;
    const QRectF pixels(box.topLeft(), QSizeF(side, side));
    painter.drawImage(pixels, patch);
    // The crosshair: the pointer's pixel framed, and lines to the loupe's edges.
    const QRectF centre(pixels.topLeft() + QPointF(half * cell, half * cell), QSizeF(cell, cell));
    painter.setPen(QPen(QColor(255, 255, 255, 200), 1));
    painter.drawLine(QPointF(pixels.left(), centre.center().y()),
                     QPointF(centre.left(), centre.center().y()));
    painter.drawLine(QPointF(centre.right(), centre.center().y()),
                     QPointF(pixels.right(), centre.center().y()));
    painter.drawLine(QPointF(centre.center().x(), pixels.top()), QPointF(centre.center().x(), centre.top()));
    painter.drawLine(QPointF(centre.center().x(), centre.bottom()),
                     QPointF(centre.center().x(), pixels.bottom()));
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(centre.adjusted(-1, -1, 0, 0));
    painter.setPen(QPen(Qt::white, 1));
    painter.drawRect(pixels.adjusted(-1, -1, 0, 0));
    // The place, in the screen's pixels.
    const QRectF caption(QPointF(box.left(), pixels.bottom() + 2), QPointF(box.right(), box.bottom()));
    painter.fillRect(caption, QColor(0, 0, 0, 191));
    painter.setPen(Qt::white);
    painter.setFont(m_labelFont);
    painter.drawText(caption, Qt::AlignCenter,
                     QStringLiteral("%1, %2").arg(m_pointer.x()).arg(m_pointer.y()));
    painter.restore();
}

void OverlayView::setHint(const QString &hint)
{
    m_hint = hint;
    update();
}

QRectF OverlayView::hintRect() const
{
    const QFontMetricsF metrics(m_labelFont);
    const QSizeF size(metrics.horizontalAdvance(m_hint) + 32, metrics.height() + 16);
    return QRectF(QPointF((width() - size.width()) / 2, 24), size);
}

void OverlayView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (!m_hint.isEmpty())
        update(hintRect().toAlignedRect().adjusted(-2, -2, 2, 2));
    window()->activateWindow();
    m_start = event->position();
    m_current = event->position();
    update(dirtyArea(selection()));
}

void OverlayView::mouseMoveEvent(QMouseEvent *event)
{
    // The move a key made: the pointer is already on its pixel.
    if (m_cursorSetTo && event->globalPosition().toPoint() == *m_cursorSetTo) {
        m_cursorSetTo.reset();
        return;
    }
    m_cursorSetTo.reset();
    const QPointF at = event->position();
    const QRect loupeBefore = loupeArea();
    m_pointer = QPoint(std::clamp(int(std::floor(at.x() * m_ratio)), 0, std::max(0, m_frozen.width() - 1)),
                       std::clamp(int(std::floor(at.y() * m_ratio)), 0, std::max(0, m_frozen.height() - 1)));
    update(loupeBefore.united(loupeArea()));
    if (m_windowMode) {
        hover(event->position());
        return;
    }
    if (!m_start)
        return;
    const QRect before = dirtyArea(selection());
    m_current = event->position();
    update(before.united(dirtyArea(selection())));
}

void OverlayView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (m_windowMode) {
        // A click takes the window under it; where there is none, nothing happens.
        m_start.reset();
        hover(event->position());
        if (m_hovered && onCommitWindow)
            onCommitWindow(*m_hovered);
        return;
    }
    if (!m_start) {
        if (onCancel)
            onCancel();
        return;
    }
    m_current = event->position();
    const QRectF sel = selection();
    const QRect before = dirtyArea(sel);
    m_start.reset();
    m_current.reset();
    update(before);
    if (sel.width() >= 2 && sel.height() >= 2 && m_screen) {
        if (onCommit)
            onCommit(sel.translated(QPointF(window()->geometry().topLeft())));
    } else if (onCancel) {
        onCancel();
    }
}
