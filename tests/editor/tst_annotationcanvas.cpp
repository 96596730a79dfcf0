// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotation/ImageComposer.h"
#include "annotation/TextFont.h"
#include "editor/AnnotationCanvasView.h"
#include "editor/CanvasGeometry.h"
#include "support/Pixels.h"

#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

using A = Annotation;
using Tool = EditorState::Tool;

// A parent that records the keys the canvas passes on.
class KeySink : public QWidget {
public:
    QList<int> keys;

protected:
    void keyPressEvent(QKeyEvent *event) override { keys << event->key(); }
};

class TestAnnotationCanvas : public QObject {
    Q_OBJECT

    std::unique_ptr<KeySink> window;
    std::unique_ptr<EditorDocument> document;
    std::unique_ptr<EditorState> state;
    AnnotationCanvasView *canvas = nullptr;
    QList<QRectF> crops;

    // A 200 × 150-point image (scale 1 unless told), with optional padding.
    void open(double padding = 0, double scale = 1)
    {
        window = std::make_unique<KeySink>();
        document = std::make_unique<EditorDocument>(
            Pixels::filled(int(200 * scale), int(150 * scale), Qt::white), scale);
        EditorDocument::State setUp = document->state();
        setUp.decoration.padding = padding;
        document->resetState(setUp);
        state = std::make_unique<EditorState>();
        canvas = new AnnotationCanvasView(document.get(), state.get(), window.get());
        document->onChange = [this] { canvas->documentDidChange(); };
        state->onToolChange = [this] { canvas->toolDidChange(); };
        canvas->onCropCommit = [this](const QRectF &r) { crops << r; };
        crops.clear();
        window->resize(canvas->size());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }

    QPointF widgetPoint(QPointF image) const { return canvas->toWidget(image); }

