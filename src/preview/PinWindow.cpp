// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/PinWindow.h"

#include "common/WindowPlacement.h"
#include "output/ImageWriter.h"
#include "output/OutputPipeline.h"
#include "settings/AppSettings.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QSaveFile>
#include <QScreen>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace {

QList<QPointer<PinWindow>> &pins()
{
    static QList<QPointer<PinWindow>> list;
    return list;
}

} // namespace

PinWindow *PinWindow::open(const QImage &image, double scale, const QString &path,
                           std::optional<QPoint> around)
{
    auto *pin = new PinWindow(image, scale, path);
    QScreen *screen = QGuiApplication::screenAt(around.value_or(QCursor::pos()));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        // A picture larger than most of the screen (a whole screen's capture) starts zoomed out to fit.
        const QSize room = screen->availableGeometry().size() * 0.8;
        const QSize size = pin->pictureSize();
        if (size.width() > room.width() || size.height() > room.height())
            pin->setZoom(
                std::min(double(room.width()) / size.width(), double(room.height()) / size.height()));
    }
    const QPoint centre = around.value_or(screen ? screen->availableGeometry().center() : QPoint());
    QRect frame(QPoint(), pin->size());
    frame.moveCenter(centre);
    if (screen) {
        // Inside the screen as far as it fits; a picture larger than it shows its top left.
        const QRect room = screen->availableGeometry();
        frame.moveLeft(std::max(room.left(), std::min(frame.left(), room.right() + 1 - frame.width())));
        frame.moveTop(std::max(room.top(), std::min(frame.top(), room.bottom() + 1 - frame.height())));
    }
    pin->move(frame.topLeft());
    pin->show();
    pin->raise();
    pin->activateWindow();
    return pin;
}

QList<PinWindow *> PinWindow::all()
{
    QList<PinWindow *> list;
    for (const QPointer<PinWindow> &pin : std::as_const(pins())) {
        if (pin)
            list << pin.data();
    }
    return list;
}

PinWindow::PinWindow(const QImage &image, double scale, const QString &path)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool),
      m_image(image), m_scale(std::isfinite(scale) && scale > 0 ? scale : 1), m_path(path)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(path.isEmpty() ? QStringLiteral("Épingle") : QFileInfo(path).fileName());
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::OpenHandCursor);
    if (WindowPlacement::compositing()) {
        m_shadow = shadowWidth;
        setAttribute(Qt::WA_TranslucentBackground);
    }
    pins() << this;
    fitWindow();
}

QSize PinWindow::pictureSize() const
{
    return QSize(std::max(1, int(std::lround(m_image.width() / m_scale * m_zoom))),
                 std::max(1, int(std::lround(m_image.height() / m_scale * m_zoom))));
}

void PinWindow::fitWindow()
{
    const int edge = border + m_shadow;
    setFixedSize(pictureSize() + QSize(2 * edge, 2 * edge));
}

void PinWindow::setZoom(double zoom)
{
    const double clamped = std::clamp(zoom, minimumZoom, maximumZoom);
    if (clamped == m_zoom)
        return;
    m_zoom = clamped;
    fitWindow();
    update();
}

void PinWindow::setOpacityLevel(double opacity)
{
    setWindowOpacity(std::clamp(opacity, 0.2, 1.0));
}

void PinWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect framed = rect().adjusted(m_shadow, m_shadow, -m_shadow, -m_shadow);
    if (m_shadow > 0) {
        // Layers of faint black, each a pixel wider and rounder than the last, a little lower than the
        // picture: they add up to darkest at the border and fade out towards the window's edge.
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        for (int step = m_shadow; step >= 1; --step) {
            painter.setBrush(QColor(0, 0, 0, 7));
            painter.drawRoundedRect(QRectF(framed).adjusted(-step, -step + 2, step, step).intersected(rect()),
                                    step, step);
        }
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    const QRect picture(framed.topLeft() + QPoint(border, border), pictureSize());
    // One for one at the picture's own scale; smoothly scaled when zoomed.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, std::abs(m_zoom - 1) > 1e-9);
    painter.drawImage(picture, m_image);
    painter.setPen(QPen(QColor(0, 0, 0, 150), border));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(framed).adjusted(0.5, 0.5, -0.5, -0.5));
}

void PinWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    // Where the compositor places windows (Wayland) only it can move one; elsewhere by hand, which every
    // X11 window manager follows.
    if (WindowPlacement::compositorPlacesWindows() && windowHandle() && windowHandle()->startSystemMove())
        return;
    m_grab = event->position().toPoint();
    setCursor(Qt::ClosedHandCursor);
}

void PinWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (m_grab)
        move(event->globalPosition().toPoint() - *m_grab);
}

void PinWindow::mouseReleaseEvent(QMouseEvent *)
{
    m_grab.reset();
    setCursor(Qt::OpenHandCursor);
}

void PinWindow::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        close();
}

void PinWindow::wheelEvent(QWheelEvent *event)
{
    const int notches = event->angleDelta().y() / 120;
    if (notches == 0)
        return;
    if (event->modifiers() & Qt::ControlModifier)
        setOpacityLevel(windowOpacity() + 0.1 * notches);
    else
        setZoom(m_zoom * std::pow(1.25, notches));
    event->accept();
}

void PinWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

QMenu *PinWindow::contextMenu()
{
    if (!m_menu) {
        m_menu = new QMenu(this);
        m_menu->addAction(QStringLiteral("Copier l'image"), this, &PinWindow::copyImage);
        m_menu->addAction(QStringLiteral("Enregistrer sous…"), this, [this] { (void)saveAs(); });
        m_menu->addAction(QStringLiteral("Ouvrir dans l'éditeur"), this, &PinWindow::openInEditor);
        m_menu->addSeparator();
        m_menu->addAction(QStringLiteral("Fermer"), this, &QWidget::close);
    }
    return m_menu;
}

void PinWindow::contextMenuEvent(QContextMenuEvent *event)
{
    contextMenu()->popup(event->globalPos());
}

void PinWindow::copyImage()
{
    (void)OutputPipeline::copyToPasteboard(m_image, m_scale);
}

QString PinWindow::saveAs()
{
    const QString folder = AppSettings::shared().destinationDirectory();
    const QString suggested = QDir(folder).filePath(
        m_path.isEmpty() ? QStringLiteral("Épingle.png") : QFileInfo(m_path).completeBaseName() + ".png");
    const QString path =
        askSavePath ? askSavePath(suggested)
                    : QFileDialog::getSaveFileName(this, QStringLiteral("Enregistrer sous…"), suggested,
                                                   QStringLiteral("Images (*.png *.jpg *.jpeg *.webp)"));
    if (path.isEmpty())
        return {};
    const QString suffix = QFileInfo(path).suffix().toLower();
    const ImageFormat format = suffix == u"jpg" || suffix == u"jpeg" ? ImageFormat::jpeg
                               : suffix == u"webp"                   ? ImageFormat::webp
                                                                     : ImageFormat::png;
    const Result<QByteArray> bytes = ImageWriter::data(m_image, m_scale, format, 0.9);
    if (!bytes)
        return bytes.error().message;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit())
        return QStringLiteral("Impossible d'enregistrer « %1 » : %2").arg(path, file.errorString());
    return {};
}

void PinWindow::openInEditor()
{
    if (openEditor)
        openEditor(m_image, m_scale, m_path);
}
