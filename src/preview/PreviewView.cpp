// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/PreviewView.h"

#include "common/Icons.h"

#include <QDrag>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <cmath>

PreviewView::PreviewView(const QImage &image, const QString &filePath, QWidget *parent)
    : QWidget(parent), m_image(image), m_filePath(filePath), m_closeButton(new QToolButton(this)),
      m_pinButton(new QToolButton(this))
{
    setAttribute(Qt::WA_Hover);
    m_closeButton->setIcon(Icons::icon(QStringLiteral("close"), QColor()));
    m_closeButton->setIconSize(QSize(18, 18));
    m_closeButton->setAutoRaise(true);
    m_closeButton->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    m_closeButton->setToolTip(QStringLiteral("Fermer"));
    m_closeButton->setAccessibleName(QStringLiteral("Fermer"));
    m_closeButton->setGeometry(6, 6, 18, 18);
    m_closeButton->setFocusPolicy(Qt::NoFocus);
    m_closeButton->hide();
    connect(m_closeButton, &QToolButton::clicked, this, [this] {
        if (onClose)
            onClose();
    });
    // Beside it, "Épingler": the capture stays on the screen in a window of its own.
    m_pinButton->setIcon(Icons::icon(QStringLiteral("pin-round"), QColor()));
    m_pinButton->setIconSize(QSize(18, 18));
    m_pinButton->setAutoRaise(true);
    m_pinButton->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    m_pinButton->setToolTip(QStringLiteral("Épingler"));
    m_pinButton->setAccessibleName(QStringLiteral("Épingler"));
    m_pinButton->setGeometry(28, 6, 18, 18);
    m_pinButton->setFocusPolicy(Qt::NoFocus);
    m_pinButton->hide();
    connect(m_pinButton, &QToolButton::clicked, this, [this] {
        if (onPin)
            onPin();
    });
    startDrag = [this](QMimeData *data) {
        QPointer<PreviewView> self(this);
        auto *drag = new QDrag(this);
        drag->setMimeData(data);
        QPixmap picture = grab();
        drag->setPixmap(picture);
        drag->setHotSpot(picture.rect().center() / picture.devicePixelRatio());
        m_dragging = true;
        drag->exec(Qt::CopyAction, Qt::CopyAction);
        if (!self)
            return;
        m_dragging = false;
        // The end of the drag reaches the panel from the event loop, whatever the outcome.
        QTimer::singleShot(0, this, [self] {
            if (self && self->onDragEnded)
                self->onDragEnded();
        });
    };
}

bool PreviewView::isDrag(QPointF from, QPointF to)
{
    return std::hypot(to.x() - from.x(), to.y() - from.y()) > 5;
}

QMimeData *PreviewView::makeDragData() const
{
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(m_filePath)});
    return data;
}

void PreviewView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF bounds = QRectF(rect());
    QPainterPath outline;
    outline.addRoundedRect(bounds, 10, 10);
    painter.fillPath(outline, QColor(30, 30, 32));
    painter.setClipPath(outline);
    // The whole capture, centred, with bands where the aspects differ.
    const QSizeF fitted = QSizeF(m_image.size()).scaled(bounds.size(), Qt::KeepAspectRatio);
    const QRectF target(bounds.center() - QPointF(fitted.width() / 2, fitted.height() / 2), fitted);
    painter.drawImage(target, m_image);
    if (!m_duration.isEmpty()) {
        // A play mark and the length, bottom left, on a dark pill.
        QFont font = painter.font();
        font.setPixelSize(12);
        font.setBold(true);
        painter.setFont(font);
        const int textWidth = painter.fontMetrics().horizontalAdvance(m_duration);
        const QRectF pill(bounds.left() + 8, bounds.bottom() - 30, textWidth + 34, 22);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 170));
        painter.drawRoundedRect(pill, 11, 11);
        painter.setBrush(Qt::white);
        const QPointF tip(pill.left() + 18, pill.center().y());
        painter.drawPolygon(QPolygonF{tip + QPointF(-7, -6), tip + QPointF(-7, 6), tip + QPointF(3, 0)});
        painter.setPen(Qt::white);
        painter.drawText(pill.adjusted(26, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, m_duration);
    }
    painter.setClipping(false);
    painter.setPen(QPen(QColor(255, 255, 255, 64), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(bounds.adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
}

void PreviewView::setDuration(const QString &text)
{
    m_duration = text;
    setToolTip(text.isEmpty() ? QString() : QStringLiteral("Clique pour lire l'enregistrement"));
    update();
}

void PreviewView::enterEvent(QEnterEvent *)
{
    m_closeButton->show();
    m_closeButton->raise();
    // A recording is not pinned: it moves.
    m_pinButton->setVisible(m_duration.isEmpty());
    m_pinButton->raise();
    if (onHoverChanged)
        onHoverChanged(true);
}

void PreviewView::leaveEvent(QEvent *)
{
    m_closeButton->hide();
    m_pinButton->hide();
    if (onHoverChanged)
        onHoverChanged(false);
}

void PreviewView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_mouseDownPoint = event->position();
    m_didDrag = false;
}

void PreviewView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_mouseDownPoint || m_didDrag)
        return;
    if (!isDrag(*m_mouseDownPoint, event->position()))
        return;
    m_didDrag = true;
    if (startDrag)
        startDrag(makeDragData());
}

void PreviewView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const bool wasPress = m_mouseDownPoint.has_value();
    m_mouseDownPoint.reset();
    if (wasPress && !m_didDrag && onClick)
        onClick();
}