    void send(QEvent::Type type, QPointF image, Qt::MouseButtons buttons)
    {
        const QPointF local = widgetPoint(image);
        QMouseEvent event(type, local, canvas->mapToGlobal(local), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(canvas, &event);
    }
    void press(QPointF p) { send(QEvent::MouseButtonPress, p, Qt::LeftButton); }
    void moveTo(QPointF p) { send(QEvent::MouseMove, p, Qt::LeftButton); }
    void release(QPointF p) { send(QEvent::MouseButtonRelease, p, Qt::NoButton); }
    void doubleClick(QPointF p)
    {
        press(p);
        release(p);
        send(QEvent::MouseButtonDblClick, p, Qt::LeftButton);
        release(p);
    }
    void drag(QPointF from, QPointF to, int steps = 4)
    {
        press(from);
        for (int i = 1; i <= steps; ++i)
            moveTo(from + (to - from) * (double(i) / steps));
        release(to);
    }
    void click(QPointF p)
    {
        press(p);
        release(p);
    }
    void key(int k) { QTest::keyClick(canvas, Qt::Key(k)); }
    const QList<A> &list() const { return document->state().annotations; }
    int steps() const { return document->undoStack()->count(); }
    void add(const A &a)
    {
        EditorDocument::State next = document->state();
        next.annotations.append(a);
        document->replaceState(next, EditorDocument::addAnnotation);
    }

private slots:
    void cleanup() { window.reset(); }

    void drawingEachKind()
    {
        open();
        const QList<std::pair<Tool, std::size_t>> tools = {
            {Tool::arrow, 0},     {Tool::line, 1},     {Tool::rect, 2},    {Tool::ellipse, 3},
            {Tool::highlight, 4}, {Tool::pixelate, 5}, {Tool::freehand, 7}};
        for (const auto &[tool, kind] : tools) {
            state->setTool(tool);
            drag({20, 20}, {60, 50});
            QCOMPARE(list().last().kind.index(), kind);
            QCOMPARE(list().last().color, state->color);
            QCOMPARE(document->undoStack()->undoText(), QString("Ajouter une annotation"));
        }
        QCOMPARE(list().size(), 7);
        QCOMPARE(list()[0].as<A::Arrow>()->to, QPointF(60, 50));
        QCOMPARE(list()[2].as<A::Rect>()->rect, QRectF(20, 20, 40, 30));
        QCOMPARE(list()[6].as<A::Freehand>()->points.size(), 5); // one point per drag event
        QVERIFY(!canvas->selectedID());
    }

    void sizeThresholds()
    {
        open();
        state->setTool(Tool::rect);
        click({50, 50});
        QVERIFY(list().isEmpty());
        drag({50, 50}, {52, 52}); // 2 × 2: dropped
        QVERIFY(list().isEmpty());
        QCOMPARE(steps(), 0);
        state->setTool(Tool::line);
        drag({50, 50}, {60, 50}); // 10 wide, 0 high
        QCOMPARE(list().size(), 1);
        state->setTool(Tool::freehand);
        drag({80, 80}, {80.5, 80}, 1); // two points, however short
        QCOMPARE(list().size(), 2);
        // Escape drops a draft under way.
        state->setTool(Tool::rect);
        press({10, 10});
        moveTo({90, 90});
        QVERIFY(canvas->draft());
        key(Qt::Key_Escape);
        QVERIFY(!canvas->draft());
        release({90, 90});
        QCOMPARE(list().size(), 2);
    }

    void draggedPointsAreClampedButNotTheAnchor()
    {
        open(20);
        state->setTool(Tool::rect);
        drag({-10, -10}, {300, 100}); // starts in the margin, drags past the right edge
        QCOMPARE(list().last().as<A::Rect>()->rect, QRectF(-10, -10, 210, 110));
    }

    void badges()
    {
        open();
        EditorDocument::State setUp = document->state();
        setUp.annotations = {A(A::Badge{{10, 10}, 1}, Qt::red, 3), A(A::Badge{{20, 10}, 5}, Qt::red, 3),
                             A(A::Badge{{30, 10}, 2}, Qt::red, 3)};
        document->resetState(setUp);
        state->setTool(Tool::badge);
        click({100, 100});
        QCOMPARE(list().last().as<A::Badge>()->number, 6);
        QCOMPARE(list().last().as<A::Badge>()->center, QPointF(100, 100));
        QCOMPARE(document->undoStack()->undoText(), QString("Ajouter un badge"));
        QVERIFY(!canvas->selectedID());
        click({120, 100});
        QCOMPARE(list().last().as<A::Badge>()->number, 7);
    }

    void selectMoveAndClamp()
    {
        open();
        const A box(A::Rect{QRectF(50, 50, 40, 30)}, Qt::red, 2);
        add(box);
        const int before = steps();
        state->setTool(Tool::select);
        drag({60, 60}, {80, 70});
        QCOMPARE(canvas->selectedID(), box.id);
        QCOMPARE(list()[0].as<A::Rect>()->rect, QRectF(70, 60, 40, 30));
        QCOMPARE(steps(), before + 1);
        QCOMPARE(document->undoStack()->undoText(), QString("Déplacer"));
        // The pointer is clamped to the image: the motion stops at the edge.
        drag({80, 70}, {500, 70});
        QCOMPARE(list()[0].as<A::Rect>()->rect, QRectF(190, 60, 40, 30));
        // One undo step per gesture, restoring the exact list and ids.
        document->undoStack()->undo();
        QCOMPARE(list()[0].as<A::Rect>()->rect, QRectF(70, 60, 40, 30));
        QCOMPARE(list()[0].id, box.id);
        // A plain click adds a step that changes nothing.
        const int count = steps();
        click({80, 70});
        QCOMPARE(steps(), count);
        QCOMPARE(list()[0].as<A::Rect>()->rect, QRectF(70, 60, 40, 30));
        QCOMPARE(document->undoStack()->undoText(), QString("Déplacer"));
    }

    void reshaping()
    {
        open();
        const A line(A::Line{{20, 20}, {100, 20}}, Qt::red, 2);
        const A box(A::Rect{QRectF(50, 60, 40, 30)}, Qt::red, 2);
        add(line);
        add(box);
        state->setTool(Tool::select);
        click({60, 20});
        QCOMPARE(canvas->selectedID(), line.id);
        drag({105, 25}, {110, 40}); // the end handle, grabbed 7 points away
        QCOMPARE(list()[0].as<A::Line>()->to, QPointF(110, 40));
        QCOMPARE(list()[0].as<A::Line>()->from, QPointF(20, 20));
        QCOMPARE(document->undoStack()->undoText(), QString("Redimensionner"));

        click({70, 70});
        QCOMPARE(canvas->selectedID(), box.id);
        // Corner 1 is (maxX, minY); the opposite corner 3 at (minX, maxY) stays put.
        QCOMPARE(CanvasGeometry::fixedCornerIndex(1), 3);
        QCOMPARE(CanvasGeometry::fixedCornerIndex(0), 2);
        drag({90, 60}, {120, 40});
        QCOMPARE(list()[1].as<A::Rect>()->rect, QRectF(50, 40, 70, 50));
        // Dragging past the fixed corner flips the rectangle, which stays normalised.
        drag({120, 40}, {30, 100});
        QCOMPARE(list()[1].as<A::Rect>()->rect, QRectF(30, 90, 20, 10));
    }

    void firstHandleInReachWins()
    {
        open();
        const A tiny(A::Line{{50, 50}, {54, 50}}, Qt::red, 2);
        add(tiny);
        state->setTool(Tool::select);
        click({52, 50});
        drag({53, 50}, {53, 90}); // both handles within 8 points: the start point wins
        QCOMPARE(list()[0].as<A::Line>()->from, QPointF(53, 90));
        QCOMPARE(list()[0].as<A::Line>()->to, QPointF(54, 50));
    }

    void overlapSelectsTheLaterOne()
    {
        open();
        const A below(A::Rect{QRectF(10, 10, 100, 100)}, Qt::red, 2);
        const A above(A::Ellipse{QRectF(50, 50, 100, 80)}, Qt::blue, 2);
        add(below);
        add(above);
        state->setTool(Tool::select);
        click({60, 60});
        QCOMPARE(canvas->selectedID(), above.id);
        click({180, 140}); // empty space
        QVERIFY(!canvas->selectedID());
    }

    void deleteEscapeAndUndoRules()
    {
        open();
        const A box(A::Rect{QRectF(50, 50, 40, 30)}, Qt::red, 2);
        add(box);
        state->setTool(Tool::select);
        const int before = steps();
        key(Qt::Key_Delete); // no selection: nothing
        QCOMPARE(steps(), before);
        key(Qt::Key_Escape); // nothing to cancel: passed on
        QCOMPARE(window->keys, QList<int>{Qt::Key_Escape});

        click({60, 60});
        key(Qt::Key_Escape);
        QVERIFY(!canvas->selectedID());
        QCOMPARE(window->keys.size(), 1);
        click({60, 60});
        key(Qt::Key_Backspace);
        QVERIFY(list().isEmpty());
        QVERIFY(!canvas->selectedID());
        QCOMPARE(document->undoStack()->undoText(), QString("Supprimer"));
        document->undoStack()->undo();
        QCOMPARE(list()[0].id, box.id);

        // An undo that removes the selected annotation clears the selection.
        state->setTool(Tool::rect);
        drag({120, 20}, {160, 60});
        state->setTool(Tool::select);
        click({140, 40});
        QVERIFY(canvas->selectedID());
        document->undoStack()->undo(); // the move step
        document->undoStack()->undo(); // the addition
        QVERIFY(!canvas->selectedID());
        // Any other tool clears the selection.
        click({60, 60});
        state->setTool(Tool::arrow);
        QVERIFY(!canvas->selectedID());
    }

    void styleChangesApplyToTheSelection()
    {
        open();
        const A box(A::Rect{QRectF(50, 50, 40, 30)}, Qt::red, 2);
        add(box);
        const int before = steps();
        canvas->applyToSelection([](A &a) { a.color = Qt::blue; }, EditorDocument::changeColor);
        QCOMPARE(steps(), before); // nothing selected
        state->setTool(Tool::select);
        click({60, 60});
        const int selected = steps();
        canvas->applyToSelection([](A &a) { a.lineWidth = 9; }, EditorDocument::changeLineWidth);
        QCOMPARE(list()[0].lineWidth, 9.0);
        QCOMPARE(list()[0].id, box.id);
        QCOMPARE(document->undoStack()->undoText(), QString("Modifier l'épaisseur"));
        canvas->applyToSelection([](A &) {}, EditorDocument::changeColor); // no change: still a step
        QCOMPARE(steps(), selected + 2);
    }

    void typingText()
    {
        open(10);
        state->setTool(Tool::text);
        click({40, 60});
        QLineEdit *field = canvas->textField();
        QVERIFY(field);
        QVERIFY(field->width() >= 60);
        QTest::keyClicks(field, "  Bonjour  ");
        // The font and colour are those current at commit time.
        state->color = Qt::blue;
        state->fontSize = 30;
        QTest::keyClick(field, Qt::Key_Return);
        QVERIFY(!canvas->textField());
        QCOMPARE(list().size(), 1);
        const A::Text *text = list()[0].as<A::Text>();
        QCOMPARE(text->string, QString("Bonjour"));
        QCOMPARE(text->fontSize, 30.0);
        QCOMPARE(list()[0].color, QColor(Qt::blue));
        QCOMPARE(text->origin, QPointF(40, 60));
        QCOMPARE(document->undoStack()->undoText(), QString("Ajouter du texte"));

        // Escape stores nothing; an empty text stores nothing.
        const int before = steps();
        click({100, 100});
        QTest::keyClicks(canvas->textField(), "rien");
        QTest::keyClick(canvas->textField(), Qt::Key_Escape);
        click({100, 100});
        QTest::keyClick(canvas->textField(), Qt::Key_Return);
        QCOMPARE(steps(), before);
        QCOMPARE(list().size(), 1);
    }

    void returnInTheTextFieldGoesNoFurther()
    {
        open();
        state->setTool(Tool::text);
        click({40, 60});
        QTest::keyClicks(canvas->textField(), "Salut");
        QTest::keyClick(canvas->textField(), Qt::Key_Return);
        QCOMPARE(list().size(), 1);
        // Neither Return nor Enter reaches the window (where a default button would fire).
        click({80, 90});
        QTest::keyClicks(canvas->textField(), "Encore");
        QTest::keyClick(canvas->textField(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(list().size(), 2);
        QVERIFY(!window->keys.contains(Qt::Key_Return));
        QVERIFY(!window->keys.contains(Qt::Key_Enter));
    }

    void aSelectingClickIsNoStep()
    {
        open();
        add(A(A::Rect{QRectF(20, 20, 60, 40)}, Qt::red, 3));
        add(A(A::Rect{QRectF(120, 80, 40, 40)}, Qt::blue, 3));
        document->undoStack()->undo();
        QVERIFY(document->undoStack()->canRedo());
        const int before = steps();
        state->setTool(Tool::select);
        click({20, 40}); // on the first rectangle's edge: selects it, moves nothing
        QCOMPARE(canvas->selectedID(), std::optional<QUuid>(list()[0].id));
        QCOMPARE(document->undoStack()->index(), before - 1);
        QVERIFY(document->undoStack()->canRedo());
        document->undoStack()->redo();
        QCOMPARE(list().size(), 2);
        // A real move is one step.
        drag({20, 40}, {30, 50});
        QCOMPARE(document->undoStack()->undoText(), QString("Déplacer"));
    }

    void undoDuringADragShowsTheDocument()
    {
        open();
        add(A(A::Rect{QRectF(20, 20, 60, 40)}, Qt::red, 4));
        add(A(A::Rect{QRectF(120, 80, 40, 40)}, Qt::blue, 4));
        add(A(A::Line{{10, 140}, {190, 140}}, Qt::green, 4));
        state->setTool(Tool::select);
        press({20, 40});
        moveTo({25, 45});
        // Ctrl+Z from the menu while the button is held: the green line goes.
        document->undoStack()->undo();
        QCOMPARE(list().size(), 2);
        QImage shown = canvas->grab().toImage();
        QCOMPARE(Pixels::at(shown, {100, 140}, 150), QColor(Qt::white));
        moveTo({30, 50});
        release({30, 50});
        shown = canvas->grab().toImage();
        QCOMPARE(Pixels::at(shown, {100, 140}, 150), QColor(Qt::white));
        QVERIFY(Pixels::near(Pixels::at(shown, {140, 120}, 150), QColor(Qt::blue)));
        // The drag that the undo interrupted stores no step with its stale snapshot.
        QCOMPARE(list().size(), 2);
        QVERIFY(document->undoStack()->canRedo());
        document->undoStack()->redo();
        QCOMPARE(list().size(), 3);
    }

    void fieldGeometry()
    {
        open(10);
        const QSizeF measured(100, 20);
        QCOMPARE(CanvasGeometry::textFieldFrame({40, 60}, measured, 10), QRectF(48, 67, 124, 26));
        QCOMPARE(CanvasGeometry::textFieldFrame({40, 60}, QSizeF(0, 20), 10).width(), 60.0);
        QCOMPARE(CanvasGeometry::textOrigin(QRectF(48, 67, 124, 26), 10), QPointF(40, 60));
        // Live resizing: the field grows with its text.
        state->setTool(Tool::text);
        click({20, 20});
        QLineEdit *field = canvas->textField();
        const int empty = field->width();
        QTest::keyClicks(field, "Un texte nettement plus long que soixante points");
        QVERIFY(field->width() > empty);
        QTest::keyClick(field, Qt::Key_Escape);
    }

    void reEditingText()
    {
        open();
        const A note(A::Text{{30, 30}, "Avant", std::nullopt, 20}, Qt::black, 3);
        add(note);
        state->setTool(Tool::select);
        const QPointF inside = note.textBoundingRect().center();
        doubleClick(inside);
        QLineEdit *field = canvas->textField();
        QVERIFY(field);
        QCOMPARE(field->text(), QString("Avant"));
        // Unchanged: no step.
        int before = steps();
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(steps(), before);
        // Emptied: the old text stays.
        doubleClick(inside);
        canvas->textField()->clear();
        QTest::keyClick(canvas->textField(), Qt::Key_Return);
        QCOMPARE(list()[0].as<A::Text>()->string, QString("Avant"));
        // Changed: one "Modifier le texte" step, same id and place.
        doubleClick(inside);
        canvas->textField()->setText("Après");
        before = steps();
        QTest::keyClick(canvas->textField(), Qt::Key_Return);
        QCOMPARE(steps(), before + 1);
        QCOMPARE(document->undoStack()->undoText(), QString("Modifier le texte"));
        QCOMPARE(list()[0].as<A::Text>()->string, QString("Après"));
        QCOMPARE(list()[0].id, note.id);
        QCOMPARE(list()[0].as<A::Text>()->origin, QPointF(30, 30));
        // A tool change commits an open field.
        doubleClick(inside);
        canvas->textField()->setText("Encore");
        state->setTool(Tool::arrow);
        QVERIFY(!canvas->textField());
        QCOMPARE(list()[0].as<A::Text>()->string, QString("Encore"));
    }

    void cropping()
    {
        open(10, 2);
        state->setTool(Tool::crop);
        drag({20, 20}, {24, 120}); // 4 wide: dropped
        QVERIFY(crops.isEmpty());
        QCOMPARE(state->tool, Tool::select);
        state->setTool(Tool::crop);
        drag({20, 20}, {25, 25});
        QCOMPARE(crops, QList<QRectF>{QRectF(20, 20, 5, 5)});
        QCOMPARE(state->tool, Tool::select);
        // Clamped to the image, also from a start in the margin.
        state->setTool(Tool::crop);
        drag({-8, 140}, {500, -30});
        QCOMPARE(crops.last(), QRectF(0, 0, 200, 140));
        // Escape, during a drag or before one, returns to the select tool.
        state->setTool(Tool::crop);
        press({30, 30});
        moveTo({80, 80});
        QVERIFY(canvas->cropRect());
        key(Qt::Key_Escape);
        QVERIFY(!canvas->cropRect());
        QCOMPARE(state->tool, Tool::select);
        release({80, 80});
        QCOMPARE(crops.size(), 2);
        state->setTool(Tool::crop);
        key(Qt::Key_Escape);
        QCOMPARE(state->tool, Tool::select);
    }

    void cropLabel()
    {
        QCOMPARE(CanvasGeometry::cropLabel(QRectF(0, 0, 100.25, 50), 2), QString("201 × 100 px"));
        QCOMPARE(CanvasGeometry::cropLabel(QRectF(0, 0, 10, 10), 1), QString("10 × 10 px"));
        // Below the rectangle, right edges aligned; pushed up to 4 points above the bottom and in from the
        // sides.
        QCOMPARE(CanvasGeometry::cropLabelBox(QRectF(50, 100, 100, 50), QSizeF(60, 12), 400),
                 QRectF(74, 74, 76, 20));
        QCOMPARE(CanvasGeometry::cropLabelBox(QRectF(50, 5, 100, 50), QSizeF(60, 12), 400).y(), 4.0);
        QCOMPARE(CanvasGeometry::cropLabelBox(QRectF(0, 50, 20, 50), QSizeF(60, 12), 400).x(), 4.0);
        QCOMPARE(CanvasGeometry::cropLabelBox(QRectF(300, 50, 100, 50), QSizeF(60, 12), 350).x(), 270.0);
    }

    // The canvas paints what the export composes, and its overlays on top.
    void paintsTheComposition()
    {
        open(12);
        document->setDecoration(Decoration{12, Decoration::Gradient{Qt::yellow, Qt::darkGreen}, 8, true},
                                EditorDocument::changeBackground);
        add(A(A::Rect{QRectF(5, 5, 30, 20)}, Qt::green, 3));
        add(A(A::Arrow{{20, 20}, {150, 120}}, Qt::red, 4));
        QImage shown = canvas->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QImage exported =
            *ImageComposer::compose(document->state().baseImage, list(), 1, document->state().decoration);
        QCOMPARE(shown.size(), exported.size());
        int differing = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                differing += !Pixels::near(shown.pixelColor(x, y), exported.pixelColor(x, y), 6);
        QVERIFY2(differing < shown.width() * shown.height() / 100, qPrintable(QString::number(differing)));
        // While an annotation in the middle of the list is dragged, the cached layers below and above it
        // give the same picture as a full paint (the selection frame aside).
        add(A(A::Highlight{QRectF(60, 40, 60, 60)}, QColor(0, 120, 255), 3));
        add(A(A::Pixelate{QRectF(90, 60, 60, 50)}, Qt::red, 3));
        state->setTool(Tool::select);
        press({30, 30});
        moveTo({40, 36});
        QCOMPARE(list()[1].as<A::Arrow>()->from, QPointF(30, 26));
        shown = canvas->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
        exported =
            *ImageComposer::compose(document->state().baseImage, list(), 1, document->state().decoration);
        differing = 0;
        const QRect chrome = QRectF(canvas->toWidget({26, 170}), canvas->toWidget({164, 22}))
                                 .toAlignedRect()
                                 .adjusted(-2, -2, 2, 2);
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                if (!chrome.contains(x, y))
                    differing += !Pixels::near(shown.pixelColor(x, y), exported.pixelColor(x, y), 6);
        QVERIFY2(differing < 50, qPrintable(QString::number(differing)));
        release({40, 36});
        // The crop overlay dims the image outside the rectangle only.
        state->setTool(Tool::crop);
        press({50, 50});
        moveTo({100, 100});
        shown = canvas->grab().toImage();
        QVERIFY(shown.pixelColor(canvas->toWidget({20, 140}).toPoint()).lightness() < 160);
        QCOMPARE(shown.pixelColor(canvas->toWidget({55, 90}).toPoint()), QColor(Qt::white));
        release({100, 100});
    }

    // Every gesture lands where the pointer is at any zoom, the chrome keeps its size on screen, and the
    // canvas shows what the export composes. Positions are worked out here from the zoom, not asked of the
    // canvas.
    void zoomedGestures_data()
    {
        QTest::addColumn<double>("zoom");
        QTest::newRow("50 %") << 0.5;
        QTest::newRow("200 %") << 2.0;
    }
    void zoomedGestures()
    {
        QFETCH(double, zoom);
        const double p = 10;
        open(p, 2);
        QImage halves = Pixels::filled(400, 300, Qt::white);
        QPainter(&halves).fillRect(QRect(0, 0, 200, 300), QColor(0, 0, 200)); // left half blue
        EditorDocument::State setUp = document->state();
        setUp.baseImage = halves;
        document->resetState(setUp);
        document->setDecoration(Decoration{p, Decoration::Solid{Qt::green}, 0, false},
                                EditorDocument::changeBackground);
        canvas->setZoom(zoom);
        window->resize(canvas->size());
        QCOMPARE(canvas->size(), QSize(int(std::ceil(220 * zoom)), int(std::ceil(170 * zoom))));
        const auto view = [&](QPointF image) {
            return QPointF((image.x() + p) * zoom, (150 + p - image.y()) * zoom);
        };
        const auto at = [&](QEvent::Type type, QPointF local, Qt::MouseButtons buttons) {
            QMouseEvent event(type, local, canvas->mapToGlobal(local), Qt::LeftButton, buttons,
                              Qt::NoModifier);
            QApplication::sendEvent(canvas, &event);
        };
        const auto dragView = [&](QPointF from, QPointF to) {
            at(QEvent::MouseButtonPress, from, Qt::LeftButton);
            at(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
            at(QEvent::MouseMove, to, Qt::LeftButton);
            at(QEvent::MouseButtonRelease, to, Qt::NoButton);
        };
        QCOMPARE(canvas->toImage(view({33, 44})), QPointF(33, 44));

        // Drawing.
        state->color = Qt::red;
        state->lineWidth = 8;
        state->setTool(Tool::rect);
        dragView(view({20, 30}), view({120, 100}));
        QCOMPARE(list().size(), 1);
        QCOMPARE(*list()[0].rectangle(), QRectF(20, 30, 100, 70));

        // Painting: the image's halves, the margin and the rectangle's edge where they belong.
        QImage shown = canvas->grab().toImage();
        QVERIFY(Pixels::near(shown.pixelColor(view({50, 15}).toPoint()), QColor(0, 0, 200)));
        QVERIFY(Pixels::near(shown.pixelColor(view({150, 15}).toPoint()), Qt::white));
        QVERIFY(Pixels::near(shown.pixelColor(view({100, -5}).toPoint()), Qt::green));
        QVERIFY(Pixels::near(shown.pixelColor(view({140, 100}).toPoint()), Qt::white));
        const QColor edge = shown.pixelColor(view({140, 100}).toPoint() - QPoint(int(20 * zoom), 0));
        QVERIFY2(edge.red() > 200 && edge.green() < 80, qPrintable(edge.name()));

        // The export at the image's density, brought to the canvas's size, is what the canvas shows.
        const QImage exported =
            ImageComposer::compose(document->state().baseImage, list(), 2, document->state().decoration)
                ->scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        int differing = 0;
        for (int y = 0; y < shown.height(); ++y)
            for (int x = 0; x < shown.width(); ++x)
                differing += !Pixels::near(shown.pixelColor(x, y), exported.pixelColor(x, y), 40);
        QVERIFY2(differing < shown.width() * shown.height() / 50, qPrintable(QString::number(differing)));

        // Selecting, and a corner handle grabbed six view pixels off, whatever the zoom.
        state->setTool(Tool::select);
        at(QEvent::MouseButtonPress, view({70, 65}), Qt::LeftButton);
        at(QEvent::MouseButtonRelease, view({70, 65}), Qt::NoButton);
        QCOMPARE(canvas->selectedID(), std::optional<QUuid>(list()[0].id));
        dragView(view({120, 100}) + QPointF(6, 0), view({150, 120}));
        const QRectF reshaped = *list()[0].rectangle();
        QVERIFY2(std::abs(reshaped.width() - 130) < 0.01 && std::abs(reshaped.height() - 90) < 0.01 &&
                     reshaped.topLeft() == QPointF(20, 30),
                 qPrintable(QStringLiteral("%1 %2").arg(reshaped.width()).arg(reshaped.height())));
        // Moving.
        dragView(view({70, 65}), view({80, 60}));
        QCOMPARE(list()[0].rectangle()->topLeft(), QPointF(30, 25));

        // Text: the field sits at the text's place and grows with the zoom; it follows a zoom change.
        state->setTool(Tool::text);
        at(QEvent::MouseButtonPress, view({40, 120}), Qt::LeftButton);
        at(QEvent::MouseButtonRelease, view({40, 120}), Qt::NoButton);
        QLineEdit *field = canvas->textField();
        QVERIFY(field);
        const QFont font = TextFont::textFont(state->fontName, state->fontSize);
        const QRectF frame = CanvasGeometry::textFieldFrame({40, 120}, TextFont::measure(QString(), font), p);
        QVERIFY(std::abs(field->x() - frame.x() * zoom) <= 1);
        QVERIFY(std::abs(field->height() - frame.height() * zoom) <= 1);
        QVERIFY(std::abs(field->y() - (170 - frame.bottom()) * zoom) <= 1);
        const int height = field->height();
        canvas->setZoom(zoom * 2);
        QVERIFY(std::abs(field->height() - 2 * height) <= 2);
        canvas->setZoom(zoom);
        QTest::keyClicks(field, "Bonjour");
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(list().last().as<A::Text>()->string, QStringLiteral("Bonjour"));
        QCOMPARE(list().last().as<A::Text>()->origin, QPointF(40, 120));

        // Cropping.
        state->setTool(Tool::crop);
        dragView(view({10, 20}), view({110, 90}));
        QCOMPARE(crops, QList<QRectF>{QRectF(10, 20, 100, 70)});
    }

    void zoomSteps()
    {
        QCOMPARE(CanvasGeometry::steppedZoom(1, 1), 1.25);
        QCOMPARE(CanvasGeometry::steppedZoom(1, -1), 0.75);
        QCOMPARE(CanvasGeometry::steppedZoom(0.8, 1), 1.0); // off the steps: the next one
        QCOMPARE(CanvasGeometry::steppedZoom(0.8, -1), 0.75);
        QCOMPARE(CanvasGeometry::steppedZoom(8, 1), CanvasGeometry::maximumZoom);
        QCOMPARE(CanvasGeometry::steppedZoom(CanvasGeometry::minimumZoom, -1), CanvasGeometry::minimumZoom);
        // Fitting never enlarges and leaves whole pixels inside the viewport.
        QCOMPARE(CanvasGeometry::fittedZoom({400, 300}, {1000, 800}), 1.0);
        const double fitted = CanvasGeometry::fittedZoom({1920, 1080}, {1333, 700});
        const QSize size = CanvasGeometry::zoomedSize({1920, 1080}, fitted);
        QVERIFY(size.width() <= 1333 && size.height() <= 700 && size.height() >= 699);
        QCOMPARE(CanvasGeometry::zoomLabel(1), QStringLiteral("100 %"));
        QCOMPARE(CanvasGeometry::zoomLabel(0.125), QStringLiteral("12,5 %"));
        QCOMPARE(CanvasGeometry::zoomLabel(2.0 / 3), QStringLiteral("66,7 %"));
        QCOMPARE(CanvasGeometry::clampedZoom(std::nan("")), 1.0);
        QCOMPARE(CanvasGeometry::clampedZoom(100), CanvasGeometry::maximumZoom);
    }

    // Far zoomed in the pixels show as squares where they belong, whether the canvas keeps a picture of
    // itself (a small image) or paints the visible part directly (a canvas too large to keep).
    void farZoomShowsPixels_data()
    {
        QTest::addColumn<int>("width");
        QTest::newRow("kept") << 200;
        QTest::newRow("painted directly") << 1000;
    }
    void farZoomShowsPixels()
    {
        QFETCH(int, width);
        open(0, 1);
        QImage image = Pixels::filled(width, 150, Qt::white);
        image.setPixelColor(100, 75, Qt::black);
        EditorDocument::State setUp = document->state();
        setUp.baseImage = image;
        document->resetState(setUp);
        canvas->setZoom(8);
        QCOMPARE(canvas->size(), QSize(width * 8, 1200));
        const QImage shown = canvas->grab(QRect(780, 580, 40, 40)).toImage();
        // The black pixel covers view pixels 800–807 × 600–607: sharp, not smoothed out.
        QCOMPARE(shown.pixelColor(21, 21), QColor(Qt::black));
        QCOMPARE(shown.pixelColor(27, 27), QColor(Qt::black));
        QCOMPARE(shown.pixelColor(19, 21), QColor(Qt::white));
        QCOMPARE(shown.pixelColor(28, 21), QColor(Qt::white));
    }

    // Random gestures on a small document, then undo all: the picture is the original pixel for pixel;
    // redo all: the final picture.
    void undoRedoProperty()
    {
        QRandomGenerator random(20261206);
        int changedRounds = 0, totalSteps = 0;
        for (int round = 0; round < 300; ++round) {
            open(random.bounded(3) * 5);
            auto render = [&] {
                return *ImageComposer::compose(document->state().baseImage, list(), document->scale(),
                                               document->state().decoration);
            };
            const QImage original = render();
            auto point = [&] { return QPointF(random.bounded(220.0) - 10, random.bounded(170.0) - 10); };
            const int gestures = 1 + random.bounded(8);
            for (int g = 0; g < gestures; ++g) {
                const Tool tool =
                    EditorState::allTools[random.bounded(int(std::size(EditorState::allTools)))];
                state->setTool(tool);
                switch (tool) {
                case Tool::text:
                    click(point());
                    if (canvas->textField()) {
                        QTest::keyClicks(canvas->textField(), "abc");
                        QTest::keyClick(canvas->textField(), Qt::Key_Return);
                    }
                    break;
                case Tool::select: {
                    const QPointF from = point();
                    click(from);
                    if (random.bounded(3) == 0 && canvas->selectedID())
                        key(Qt::Key_Delete);
                    else
                        drag(from, point());
                    break;
                }
                default: drag(point(), point(), 1 + random.bounded(4));
                }
            }
            const QImage final = render();
            const int count = steps();
            totalSteps += count;
            changedRounds += final != original;
            for (int i = 0; i < count; ++i)
                document->undoStack()->undo();
            QVERIFY2(render() == original, qPrintable(QString("round %1").arg(round)));
            for (int i = 0; i < count; ++i)
                document->undoStack()->redo();
            QVERIFY2(render() == final, qPrintable(QString("round %1").arg(round)));
            window.reset();
        }
        // The gestures really edited the documents.
        QVERIFY2(changedRounds > 150 && totalSteps > 600,
                 qPrintable(QString("%1 %2").arg(changedRounds).arg(totalSteps)));
    }
};

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    TestAnnotationCanvas test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_annotationcanvas.moc"
