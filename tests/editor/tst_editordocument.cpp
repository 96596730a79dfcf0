// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotation/ImageTransformer.h"
#include "editor/EditorDocument.h"
#include "support/Pixels.h"

#include <QGuiApplication>
#include <QTest>

using A = Annotation;

class TestEditorDocument : public QObject {
    Q_OBJECT

    static A arrow() { return A(A::Arrow{{1, 2}, {30, 40}}, Qt::red, 3); }
    static A badge(qint64 n) { return A(A::Badge{{10, 10}, n}, Qt::red, 3); }
    static QList<QUuid> ids(const QList<A> &list)
    {
        QList<QUuid> result;
        for (const A &a : list)
            result << a.id;
        return result;
    }

private slots:
    void initialState()
    {
        EditorDocument document(Pixels::filled(200, 100, Qt::white), 2);
        QCOMPARE(document.scale(), 2.0);
        QVERIFY(document.state().annotations.isEmpty());
        QVERIFY(document.state().decoration == Decoration{});
        QCOMPARE(document.imagePointSize(), QSizeF(100, 50));
        EditorDocument::State setUp = document.state();
        setUp.decoration.padding = 10;
        document.resetState(setUp);
        QCOMPARE(document.paddedPointSize(), QSizeF(120, 70));
        QCOMPARE(document.nextBadgeNumber(), 1);
    }

    void undoAndRedoAlternateBetweenSnapshots()
    {
        EditorDocument document(Pixels::filled(100, 100, Qt::white), 1);
        int changes = 0;
        document.onChange = [&] { ++changes; };
        const A added = arrow();
        EditorDocument::State next = document.state();
        next.annotations.append(added);
        document.replaceState(next, EditorDocument::addAnnotation);
        QCOMPARE(changes, 1);
        QCOMPARE(document.undoStack()->undoText(), QString("Ajouter une annotation"));
        for (int round = 0; round < 3; ++round) {
            document.undoStack()->undo();
            QVERIFY(document.state().annotations.isEmpty());
            QCOMPARE(document.undoStack()->redoText(), QString("Ajouter une annotation"));
            document.undoStack()->redo();
            QCOMPARE(ids(document.state().annotations), QList<QUuid>{added.id});
        }
        QCOMPARE(changes, 7);

        // A new edit after an undo drops the redo step.
        document.undoStack()->undo();
        document.setDecoration(Decoration{12, Decoration::None{}, 0, false},
                               EditorDocument::changeBackground);
        QVERIFY(!document.undoStack()->canRedo());
        QCOMPARE(document.undoStack()->count(), 1);
    }

    void operationsOnIdsAndDecorations()
    {
        EditorDocument document(Pixels::filled(100, 100, Qt::white), 1);
        const A first = arrow(), second = badge(1);
        document.replaceState({document.state().baseImage, {first, second}, {}}, "x");
        A changed = first;
        changed.color = Qt::blue;
        document.update(changed, EditorDocument::changeColor);
        QCOMPARE(document.annotation(first.id)->color, QColor(Qt::blue));
        QCOMPARE(ids(document.state().annotations), QList<QUuid>({first.id, second.id}));

        const int steps = document.undoStack()->count();
        document.removeAnnotation(QUuid::createUuid(), EditorDocument::remove); // absent: still a step
        QCOMPARE(document.undoStack()->count(), steps + 1);
        QCOMPARE(document.state().annotations.size(), 2);
        document.update(arrow(), EditorDocument::changeColor); // absent id: list unchanged, still a step
        QCOMPARE(document.undoStack()->count(), steps + 2);

        // Re-applying an equal decoration adds nothing; changing only the shadow adds a step.
        Decoration d{8, Decoration::Solid{QColor(1, 2, 3)}, 4, false};
        document.setDecoration(d, EditorDocument::changeBackground);
        const int withDecoration = document.undoStack()->count();
        document.setDecoration(Decoration{8, Decoration::Solid{QColor(1, 2, 3)}, 4, false},
                               EditorDocument::changeBackground);
        QCOMPARE(document.undoStack()->count(), withDecoration);
        d.hasShadow = true;
        document.setDecoration(d, EditorDocument::changeBackground);
        QCOMPARE(document.undoStack()->count(), withDecoration + 1);
    }

    void registerUndoLeavesTheStateAlone()
    {
        EditorDocument document(Pixels::filled(100, 100, Qt::white), 1);
        const A a = arrow();
        EditorDocument::State setUp = document.state();
        setUp.annotations = {a};
        document.resetState(setUp);
        int changes = 0;
        document.onChange = [&] { ++changes; };
        document.registerUndo({document.state().baseImage, {}, {}}, EditorDocument::move);
        QCOMPARE(changes, 0);
        QCOMPARE(document.state().annotations.size(), 1);
        document.undoStack()->undo();
        QVERIFY(document.state().annotations.isEmpty());
        document.undoStack()->redo();
        QCOMPARE(ids(document.state().annotations), QList<QUuid>{a.id});
    }

    void badgeNumbers()
    {
        EditorDocument document(Pixels::filled(100, 100, Qt::white), 1);
        EditorDocument::State setUp = document.state();
        setUp.annotations = {badge(1), badge(5), arrow(), badge(2)};
        document.resetState(setUp);
        QCOMPARE(document.nextBadgeNumber(), 6);
        setUp = document.state();
        setUp.annotations = {badge(1), badge(2), badge(3)};
        document.resetState(setUp);
        setUp.annotations.removeAt(1);
        document.resetState(setUp);
        QCOMPARE(document.nextBadgeNumber(), 4); // never renumbered
        setUp.annotations.removeLast();
        document.resetState(setUp);
        QCOMPARE(document.nextBadgeNumber(), 2);
        setUp = document.state();
        setUp.annotations = {badge(std::numeric_limits<qint64>::max())};
        document.resetState(setUp);
        QCOMPARE(document.nextBadgeNumber(), std::numeric_limits<qint64>::max());
    }

    void cropIsOneStep()
    {
        EditorDocument document(Pixels::filled(200, 100, Qt::white), 2);
        const A a(A::Line{{20, 20}, {40, 40}}, Qt::red, 3);
        EditorDocument::State setUp = document.state();
        setUp.annotations = {a};
        document.resetState(setUp);
        const auto cut = ImageTransformer::crop(document.state().baseImage, document.state().annotations,
                                                QRectF(10, 5, 50, 30), 2);
        QVERIFY(cut);
        document.replaceState({cut->image, cut->annotations, document.state().decoration},
                              EditorDocument::crop);
        QCOMPARE(document.state().baseImage.size(), QSize(100, 60));
        QCOMPARE(document.state().annotations[0].as<A::Line>()->from, QPointF(10, 15));
        document.undoStack()->undo();
        QCOMPARE(document.state().baseImage.size(), QSize(200, 100));
        QCOMPARE(document.state().annotations[0].as<A::Line>()->from, QPointF(20, 20));
        QCOMPARE(document.state().annotations[0].id, a.id);
        QCOMPARE(document.undoStack()->redoText(), QString("Recadrer"));
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestEditorDocument test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_editordocument.moc"
