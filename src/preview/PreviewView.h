// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QMimeData;
class QToolButton;

// The preview's content: the capture fitted into the panel, a close button shown while the pointer is
// over it, a click that opens the editor and a drag (more than 5 points) that carries the file out.
class PreviewView : public QWidget {
    Q_OBJECT
public:
    PreviewView(const QImage &image, const QString &filePath, QWidget *parent = nullptr);

    std::function<void()> onClick;
    std::function<void()> onDragEnded;
    std::function<void()> onClose;
    std::function<void()> onPin;
    std::function<void(bool inside)> onHoverChanged;
    // Runs the drag of the file; tests replace it. By default a QDrag offering a copy of the file.
    std::function<void(QMimeData *data)> startDrag;

    QToolButton *closeButton() const { return m_closeButton; }
    QToolButton *pinButton() const { return m_pinButton; }
    // True while a drag of the file runs (its event loop is on the stack).
    bool isDragging() const { return m_dragging; }
    // Whether a press moved that far is a drag: strictly more than 5 points.
    static bool isDrag(QPointF from, QPointF to);
    QMimeData *makeDragData() const;
    // A recording: its length shown over the first frame, and no pin.
    void setDuration(const QString &text);
    QString duration() const { return m_duration; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QImage m_image;
    QString m_filePath;
    QToolButton *m_closeButton;
    QToolButton *m_pinButton;
    std::optional<QPointF> m_mouseDownPoint;
    bool m_didDrag = false;
    bool m_dragging = false;
    QString m_duration;
};
