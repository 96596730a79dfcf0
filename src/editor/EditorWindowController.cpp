// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/EditorWindowController.h"

#include "annotation/ImageComposer.h"
#include "annotation/ImageTransformer.h"
#include "common/HUD.h"
#include "editor/AnnotationCanvasView.h"
#include "editor/CanvasGeometry.h"
#include "editor/EditorToolbarView.h"
#include "editor/ImageBarView.h"
#include "editor/ResizeDialog.h"
#include "imagetools/ColorPickerService.h"
#include "imagetools/OCRService.h"
#include "settings/AppSettings.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCursor>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

QFrame *horizontalSeparator()
{
    auto *line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Plain);
    line->setFixedHeight(1);
    line->setForegroundRole(QPalette::Mid);
    return line;
}

QScreen *screenUnderPointer()
{
    if (QScreen *screen = QGuiApplication::screenAt(QCursor::pos()))
        return screen;
    return QGuiApplication::primaryScreen();
}

} // namespace

EditorWindowController::EditorWindowController(const QImage &image, double scale, const QString &sourcePath)
    : QWidget(nullptr, Qt::Window)
{
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(titleFor(sourcePath));
    m_document = std::make_unique<EditorDocument>(image, scale, &m_undoStack);
    m_canvas = new AnnotationCanvasView(m_document.get(), &m_state);
    buildContent();
    wireCallbacks();
    installZoomKeys();
    sizeWindow();
    m_canvas->setFocus(Qt::OtherFocusReason);
}

EditorWindowController::~EditorWindowController()
{
    // The canvas and the bars hold the document and the state: they go first, without this window watching
    // them go.
    m_scrollArea->removeEventFilter(this);
    m_viewport->removeEventFilter(this);
    delete m_scrollArea;
    m_scrollArea = nullptr;
    m_document->onChange = nullptr;
    m_state.onToolChange = nullptr;
    m_undoStack.clear();
}

QString EditorWindowController::titleFor(const QString &sourcePath)
{
    return sourcePath.isEmpty() ? QStringLiteral("Capture") : QFileInfo(sourcePath).fileName();
}

void EditorWindowController::buildContent()
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_toolbar = new EditorToolbarView(&m_state);
    m_imageBar = new ImageBarView;
    m_scrollArea = new QScrollArea;
    m_scrollArea->setFrameShape(QFrame::NoFrame);
    m_scrollArea->setAlignment(Qt::AlignCenter); // a smaller canvas stays centred
    m_scrollArea->setBackgroundRole(QPalette::Window);
    m_scrollArea->setWidget(m_canvas);
    m_scrollArea->setWidgetResizable(false);
    m_viewport = m_scrollArea->viewport();
    m_scrollArea->installEventFilter(this);
    m_viewport->installEventFilter(this);
    layout->addWidget(m_toolbar);
    layout->addWidget(horizontalSeparator());
    layout->addWidget(m_imageBar);
    layout->addWidget(horizontalSeparator());
    layout->addWidget(m_scrollArea, 1);
}

