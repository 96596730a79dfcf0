// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/PreviewPanel.h"

#include "common/WindowPlacement.h"
#include "output/VideoProbe.h"
#include "preview/PinWindow.h"
#include "preview/PreviewView.h"

#include <QBitmap>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QPainter>
#include <QParallelAnimationGroup>
#include <QPropertyAnimation>
#include <QScreen>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

QSizeF PreviewPanel::panelSize(QSize pixelSize, double scale)
{
    const double w = pixelSize.width() / scale, h = pixelSize.height() / scale;
    const double fit = std::min(280 / w, 200 / h);
    double width = w, height = h;
    if (fit < 1) {
        width = fit * w;
        height = fit * h;
    }
    return QSizeF(std::max(width, 90.0), std::max(height, 64.0));
}

QRectF PreviewPanel::panelFrame(QSizeF size, const QRect &available)
{
    const double right = available.x() + available.width();
    const double bottom = available.y() + available.height();
    return QRectF(right - size.width() - 20, bottom - size.height() - 20, size.width(), size.height());
}

PreviewPanel::PreviewPanel(const QImage &image, double scale, const QString &filePath, QScreen *screen)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint),
      m_view(new PreviewView(image, filePath, this))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFocusPolicy(Qt::NoFocus);
    setWindowTitle(QStringLiteral("Pim"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    const QRectF frame = panelFrame(panelSize(image.size(), scale > 0 ? scale : 1), available);
    m_finalGeometry = frame.toRect();
    setFixedSize(m_finalGeometry.size());
    // Rounded corners without a compositor: the window's own shape.
    QBitmap shape(m_finalGeometry.size());
    shape.fill(Qt::color0);
    {
        QPainter painter(&shape);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::color1);
        painter.drawRoundedRect(QRectF(QPointF(0, 0), QSizeF(m_finalGeometry.size())), 10, 10);
    }
    setMask(shape);
    if (screen)
        setScreen(screen);

    m_dismissTimer.setSingleShot(true);
    connect(&m_dismissTimer, &QTimer::timeout, this, [this] { dismiss(true); });

    QPointer<PreviewPanel> self(this);
    m_view->onHoverChanged = [self](bool inside) {
        if (!self)
            return;
        if (inside)
            self->m_dismissTimer.stop();
        else
            self->scheduleDismiss(lingerAfterHover);
    };
    m_view->onClose = [self] {
        if (self)
            self->dismiss(true);
    };
    // Pinned where the preview was; the preview goes, the pin takes its place.
    m_view->onPin = [self, image, scale, filePath] {
        if (!self)
            return;
        PinWindow::open(image, scale, filePath, self->geometry().center());
        self->dismiss(false);
    };
    m_view->onDragEnded = [self] {
        if (self)
            self->dismiss(true);
    };
    m_view->onClick = [self] {
        if (!self)
            return;
        if (self->onOpenEditor)
            self->onOpenEditor();
        if (self)
            self->dismiss(false);
    };
}

void PreviewPanel::present()
{
    if (WindowPlacement::compositorPlacesWindows()) {
        // The compositor would ignore the slide and the fade.
        move(m_finalGeometry.topLeft());
        show();
        raise();
        scheduleDismiss(lifetime);
        return;
    }
    setWindowOpacity(0);
    move(m_finalGeometry.topLeft() + QPoint(0, 12));
    show();
    raise();
    auto *group = new QParallelAnimationGroup(this);
    auto *fade = new QPropertyAnimation(this, "windowOpacity", group);
    fade->setDuration(slideIn);
    fade->setEndValue(1.0);
    auto *slide = new QPropertyAnimation(this, "pos", group);
    slide->setDuration(slideIn);
    slide->setEndValue(m_finalGeometry.topLeft());
    group->addAnimation(fade);
    group->addAnimation(slide);
    group->start(QAbstractAnimation::DeleteWhenStopped);
    scheduleDismiss(lifetime);
}

void PreviewPanel::scheduleDismiss(int milliseconds)
{
    m_dismissTimer.start(milliseconds);
}

void PreviewPanel::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // (A drag under way has its loop on the stack: the panel goes when the drag ends.)
    if (!m_view->isDragging())
        deleteLater();
}

void PreviewPanel::dismiss(bool animated)
{
    m_dismissTimer.stop();
    if (!animated || WindowPlacement::compositorPlacesWindows()) {
        close();
        return;
    }
    auto *fade = new QPropertyAnimation(this, "windowOpacity", this);
    fade->setDuration(fadeOut);
    fade->setEndValue(0.0);
    QPointer<PreviewPanel> self(this);
    connect(fade, &QPropertyAnimation::finished, this, [self] {
        if (self)
            self->close();
    });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

PreviewManager &PreviewManager::shared()
{
    static PreviewManager instance;
    return instance;
}

void PreviewManager::show(const QImage &image, double scale, const QString &filePath, QScreen *screen)
{
    dismissImmediately();
    auto *panel = new PreviewPanel(image, scale, filePath, screen);
    panel->onOpenEditor = [this, image, scale, filePath] {
        if (openEditor)
            openEditor(image, scale, filePath);
    };
    m_panel = panel;
    panel->present();
}

void PreviewManager::showRecording(const QImage &firstFrame, const QString &filePath, qint64 microseconds,
                                   QScreen *screen)
{
    dismissImmediately();
    // The frame's pixels are the screen's: at its scale, the preview shows it at its size in points.
    const double scale = screen ? screen->devicePixelRatio() : 1;
    auto *panel = new PreviewPanel(firstFrame, scale, filePath, screen);
    panel->previewView()->setDuration(VideoProbe::durationText(microseconds));
    panel->onOpenEditor = [this, filePath] {
        if (openRecording)
            openRecording(filePath);
        else
            QDesktopServices::openUrl(QUrl::fromLocalFile(filePath));
    };
    m_panel = panel;
    panel->present();
}

void PreviewManager::dismissImmediately()
{
    // Gone at once with its picture, so that the next capture may reuse the memory; but not while its
    // drag runs (a shortcut pressed during a drag lands here with the drag's loop on the stack).
    if (PreviewPanel *panel = m_panel.data()) {
        m_panel = nullptr;
        panel->dismiss(false);
        if (panel->previewView()->isDragging())
            panel->deleteLater();
        else
            delete panel;
    }
}
