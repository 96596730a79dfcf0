// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotation/ImageComposer.h"
#include "common/HUD.h"
#include "editor/AnnotationCanvasView.h"
#include "editor/CanvasGeometry.h"
#include "editor/ColorWell.h"
#include "editor/EditorManager.h"
#include "editor/EditorToolbarView.h"
#include "editor/EditorWindowController.h"
#include "editor/GestureSlider.h"
#include "editor/ImageBarView.h"
#include "editor/ResizeDialog.h"
#include "history/HistoryStore.h"
#include "output/OutputPipeline.h"
#include "settings/AppSettings.h"
#include "support/Pixels.h"
#include "support/TestSession.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

using A = Annotation;
using Tool = EditorState::Tool;

class TestEditorWindow : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    std::unique_ptr<EditorWindowController> editor;

    // A 1280 × 720-pixel picture at scale 2 (640 × 360 points).
    static QImage picture(int w = 1280, int h = 720)
    {
        QImage image = Pixels::filled(w, h, QColor(240, 240, 240));
        QPainter painter(&image);
        painter.fillRect(QRect(0, 0, w / 2, h / 2), QColor(30, 90, 200));
        return image;
    }

    void open(const QImage &image = picture(), double scale = 2, const QString &source = QString())
    {
        editor = std::make_unique<EditorWindowController>(image, scale, source);
        // As the app wires it: every saved file goes into the history.
        editor->output().onSaved = [](const QString &path) { HistoryStore::shared().add(path); };
        editor->show();
        QVERIFY(QTest::qWaitForWindowExposed(editor.get()));
    }
    static QRect handleOf(QSlider *slider)
    {
        QStyleOptionSlider option;
        option.initFrom(slider);
        option.orientation = slider->orientation();
        option.minimum = slider->minimum();
        option.maximum = slider->maximum();
        option.sliderPosition = slider->sliderPosition();
        option.sliderValue = slider->value();
        option.subControls = QStyle::SC_All;
        return slider->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, slider);
    }
    // The handle dragged to a value and let go. The slider is widened for the drag to one pixel a unit, so
    // that the pointer can reach every value.
    static void releaseAt(QSlider *slider, int value)
    {
        const int width = slider->width();
        slider->setFixedWidth(slider->maximum() - slider->minimum() + handleOf(slider).width());
        const QPoint from = handleOf(slider).center();
        const QPoint to = from + QPoint(value - slider->value(), 0);
        QTest::mousePress(slider, Qt::LeftButton, {}, from);
        QMouseEvent move(QEvent::MouseMove, QPointF(to), slider->mapToGlobal(QPointF(to)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(slider, &move);
        QCOMPARE(slider->sliderPosition(), value);
        QTest::mouseRelease(slider, Qt::LeftButton, {}, to);
        slider->setFixedWidth(width);
    }
    EditorDocument &doc() { return editor->document(); }
    const QList<A> &list() { return doc().state().annotations; }
    void add(const A &a)
    {
        EditorDocument::State next = doc().state();
        next.annotations.append(a);
        doc().replaceState(next, EditorDocument::addAnnotation);
    }
    QStringList huds(QWidget *window) const
    {
        QStringList texts;
        for (QWidget *box : window->findChildren<QWidget *>("hud")) {
            if (const QLabel *label = box->findChild<QLabel *>())
                texts << label->text();
        }
        return texts;
    }
    QStringList savedFiles() const { return QDir(folder.path()).entryList(QDir::Files); }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        AppSettings::shared().setDestinationDirectory(folder.path());
        HUD::timings() = HUD::Timings{20, 100, 20};
    }
    void cleanup()
    {
        editor.reset();
        resetTestSession();
    }

    void sizeRule()
    {
        const QRect large(0, 0, 1920, 1080);
        QCOMPARE(EditorWindowController::contentSize(QSizeF(400, 300), large), QSize(980, 384));
        QCOMPARE(EditorWindowController::contentSize(QSizeF(1200, 500), large), QSize(1200, 584));
        // Larger than the screen: 92 % of its available area.
        QCOMPARE(EditorWindowController::contentSize(QSizeF(3000, 2000), QRect(0, 25, 1440, 875)),
                 QSize(1325, 805));
        QCOMPARE(EditorWindowController::titleFor(QString()), QStringLiteral("Capture"));
        QCOMPARE(EditorWindowController::titleFor("/home/a/Capture 1.png"), QStringLiteral("Capture 1.png"));

        // The window itself: bars of 44 and 38, the canvas centred in the scroll area.
        open(picture(400, 300), 1);
        const QRect available = editor->screen()->availableGeometry();
        QCOMPARE(editor->size(), EditorWindowController::contentSize(QSizeF(400, 300), available)
                                     .expandedTo(editor->minimumSize()));
        QCOMPARE(editor->toolbar()->height(), 44);
        QCOMPARE(editor->imageBar()->height(), 38);
        QCOMPARE(editor->scrollArea()->alignment(), Qt::AlignCenter);
        QCOMPARE(editor->windowTitle(), QStringLiteral("Capture"));
        QVERIFY(std::abs(editor->frameGeometry().center().x() - available.center().x()) <= 2);
    }

    void toolButtonsAndTheirTint()
    {
        open();
        EditorToolbarView *bar = editor->toolbar();
        QCOMPARE(bar->toolButtons().size(), 10);
        const QColor accent = bar->palette().color(QPalette::Highlight);
        QCOMPARE(bar->tintOf(Tool::arrow), accent);
        bar->toolButtons()[3].second->click(); // rectangle
        QCOMPARE(editor->state().tool, Tool::rect);
        QCOMPARE(bar->tintOf(Tool::rect), accent);
        QVERIFY(bar->tintOf(Tool::arrow) != accent);
        // The crop tool has no button: none is highlighted.
        editor->imageBar()->button("crop")->click();
        QCOMPARE(editor->state().tool, Tool::crop);
        for (const auto &[tool, button] : bar->toolButtons())
            QVERIFY(bar->tintOf(tool) != accent);
    }

    void styleChangesAreOneUndoStepOnTheSelection()
    {
        open();
        add(A(A::Arrow{{10, 10}, {100, 100}}, Qt::red, 3));
        EditorToolbarView *bar = editor->toolbar();
        editor->state().setTool(Tool::select);
        QTest::mouseClick(editor->canvas(), Qt::LeftButton, {},
                          editor->canvas()->toWidget({55, 55}).toPoint());
        QVERIFY(editor->canvas()->selectedID());
        const int before = editor->undoStack().count();

        // A text size on an arrow: the size for future texts, an undo step that leaves the arrow as it was.
        bar->fontSizePopup()->setCurrentIndex(4);
        bar->fontSizeChanged();
        QCOMPARE(editor->state().fontSize, 24.0);
        QCOMPARE(editor->undoStack().count(), before + 1);
        QCOMPARE(editor->undoStack().undoText(), QStringLiteral("Modifier la taille du texte"));
        QCOMPARE(list()[0].lineWidth, 3.0);

        // Widths round halves away from zero.
        releaseAt(bar->widthSlider(), 450);
        QCOMPARE(editor->state().lineWidth, 5.0);
        QCOMPARE(list()[0].lineWidth, 5.0);
        QCOMPARE(editor->undoStack().undoText(), QStringLiteral("Modifier l'épaisseur"));
        releaseAt(bar->widthSlider(), 449);
        QCOMPARE(list()[0].lineWidth, 4.0);

        bar->colorWell()->choose(QColor(10, 200, 30));
        QCOMPARE(list()[0].color, QColor(10, 200, 30));
        QCOMPARE(editor->undoStack().undoText(), QStringLiteral("Modifier la couleur"));

        bar->fontPopup()->setCurrentIndex(2);
        bar->fontChanged();
        QCOMPARE(editor->state().fontName, std::optional<QString>("DejaVu Serif"));
        bar->fontPopup()->setCurrentIndex(0); // "Système"
        bar->fontChanged();
        QCOMPARE(editor->state().fontName, std::nullopt);
        QCOMPARE(editor->undoStack().undoText(), QStringLiteral("Modifier la police"));

        // Undo and redo from the tool bar's buttons.
        const QColor colour = list()[0].color;
        bar->undoButton()->click();
        bar->undoButton()->click();
        bar->undoButton()->click();
        QCOMPARE(list()[0].color, QColor(Qt::red));
        bar->redoButton()->click();
        QCOMPARE(list()[0].color, colour);
    }

    void imageBarColourMemory()
    {
        open();
        ImageBarView *bar = editor->imageBar();
        QList<Decoration> reported;
        const auto wire = bar->onDecorationChanged;
        bar->onDecorationChanged = [&](const Decoration &d) {
            reported << d;
            wire(d);
        };
        // "Aucun" on a fresh window reports nothing and hides both wells.
        bar->backgroundPopup()->setCurrentIndex(0);
        bar->decorationControlChanged();
        QVERIFY(reported.isEmpty());
        QVERIFY(!bar->colorWell1()->isVisibleTo(bar) && !bar->colorWell2()->isVisibleTo(bar));
        // "Couleur": white, well 1 shown.
        bar->backgroundPopup()->setCurrentIndex(1);
        bar->decorationControlChanged();
        QCOMPARE(reported.size(), 1);
        QCOMPARE(reported.last().background, Decoration::Background(Decoration::Solid{Qt::white}));
        QVERIFY(bar->colorWell1()->isVisibleTo(bar) && !bar->colorWell2()->isVisibleTo(bar));
        // "Dégradé" next: the solid colour becomes the start, the end is the system pink.
        bar->backgroundPopup()->setCurrentIndex(2);
        bar->decorationControlChanged();
        QCOMPARE(reported.last().background,
                 Decoration::Background(Decoration::Gradient{Qt::white, QColor(255, 45, 85)}));
        QVERIFY(bar->colorWell2()->isVisibleTo(bar));
        QCOMPARE(doc().state().decoration, reported.last());
        QCOMPARE(editor->undoStack().undoText(), QStringLiteral("Modifier le style de fond"));
    }

    // A picture larger than the window opens fitted; the keys, the wheel and the bar's menu zoom; a new
    // margin keeps a fitted picture whole in view.
    void zoom()
    {
        open(picture(400, 300), 1);
        QCOMPARE(editor->zoom(), 1.0); // small enough: never enlarged
        open(picture(3000, 2000), 1);
        QScrollArea *area = editor->scrollArea();
        const auto inView = [&] {
            const QSize canvas = editor->canvas()->size(), viewport = area->maximumViewportSize();
            return canvas.width() <= viewport.width() && canvas.height() <= viewport.height();
        };
        QVERIFY(editor->isFitted());
        QVERIFY(editor->zoom() < 1);
        QVERIFY(inView());
        QToolButton *label = editor->imageBar()->zoomButton();
        QCOMPARE(label->text(), CanvasGeometry::zoomLabel(editor->zoom()));

        QTest::keyClick(editor.get(), Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(editor->zoom(), 1.0);
        QVERIFY(!editor->isFitted());
        QCOMPARE(label->text(), QStringLiteral("100 %"));
        QCOMPARE(editor->canvas()->size(), QSize(3000, 2000));
        QTest::keyClick(editor.get(), Qt::Key_Plus, Qt::ControlModifier);
        QCOMPARE(editor->zoom(), 1.25);
        QTest::keyClick(editor.get(), Qt::Key_Minus, Qt::ControlModifier);
        QTest::keyClick(editor.get(), Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(editor->zoom(), 0.75);
        QCOMPARE(label->text(), QStringLiteral("75 %"));

        // Ctrl+wheel keeps the picture's point under the pointer where it is.
        QWidget *viewport = area->viewport();
        const QPointF pointer(viewport->width() * 0.3, viewport->height() * 0.6);
        const auto underPointer = [&] {
            return editor->canvas()->toImage(QPointF(editor->canvas()->mapFrom(viewport, pointer.toPoint())));
        };
        const QPointF before = underPointer();
        QWheelEvent wheel(pointer, viewport->mapToGlobal(pointer), QPoint(), QPoint(0, 240), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
        QVERIFY(std::abs(editor->zoom() - 0.75 * 1.44) < 1e-9);
        const QPointF after = underPointer();
        QVERIFY2(std::abs(after.x() - before.x()) <= 1 && std::abs(after.y() - before.y()) <= 1,
                 qPrintable(QStringLiteral("%1,%2 → %3,%4")
                                .arg(before.x())
                                .arg(before.y())
                                .arg(after.x())
                                .arg(after.y())));
        // Without Ctrl the wheel scrolls and leaves the zoom.
        QWheelEvent scroll(pointer, viewport->mapToGlobal(pointer), QPoint(), QPoint(0, -120), Qt::NoButton,
                           Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &scroll);
        QVERIFY(std::abs(editor->zoom() - 0.75 * 1.44) < 1e-9);

        // Back to the fit; a margin added keeps the whole picture in view.
        QTest::keyClick(editor.get(), Qt::Key_0, Qt::ControlModifier);
        QVERIFY(editor->isFitted());
        const double fitted = editor->zoom();
        releaseAt(editor->imageBar()->paddingSlider(), 120 * ImageBarView::sliderScale);
        QCOMPARE(doc().state().decoration.padding, 120.0);
        QVERIFY(editor->zoom() < fitted);
        QVERIFY(inView());
        // The bar's menu.
        QMenu *menu = label->menu();
        QVERIFY(menu);
        menu->actions()[3]->trigger(); // "Taille réelle"
        QCOMPARE(editor->zoom(), 1.0);
        QVERIFY(menu->actions()[3]->text().startsWith(QStringLiteral("Taille réelle")));
        // Export does not depend on the zoom.
        editor->copyComposedImage();
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data);
        QCOMPARE(QImage::fromData(data->data("image/png"), "png").size(), QSize(3240, 2240));
    }

    void imageBarSlidersAndSync()
    {
        open();
        ImageBarView *bar = editor->imageBar();
        releaseAt(bar->paddingSlider(), 1240);
        QCOMPARE(doc().state().decoration.padding, 12.0);
        const int steps = editor->undoStack().count();
        releaseAt(bar->paddingSlider(), 1230); // still 12: nothing reported
        QCOMPARE(editor->undoStack().count(), steps);
        QCOMPARE(bar->cornerSlider()->maximum(), 30 * ImageBarView::sliderScale);
        QCOMPARE(bar->paddingSlider()->maximum(), 120 * ImageBarView::sliderScale);
        bar->shadowCheckbox()->setChecked(true);
        QVERIFY(doc().state().decoration.hasShadow);
        // Undo moves the controls back and creates no step.
        const int before = editor->undoStack().count();
        editor->undoStack().undo();
        QVERIFY(!bar->shadowCheckbox()->isChecked());
        editor->undoStack().undo();
        QCOMPARE(bar->paddingSlider()->value(), 0);
        QCOMPARE(editor->undoStack().count(), before);
        QCOMPARE(editor->undoStack().index(), before - 2);
        // The canvas follows the padded size.
        editor->zoomTo(1);
        editor->undoStack().redo();
        QCOMPARE(editor->canvas()->width(), 640 + 24);
    }

    // Each slider gesture is one undo step, whatever moved the slider; a release where the handle was still
    // makes its step on a selection.
    void sliderGestures()
    {
        open();
        add(A(A::Rect{QRectF(50, 50, 100, 80)}, Qt::red, 3));
        editor->state().setTool(Tool::select);
        QTest::mouseClick(editor->canvas(), Qt::LeftButton, {},
                          editor->canvas()->toWidget({50, 90}).toPoint());
        QVERIFY(editor->canvas()->selectedID());
        GestureSlider *width = editor->toolbar()->widthSlider();
        const auto steps = [&] { return editor->undoStack().count(); };

        int before = steps();
        releaseAt(width, width->value()); // where it was
        QCOMPARE(steps(), before + 1);
        QCOMPARE(editor->undoStack().undoText(), QStringLiteral("Modifier l'épaisseur"));

        // The groove held down: the slider pages many times, one step at the release.
        before = steps();
        const QPoint groove(width->width() - 3, width->height() / 2);
        QTest::mousePress(width, Qt::LeftButton, {}, groove);
        QTRY_VERIFY(width->value() == width->maximum());
        QCOMPARE(steps(), before);
        QTest::mouseRelease(width, Qt::LeftButton, {}, groove);
        QCOMPARE(steps(), before + 1);
        QCOMPARE(list()[0].lineWidth, 12.0);

        // An arrow held (repeats, then one release), then two separate presses.
        before = steps();
        width->setFocus();
        for (bool repeat : {false, true, true}) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_Left, Qt::NoModifier, QString(), repeat);
            QApplication::sendEvent(width, &press);
        }
        QCOMPARE(steps(), before);
        QTest::keyRelease(width, Qt::Key_Left);
        QCOMPARE(steps(), before + 1);
        QCOMPARE(list()[0].lineWidth, 9.0);
        QTest::keyClick(width, Qt::Key_Left);
        QTest::keyClick(width, Qt::Key_Left);
        QCOMPARE(steps(), before + 3);
        QCOMPARE(list()[0].lineWidth, 7.0);

        // A spin of the wheel, three small turns (a touchpad's, a point each): one step once it stops.
        before = steps();
        for (int notch = 0; notch < 3; ++notch) {
            QWheelEvent wheel(QPointF(10, 5), width->mapToGlobal(QPointF(10, 5)), QPoint(), QPoint(0, 40),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(width, &wheel);
        }
        QCOMPARE(steps(), before);
        QTRY_COMPARE(steps(), before + 1);
        QCOMPARE(list()[0].lineWidth, 10.0);
        QTest::qWait(GestureSlider::wheelPauseMs * 2);
        QCOMPARE(steps(), before + 1);

        // Setting the value from code reports nothing.
        width->setValue(300);
        QCOMPARE(steps(), before + 1);
    }

    // The keyboard stays with the canvas: a click on the bars' controls does not take it, Delete and Escape
    // reach the canvas from a control reached with Tab, letters choose tools, and undo goes to an open text
    // field's typing first.
    void keyboardStaysWithTheCanvas()
    {
        open();
        add(A(A::Rect{QRectF(50, 50, 100, 80)}, Qt::red, 3));
        AnnotationCanvasView *canvas = editor->canvas();
        editor->activateWindow();
        canvas->setFocus();
        editor->state().setTool(Tool::select);
        QTest::mouseClick(canvas, Qt::LeftButton, {}, canvas->toWidget({50, 90}).toPoint());
        QVERIFY(canvas->selectedID());
        for (QWidget *control :
             QList<QWidget *>{editor->toolbar()->widthSlider(), editor->imageBar()->paddingSlider(),
                              editor->toolbar()->fontPopup(), editor->imageBar()->backgroundPopup(),
                              editor->toolbar()->colorWell()}) {
            QVERIFY2(!(control->focusPolicy() & Qt::ClickFocus), control->metaObject()->className());
            QVERIFY(control->focusPolicy() & Qt::TabFocus);
        }
        editor->toolbar()->widthSlider()->setFocus(Qt::TabFocusReason);
        QTest::keyClick(editor->toolbar()->widthSlider(), Qt::Key_Delete);
        QVERIFY(list().isEmpty());
        QCOMPARE(QApplication::focusWidget(), canvas);

        // Tool letters, and the tooltips that say them.
        QTest::keyClick(canvas, Qt::Key_R);
        QCOMPARE(editor->state().tool, Tool::rect);
        QTest::keyClick(canvas, Qt::Key_C);
        QCOMPARE(editor->state().tool, Tool::crop);
        QTest::keyClick(canvas, Qt::Key_Escape);
        QCOMPARE(editor->state().tool, Tool::select);
        QTest::keyClick(canvas, Qt::Key_R, Qt::ControlModifier); // not a tool key
        QCOMPARE(editor->state().tool, Tool::select);
        for (const auto &[tool, button] : editor->toolbar()->toolButtons())
            QVERIFY(button->toolTip().endsWith(QStringLiteral(" — ") +
                                               QChar::fromLatin1(EditorState::keyOf(tool))));
        QCOMPARE(EditorState::toolForKey('N'), std::optional<Tool>(Tool::badge));
        QCOMPARE(EditorState::toolForKey('Z'), std::nullopt);

        // Typing in an open field: undo takes back the typing, not the steps before.
        QTest::keyClick(canvas, Qt::Key_T);
        QTest::mouseClick(canvas, Qt::LeftButton, {}, canvas->toWidget({40, 100}).toPoint());
        QLineEdit *field = canvas->textField();
        QVERIFY(field);
        QTest::keyClicks(field, "abc");
        QTest::keyClick(field, Qt::Key_R); // a letter in the field is text, not a tool
        QCOMPARE(editor->state().tool, Tool::text);
        const int before = editor->undoStack().count();
        editor->undo();
        QCOMPARE(canvas->textField(), field);
        QVERIFY(field->text().size() < 4);
        QCOMPARE(editor->undoStack().count(), before);
        QCOMPARE(editor->undoStack().index(), before);
        while (field->isUndoAvailable())
            editor->undo();
        QCOMPARE(field->text(), QString());
        editor->redo();
        QVERIFY(!field->text().isEmpty());
        QTest::keyClick(field, Qt::Key_Escape);

        // On a small screen the window keeps within 92 % of it.
        const QRect available = editor->screen()->availableGeometry();
        QVERIFY(editor->width() <= int(0.92 * available.width()) + 1);
    }

    void resizeInputs_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected"); // 0: nothing happens
        QTest::newRow("double") << "2560" << 2560;
        QTest::newRow("seven") << "7" << 0;
        QTest::newRow("eight") << "8" << 8;
        QTest::newRow("same") << "1280" << 0;
        QTest::newRow("letters") << "abc" << 0;
        QTest::newRow("digits and letters") << "64O" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("spaces") << "  640 " << 640;
        QTest::newRow("tab") << "\t640" << 640;
        QTest::newRow("plus") << "+640" << 640;
        QTest::newRow("minus") << "-640" << 0;
        QTest::newRow("line break") << "640\n" << 0;
        QTest::newRow("overflow") << "99999999999999999999" << 0;
        QTest::newRow("decimal") << "640.5" << 0;
    }
    void resizeInputs()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        const std::optional<int> parsed = ResizeDialog::parseWidth(text, 1280);
        QCOMPARE(parsed.value_or(0), expected);
    }

    void resizeCommand()
    {
        open();
        add(A(A::Rect{QRectF(10, 20, 30, 40)}, Qt::red, 3));
        QCOMPARE(ResizeDialog::informativeText(1280, 720),
                 QStringLiteral("Proportions conservées. Taille actuelle: 1280 × 720 px."));
        editor->askWidth = [](int w, int h, QWidget *) -> std::optional<QString> {
            if (w != 1280 || h != 720)
                return std::nullopt;
            return QStringLiteral("2560");
        };
        const int before = editor->undoStack().count();
        editor->imageBar()->button("resize")->click();
        QCOMPARE(doc().state().baseImage.size(), QSize(2560, 1440));
        QCOMPARE(*list()[0].rectangle(), QRectF(20, 40, 60, 80));
        QCOMPARE(editor->undoStack().undoText(), QStringLiteral("Redimensionner l'image"));
        QCOMPARE(editor->undoStack().count(), before + 1);

        // Cancelled, invalid, or over the pixel limit: nothing changes, no step.
        editor->askWidth = [](int, int, QWidget *) { return std::optional<QString>(); };
        editor->presentResizeDialog();
        editor->applyResize("zéro");
        editor->applyResize("0");
        editor->applyResize("500000");
        QCOMPARE(doc().state().baseImage.size(), QSize(2560, 1440));
        QCOMPARE(editor->undoStack().count(), before + 1);
        QTRY_VERIFY(
            huds(editor.get())
                .contains(QStringLiteral("Redimensionnement impossible: l'image serait trop grande.")));
    }

    void cropAndRotate()
    {
        open();
        add(A(A::Rect{QRectF(20, 30, 30, 40)}, Qt::red, 3));
        add(A(A::Badge{{600, 340}, 1}, Qt::red, 3)); // outside the crop
        editor->applyCrop(QRectF(10, 20, 200, 100));
        QCOMPARE(doc().state().baseImage.size(), QSize(400, 200));
        QCOMPARE(*list()[0].rectangle(), QRectF(10, 10, 30, 40));
        QCOMPARE(list().size(), 2);
        QCOMPARE(list()[1].as<A::Badge>()->center, QPointF(590, 320));
        QCOMPARE(editor->undoStack().undoText(), QStringLiteral("Recadrer"));
        // Through the canvas: the crop tool, a drag, the command.
        editor->zoomTo(1);
        editor->imageBar()->button("crop")->click();
        AnnotationCanvasView *canvas = editor->canvas();
        QTest::mousePress(canvas, Qt::LeftButton, {}, canvas->toWidget({10, 90}).toPoint());
        QTest::mouseMove(canvas, canvas->toWidget({60, 70}).toPoint());
        QTest::mouseMove(canvas, canvas->toWidget({110, 10}).toPoint());
        QTest::mouseRelease(canvas, Qt::LeftButton, {}, canvas->toWidget({110, 10}).toPoint());
        QCOMPARE(doc().state().baseImage.size(), QSize(200, 160));

        editor->applyRotation(true);
        QCOMPARE(doc().state().baseImage.size(), QSize(160, 200));
        QCOMPARE(editor->undoStack().undoText(), QStringLiteral("Rotation"));
        editor->imageBar()->button("rotate-left")->click();
        QCOMPARE(doc().state().baseImage.size(), QSize(200, 160));
        editor->undoStack().undo();
        editor->undoStack().undo();
        editor->undoStack().undo();
        QCOMPARE(doc().state().baseImage.size(), QSize(400, 200));
    }

    void copyAndSave()
    {
        // Opened from a file: saving never touches it.
        const QString source = folder.filePath("source.png");
        QVERIFY(picture().save(source));
        QFile sourceFile(source);
        QVERIFY(sourceFile.open(QIODevice::ReadOnly));
        const QByteArray sourceBytes = sourceFile.readAll();
        sourceFile.close();
        open(picture(), 2, source);
        QCOMPARE(editor->windowTitle(), QStringLiteral("source.png"));
        add(A(A::Rect{QRectF(100, 100, 50, 50)}, Qt::red, 6));
        releaseAt(editor->imageBar()->paddingSlider(), 1000);

        editor->toolbar()->copyButton()->click();
        const QMimeData *data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data && data->formats().startsWith("image/png"));
        const QImage copied = QImage::fromData(data->data("image/png"), "png");
        QCOMPARE(copied.size(), QSize(1280 + 40, 720 + 40));
        QCOMPARE(int(std::lround(copied.dotsPerMeterX() * 0.0254)), 144);
        QVERIFY(huds(editor.get()).contains(QStringLiteral("Image copiée")));

        const QStringList before = savedFiles();
        editor->toolbar()->saveButton()->click();
        QStringList after = savedFiles();
        for (const QString &name : before)
            after.removeOne(name);
        QCOMPARE(after.size(), 1);
        QCOMPARE(editor->windowTitle(), after.first());
        QVERIFY(huds(editor.get()).contains(QStringLiteral("Enregistrée: ") + after.first()));
        QCOMPARE(HistoryStore::shared().entries().first().path, folder.filePath(after.first()));
        const QImage saved(folder.filePath(after.first()));
        QCOMPARE(saved.convertToFormat(QImage::Format_ARGB32_Premultiplied),
                 copied.convertToFormat(QImage::Format_ARGB32_Premultiplied));
        QVERIFY(sourceFile.open(QIODevice::ReadOnly));
        QCOMPARE(sourceFile.readAll(), sourceBytes);

        // Every save is a new file.
        editor->saveComposedImage();
        QCOMPARE(savedFiles().size(), before.size() + 2);
    }

    void aFailedSaveSaysSo()
    {
        open();
        QFile blocker(folder.filePath("in-the-way"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        AppSettings::shared().setDestinationDirectory(folder.filePath("in-the-way/sub"));
        editor->saveComposedImage();
        AppSettings::shared().setDestinationDirectory(folder.path());
        QCOMPARE(editor->windowTitle(), QStringLiteral("Capture"));
        QVERIFY(huds(editor.get()).first().startsWith(QStringLiteral("Enregistrement impossible: ")));
        QFile::remove(blocker.fileName());
    }

    void transparentPicturesBecomeWhiteInJpeg()
    {
        open(picture(200, 100), 1);
        AppSettings::shared().setImageFormat(ImageFormat::jpeg);
        releaseAt(editor->imageBar()->cornerSlider(), 2000);
        const QStringList before = savedFiles();
        editor->saveComposedImage();
        AppSettings::shared().setImageFormat(ImageFormat::png);
        QStringList after = savedFiles();
        for (const QString &name : before)
            after.removeOne(name);
        QCOMPARE(after.size(), 1);
        const QImage jpeg(folder.filePath(after.first()));
        QVERIFY(after.first().endsWith(".jpg"));
        // The rounded-off corner was transparent: white, not black.
        QVERIFY(Pixels::near(jpeg.pixelColor(0, 0), QColor(Qt::white), 8));
        QVERIFY(Pixels::near(jpeg.pixelColor(100, 75), QColor(240, 240, 240), 8));
    }

    void textRecognitionMessages_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("one line") << true << "Bonjour"
                                  << "Texte copié (1 ligne)";
        QTest::newRow("three lines") << true << "a\nb\nc"
                                     << "Texte copié (3 lignes)";
        QTest::newRow("trailing break") << true << "a\nb\n"
                                        << "Texte copié (3 lignes)";
        QTest::newRow("nothing") << true << ""
                                 << "Aucun texte reconnu";
        QTest::newRow("error") << false << "langue absente"
                               << "OCR impossible: langue absente";
    }
    void textRecognitionMessages()
    {
        QFETCH(bool, ok);
        QFETCH(QString, text);
        QFETCH(QString, message);
        open();
        QStringList seenLanguages;
        editor->recognizer = [&](const QImage &image, const QStringList &languages, QObject *context,
                                 std::function<void(Result<QString>)> done) {
            QCOMPARE(image.size(), QSize(1280, 720));
            seenLanguages = languages;
            QTimer::singleShot(10, context,
                               [=] { done(ok ? Result<QString>(text) : Result<QString>(Error{text})); });
        };
        QGuiApplication::clipboard()->setText("avant");
        editor->imageBar()->ocrButton()->click();
        QTRY_COMPARE(huds(editor.get()), QStringList{message});
        QCOMPARE(seenLanguages, AppSettings::shared().ocrLanguages());
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 ok && !text.isEmpty() ? text : QStringLiteral("avant"));
    }

    void closingWhileRecognisingIsQuiet()
    {
        open();
        std::function<void(Result<QString>)> pending;
        editor->recognizer = [&](const QImage &, const QStringList &, QObject *,
                                 std::function<void(Result<QString>)> done) { pending = done; };
        QGuiApplication::clipboard()->setText("avant");
        editor->runOCR();
        editor.reset();
        pending(Result<QString>(QStringLiteral("trop tard")));
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("avant"));
    }

    void realRecognitionOfAnEmptyPictureEnds()
    {
        open(Pixels::filled(300, 200, Qt::white), 1);
        editor->runOCR();
        QTRY_VERIFY_WITH_TIMEOUT(!huds(editor.get()).isEmpty(), 60000);
        QCOMPARE(huds(editor.get()), QStringList{"Aucun texte reconnu"});
    }

    void headsUpMessages()
    {
        QWidget window;
        window.resize(600, 400);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        HUD::show(QStringLiteral("Premier"), &window);
        HUD::show(QStringLiteral("Un message nettement plus long que le premier"), &window);
        const QList<QWidget *> boxes = window.findChildren<QWidget *>("hud");
        QCOMPARE(boxes.size(), 2);
        for (QWidget *box : boxes) {
            // Centred, 24 points above the bottom edge, 14 and 8 points around the text.
            QVERIFY(std::abs(box->geometry().center().x() - 300) <= 1);
            QCOMPARE(box->geometry().bottom() + 1, 400 - 24);
            const QLabel *label = box->findChild<QLabel *>();
            QCOMPARE(box->width(), label->width() + 28);
            QCOMPARE(box->height(), label->height() + 16);
        }
        QVERIFY(boxes[1]->width() > boxes[0]->width());
        // Text as written, never read as markup.
        HUD::show(QStringLiteral("Enregistrée: <b>1</b>.png"), &window);
        const QLabel *marked = window.findChildren<QWidget *>("hud").last()->findChild<QLabel *>();
        QCOMPARE(marked->textFormat(), Qt::PlainText);
        QCOMPARE(marked->text(), QStringLiteral("Enregistrée: <b>1</b>.png"));
        // Each goes by itself.
        QTRY_VERIFY_WITH_TIMEOUT(window.findChildren<QWidget *>("hud").isEmpty(), 2000);
        HUD::show(QStringLiteral("personne"), nullptr);
    }

    void managerKeepsWindowsUntilTheyClose()
    {
        EditorManager &manager = EditorManager::shared();
        const int documents = EditorDocument::instances();
        EditorWindowController *a = manager.openEditor(picture(), 2, folder.filePath("same.png"));
        EditorWindowController *b = manager.openEditor(picture(), 2, folder.filePath("same.png"));
        EditorWindowController *c = manager.openEditor(picture(), 2);
        QCOMPARE(manager.controllers(), (QList<EditorWindowController *>{a, b, c}));
        QCOMPARE(EditorDocument::instances(), documents + 3);
        // Two windows on the same file have separate histories.
        a->applyRotation(true);
        QCOMPARE(a->undoStack().count(), 1);
        QCOMPARE(b->undoStack().count(), 0);
        QPointer<EditorWindowController> closed(b);
        b->close();
        QCOMPARE(manager.controllers(), (QList<EditorWindowController *>{a, c}));
        QTRY_VERIFY(!closed);
        QCOMPARE(EditorDocument::instances(), documents + 2);
        c->close();
        a->close();
        QVERIFY(manager.controllers().isEmpty());
        QTRY_COMPARE(EditorDocument::instances(), documents);
    }

    void openingFiles()
    {
        EditorManager &manager = EditorManager::shared();
        QVERIFY(manager.openFile(folder.filePath("missing.png")).startsWith("Fichier introuvable"));
        QFile junk(folder.filePath("junk.png"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("not a picture");
        junk.close();
        QVERIFY(!manager.openFile(junk.fileName()).isEmpty());
        QVERIFY(!manager.openFile(folder.path()).isEmpty());
        QVERIFY(manager.controllers().isEmpty());
        const QString path = folder.filePath("scale2.png");
        QImage image = picture();
        image.setDotsPerMeterX(5669);
        image.setDotsPerMeterY(5669);
        QVERIFY(image.save(path));
        QCOMPARE(manager.openFile(path), QString());
        QCOMPARE(manager.controllers().size(), 1);
        QCOMPARE(manager.controllers().first()->document().scale(), 2.0);
        manager.controllers().first()->close();
        QTRY_VERIFY(manager.controllers().isEmpty());
        QFile::remove(path);
        QFile::remove(junk.fileName());
    }
};

QTEST_MAIN(TestEditorWindow)
#include "tst_editorwindow.moc"