void EditorWindowController::wireCallbacks()
{
    QPointer<EditorWindowController> self(this);
    m_document->onChange = [self] {
        if (!self)
            return;
        self->m_canvas->documentDidChange();
        self->m_imageBar->sync(self->m_document->state().decoration);
        if (self->m_fitted) // a new margin, crop or rotation: the whole picture stays in view
            self->zoomToFit();
    };
    m_state.onToolChange = [self] {
        if (!self)
            return;
        self->m_canvas->toolDidChange();
        self->m_toolbar->tintToolButtons();
    };
    m_toolbar->onStyleChangeForSelection = [self](const std::function<void(Annotation &)> &mutation,
                                                  const QString &name) {
        if (self)
            self->m_canvas->applyToSelection(mutation, name);
    };
    m_toolbar->onCopy = [self] {
        if (self)
            self->copyComposedImage();
    };
    m_toolbar->onSave = [self] {
        if (self)
            self->saveComposedImage();
    };
    m_toolbar->onUndo = [self] {
        if (self)
            self->undo();
    };
    m_toolbar->onRedo = [self] {
        if (self)
            self->redo();
    };
    m_canvas->onCropCommit = [self](const QRectF &rect) {
        if (self)
            self->applyCrop(rect);
    };
    m_imageBar->onCrop = [self] {
        if (self)
            self->m_state.setTool(EditorState::Tool::crop);
    };
    m_imageBar->onResizeRequested = [self] {
        if (self)
            self->presentResizeDialog();
    };
    m_imageBar->onRotate = [self](bool clockwise) {
        if (self)
            self->applyRotation(clockwise);
    };
    m_imageBar->onDecorationChanged = [self](const Decoration &decoration) {
        if (self)
            self->m_document->setDecoration(decoration, EditorDocument::changeBackground);
    };
    m_imageBar->onOCR = [self] {
        if (self)
            self->runOCR();
    };
    m_imageBar->onPipette = [self] {
        if (self)
            self->pickColor();
    };
    m_imageBar->onPin = [self] {
        if (self)
            self->pinComposed();
    };
    m_imageBar->onZoomToFit = [self] {
        if (self)
            self->zoomToFit();
    };
    m_imageBar->onZoom = [self](double zoom) {
        if (self)
            self->zoomTo(zoom);
    };
    m_imageBar->onZoomStep = [self](int direction) {
        if (self)
            self->stepZoom(direction);
    };
}

void EditorWindowController::undo()
{
    // The typing in an open text field is undone first, as the field itself would with its own keys.
    if (QLineEdit *field = m_canvas->textField(); field && field->isUndoAvailable()) {
        field->undo();
        return;
    }
    m_canvas->commitTextEditing();
    m_undoStack.undo();
}

void EditorWindowController::redo()
{
    if (QLineEdit *field = m_canvas->textField(); field && field->isRedoAvailable()) {
        field->redo();
        return;
    }
    m_canvas->commitTextEditing();
    m_undoStack.redo();
}

void EditorWindowController::keyPressEvent(QKeyEvent *event)
{
    // Delete and Escape mean the canvas's selection, crop or drawing even when a control of the bars has
    // the keyboard (reached with Tab); the canvas sends on to here what it does not use itself.
    const int key = event->key();
    const bool forCanvas = key == Qt::Key_Delete || key == Qt::Key_Backspace || key == Qt::Key_Escape;
    QWidget *focus = focusWidget();
    if (forCanvas && focus != m_canvas && !(focus && m_canvas->isAncestorOf(focus)) && !m_forwardingKey) {
        m_forwardingKey = true;
        QKeyEvent copy(event->type(), key, event->modifiers(), event->text());
        QApplication::sendEvent(m_canvas, &copy);
        m_forwardingKey = false;
        m_canvas->setFocus(Qt::OtherFocusReason);
        return;
    }
    QWidget::keyPressEvent(event);
}

