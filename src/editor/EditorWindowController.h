// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "editor/EditorDocument.h"
#include "editor/EditorState.h"
#include "output/OutputPipeline.h"

#include <QImage>
#include <QPointer>
#include <QString>
#include <QUndoStack>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class AnnotationCanvasView;
class EditorToolbarView;
class ImageBarView;
class QScrollArea;

// One editor window for one picture: the tool bar, the image bar and the scrolling canvas, wired
// together, and the window's commands (copy, save, crop, rotation, resize, text recognition, pipette).
class EditorWindowController : public QWidget {
    Q_OBJECT
public:
    EditorWindowController(const QImage &image, double scale, const QString &sourcePath = QString());
    ~EditorWindowController() override;

    // Set by the editor manager; runs when the window closes.
    std::function<void()> onClose;
    // Pins the composed picture on the screen; set by the app.
    std::function<void(const QImage &image, double scale)> onPin;
    void pinComposed();

    EditorDocument &document() { return *m_document; }
    EditorState &state() { return m_state; }
    QUndoStack &undoStack() { return m_undoStack; }
    AnnotationCanvasView *canvas() const { return m_canvas; }
    EditorToolbarView *toolbar() const { return m_toolbar; }
    ImageBarView *imageBar() const { return m_imageBar; }
    QScrollArea *scrollArea() const { return m_scrollArea; }

    // The commands.
    void copyComposedImage();
    void saveComposedImage();
    void applyCrop(const QRectF &rect);
    void applyRotation(bool clockwise);
    void presentResizeDialog();
    void applyResize(const QString &widthText);
    void runOCR();
    void pickColor();
    // Undo and redo as the tool bar and the menu give them: an open text field's typing first.
    void undo();
    void redo();

    // Zoom. A picture larger than the window opens fitted to it; the fitted zoom follows the window's size
    // and the margin until the zoom is chosen by hand. Ctrl+wheel zooms around the pointer, Ctrl++ and
    // Ctrl+- step, Ctrl+0 fits, Ctrl+1 shows the picture at 100 %.
    double zoom() const;
    bool isFitted() const { return m_fitted; }
    void zoomToFit();
    // Zooms keeping the picture's point under `anchor` (viewport pixels; the viewport's centre when none)
    // where it is.
    void zoomTo(double zoom, std::optional<QPointF> anchor = std::nullopt);
    void stepZoom(int direction);

    // The window's size for a picture of that many points on a screen with that available area: content
    // max(980, W) × (H + 84), at most 92 % of the area.
    static QSize contentSize(QSizeF imagePointSize, const QRect &availableGeometry);
    static QString titleFor(const QString &sourcePath);
    // "Texte copié (3 lignes)", "Aucun texte reconnu", "OCR impossible: …".
    static QString ocrMessage(const Result<QString> &result);

    // Writes the composed picture; its onSaved is told of each file.
    OutputPipeline &output() { return m_pipeline; }

    // How the resize dialog asks for the width (nothing = cancelled) and how text is recognised; by
    // default the dialog and the OCR service (replaced by tests).
    std::function<std::optional<QString>(int pixelWidth, int pixelHeight, QWidget *parent)> askWidth;
    std::function<void(const QImage &, const QStringList &, QObject *context,
                       std::function<void(Result<QString>)>)>
        recognizer;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildContent();
    void wireCallbacks();
    void sizeWindow();
    void installZoomKeys();
    void applyZoom(double zoom, std::optional<QPointF> anchor);
    void showZoom();
    std::optional<QImage> composed();

    QUndoStack m_undoStack;
    EditorState m_state;
    std::unique_ptr<EditorDocument> m_document;
    OutputPipeline m_pipeline;
    AnnotationCanvasView *m_canvas = nullptr;
    EditorToolbarView *m_toolbar = nullptr;
    ImageBarView *m_imageBar = nullptr;
    QScrollArea *m_scrollArea = nullptr;
    QWidget *m_viewport = nullptr; // the scroll area's, watched for Ctrl+wheel
    bool m_fitted = true;
    bool m_forwardingKey = false;
};