void EditorWindowController::installZoomKeys()
{
    const auto key = [this](const QList<QKeySequence> &keys, std::function<void()> action) {
        auto *shortcut = new QAction(this);
        shortcut->setShortcuts(keys);
        shortcut->setShortcutContext(Qt::WindowShortcut);
        connect(shortcut, &QAction::triggered, this, std::move(action));
        addAction(shortcut);
    };
    // Ctrl+= too: on most layouts "+" is a shifted key. The keypad's keys match these as well.
    key({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
        [this] { stepZoom(1); });
    key({QKeySequence(Qt::CTRL | Qt::Key_Minus)}, [this] { stepZoom(-1); });
    key({QKeySequence(Qt::CTRL | Qt::Key_0)}, [this] { zoomToFit(); });
    key({QKeySequence(Qt::CTRL | Qt::Key_1)}, [this] { zoomTo(1); });
}

double EditorWindowController::zoom() const
{
    return m_canvas->zoom();
}

void EditorWindowController::zoomToFit()
{
    m_fitted = true;
    const QSize viewport = m_scrollArea->maximumViewportSize();
    applyZoom(CanvasGeometry::fittedZoom(m_document->paddedPointSize(), QSizeF(viewport)), std::nullopt);
}

void EditorWindowController::zoomTo(double zoom, std::optional<QPointF> anchor)
{
    m_fitted = false;
    applyZoom(zoom, anchor);
}

void EditorWindowController::stepZoom(int direction)
{
    zoomTo(CanvasGeometry::steppedZoom(zoom(), direction));
}

void EditorWindowController::applyZoom(double zoom, std::optional<QPointF> anchor)
{
    QWidget *viewport = m_scrollArea->viewport();
    const QPointF at = anchor.value_or(QPointF(viewport->width() / 2.0, viewport->height() / 2.0));
    const QPointF imagePoint =
        m_canvas->toImage(QPointF(m_canvas->mapFrom(viewport, at.toPoint())) + (at - QPointF(at.toPoint())));
    m_canvas->setZoom(zoom);
    // The canvas has its new size and the scroll bars their new ranges: bring the point back under the
    // anchor.
    const QPointF widgetPoint = m_canvas->toWidget(imagePoint);
    m_scrollArea->horizontalScrollBar()->setValue(int(std::lround(widgetPoint.x() - at.x())));
    m_scrollArea->verticalScrollBar()->setValue(int(std::lround(widgetPoint.y() - at.y())));
    showZoom();
}

void EditorWindowController::showZoom()
{
    m_imageBar->showZoom(zoom());
}

bool EditorWindowController::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scrollArea && event->type() == QEvent::Resize && m_fitted)
        zoomToFit();
    if (watched == m_viewport && event->type() == QEvent::Wheel) {
        auto *wheel = static_cast<QWheelEvent *>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            // One notch (120 eighths of a degree) zooms by a fifth; a touchpad's smaller steps by as much
            // less.
            const QPoint delta = wheel->angleDelta();
            const double factor = std::pow(1.2, (delta.y() != 0 ? delta.y() : delta.x()) / 120.0);
            zoomTo(zoom() * factor, wheel->position());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

QSize EditorWindowController::contentSize(QSizeF image, const QRect &available)
{
    double width = std::max(980.0, image.width());
    double height = image.height() + 84;
    if (available.isValid()) {
        width = std::min(width, 0.92 * available.width());
        height = std::min(height, 0.92 * available.height());
    }
    return QSize(int(std::ceil(width)), int(std::ceil(height)));
}

void EditorWindowController::sizeWindow()
{
    QScreen *screen = screenUnderPointer();
    const QRect available = screen ? screen->availableGeometry() : QRect();
    const QSize size = contentSize(m_document->imagePointSize(), available);
    QSize minimum(980, 320);
    if (available.isValid()) // on a small screen the 92 % bound wins over the minimum
        minimum = minimum.boundedTo(QSize(int(0.92 * available.width()), int(0.92 * available.height())));
    setMinimumSize(minimum);
    resize(size.expandedTo(minimum));
    if (available.isValid()) {
        QRect frame(QPoint(0, 0), this->size());
        frame.moveCenter(available.center());
        move(frame.topLeft());
    }
}

void EditorWindowController::closeEvent(QCloseEvent *event)
{
    event->accept();
    QWidget::closeEvent(event);
    if (onClose)
        onClose();
}

void EditorWindowController::pinComposed()
{
    const std::optional<QImage> picture = composed();
    if (picture && onPin)
        onPin(*picture, m_document->scale());
}

std::optional<QImage> EditorWindowController::composed()
{
    m_canvas->commitTextEditing();
    const EditorDocument::State &s = m_document->state();
    return ImageComposer::compose(s.baseImage, s.annotations, m_document->scale(), s.decoration);
}

void EditorWindowController::copyComposedImage()
{
    const std::optional<QImage> image = composed();
    if (!image)
        return;
    if (OutputPipeline::copyToPasteboard(*image, m_document->scale()))
        HUD::show(QStringLiteral("Image copiée"), this);
}

void EditorWindowController::saveComposedImage()
{
    const std::optional<QImage> image = composed();
    if (!image)
        return;
    const Result<QString> path = m_pipeline.save(*image, m_document->scale());
    if (!path) {
        // Saying nothing would let the user believe the picture is safe.
        HUD::show(QStringLiteral("Enregistrement impossible: ") + path.error().message, this);
        return;
    }
    const QString name = QFileInfo(*path).fileName();
    setWindowTitle(name);
    HUD::show(QStringLiteral("Enregistrée: ") + name, this);
}

void EditorWindowController::applyCrop(const QRectF &rect)
{
    const EditorDocument::State &s = m_document->state();
    const std::optional<ImageTransformer::Transformed> cut =
        ImageTransformer::crop(s.baseImage, s.annotations, rect, m_document->scale());
    if (!cut)
        return;
    m_document->replaceState({cut->image, cut->annotations, s.decoration}, EditorDocument::crop);
}

void EditorWindowController::applyRotation(bool clockwise)
{
    m_canvas->commitTextEditing();
    const EditorDocument::State &s = m_document->state();
    const std::optional<ImageTransformer::Transformed> turned =
        ImageTransformer::rotated90(s.baseImage, s.annotations, m_document->scale(), clockwise);
    if (!turned)
        return;
    m_document->replaceState({turned->image, turned->annotations, s.decoration}, EditorDocument::rotate);
}

void EditorWindowController::presentResizeDialog()
{
    m_canvas->commitTextEditing();
    const QImage &image = m_document->state().baseImage;
    std::optional<QString> text;
    if (askWidth) {
        text = askWidth(image.width(), image.height(), this);
    } else {
        ResizeDialog dialog(image.width(), image.height(), this);
        if (dialog.exec() == QDialog::Accepted)
            text = dialog.widthField()->text();
    }
    if (text)
        applyResize(*text);
}

void EditorWindowController::applyResize(const QString &widthText)
{
    const EditorDocument::State &s = m_document->state();
    const int current = s.baseImage.width();
    const std::optional<int> width = ResizeDialog::parseWidth(widthText, current);
    if (!width || current <= 0)
        return;
    const double factor = double(*width) / current;
    const std::optional<ImageTransformer::Transformed> resized =
        ImageTransformer::resize(s.baseImage, s.annotations, factor);
    if (!resized) {
        HUD::show(QStringLiteral("Redimensionnement impossible: l'image serait trop grande."), this);
        return;
    }
    m_document->replaceState({resized->image, resized->annotations, s.decoration},
                             EditorDocument::resizeImage);
}

QString EditorWindowController::ocrMessage(const Result<QString> &result)
{
    if (!result)
        return QStringLiteral("OCR impossible: ") + result.error().message;
    if (result->isEmpty())
        return QStringLiteral("Aucun texte reconnu");
    const qsizetype lines = result->split(u'\n').size();
    return QStringLiteral("Texte copié (%1 ligne%2)")
        .arg(lines)
        .arg(lines >= 2 ? QStringLiteral("s") : QString());
}

void EditorWindowController::runOCR()
{
    const QStringList languages = AppSettings::shared().ocrLanguages();
    QPointer<EditorWindowController> self(this);
    auto done = [self](Result<QString> result) {
        if (!self)
            return;
        if (result && !result->isEmpty()) {
            QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
            QGuiApplication::clipboard()->setText(*result, QClipboard::Clipboard);
        }
        HUD::show(ocrMessage(result), self);
    };
    if (recognizer)
        recognizer(m_document->state().baseImage, languages, this, std::move(done));
    else
        OCRService::recognizeText(m_document->state().baseImage, languages, this, std::move(done));
}

void EditorWindowController::pickColor()
{
    QPointer<EditorWindowController> self(this);
    ColorPickerService::pickAndCopyHex([self](const QString &code) {
        if (self)
            HUD::show(code + QStringLiteral(" copié"), self);
    });
}
