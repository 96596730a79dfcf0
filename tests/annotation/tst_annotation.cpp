// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotation/Annotation.h"
#include "annotation/TextFont.h"

#include <QGuiApplication>
#include <QTest>

using A = Annotation;

class TestAnnotation : public QObject {
    Q_OBJECT

    static QList<Annotation> oneOfEach()
    {
        return {
            A(A::Arrow{{10, 20}, {60, 80}}, Qt::red, 3),
            A(A::Line{{5, 5}, {30, 1}}, Qt::blue, 2),
            A(A::Rect{QRectF(10, 10, 40, 20)}, Qt::green, 4),
            A(A::Ellipse{QRectF(0, 30, 10, 50)}, Qt::black, 1),
            A(A::Highlight{QRectF(70, 5, 20, 8)}, Qt::yellow, 3),
            A(A::Pixelate{QRectF(3, 4, 5, 6)}, Qt::gray, 3),
            A(A::Badge{{50, 50}, 7}, Qt::red, 3),
            A(A::Freehand{{{1, 2}, {3, 5}, {8, 1}}}, Qt::magenta, 5),
            A(A::Text{{12, 34}, "Bonjour", std::nullopt, 20}, Qt::black, 3),
        };
    }

    static QList<QPointF> coordinates(const Annotation &a)
    {
        QList<QPointF> points = a.handles();
        if (auto *k = a.as<A::Badge>())
            points << k->center;
        if (auto *k = a.as<A::Freehand>())
            points << k->points;
        if (auto *k = a.as<A::Text>())
            points << k->origin;
        return points;
    }

    static bool samePoints(const QList<QPointF> &a, const QList<QPointF> &b)
    {
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size(); ++i)
            if (std::abs(a[i].x() - b[i].x()) > 1e-9 || std::abs(a[i].y() - b[i].y()) > 1e-9)
                return false;
        return true;
    }

private slots:
    void boundingBoxes()
    {
        QCOMPARE(A(A::Arrow{{60, 80}, {10, 20}}, Qt::red, 3).boundingBox(), QRectF(10, 20, 50, 60));
        QCOMPARE(A(A::Badge{{50, 50}, 7}, Qt::red, 3).boundingBox(), QRectF(36, 36, 28, 28));
        QCOMPARE(A(A::Badge{{50, 50}, 123}, Qt::red, 30).boundingBox(), QRectF(36, 36, 28, 28));
        QCOMPARE(A(A::Freehand{{}}, Qt::red, 3).boundingBox(), QRectF());
        QCOMPARE(A(A::Freehand{{{4, 5}}}, Qt::red, 3).boundingBox(), QRectF(4, 5, 0, 0));
        QCOMPARE(A(A::Freehand{{{4, 5}, {1, 9}, {7, 6}}}, Qt::red, 3).boundingBox(), QRectF(1, 5, 6, 4));
        QCOMPARE(A(A::Rect{QRectF(1, 2, 3, 4)}, Qt::red, 3).textBoundingRect(), QRectF());

        // Text boxes come from the shared measurement, at the origin, and grow with the font size.
        const A text(A::Text{{12, 34}, "Bonjour", std::nullopt, 20}, Qt::black, 3);
        const QSizeF measured = TextFont::measure("Bonjour", TextFont::textFont(std::nullopt, 20));
        QCOMPARE(text.boundingBox(), QRectF(QPointF(12, 34), measured));
        QVERIFY(measured.height() >= 20 && measured.height() < 30);
        const A bigger(A::Text{{12, 34}, "Bonjour", std::nullopt, 40}, Qt::black, 3);
        QVERIFY(std::abs(bigger.boundingBox().width() - 2 * measured.width()) < 2);
    }

    void textFontRule()
    {
        QCOMPARE(TextFont::textFont(QString("DejaVu Serif"), 12).family(), QString("DejaVu Serif"));
        const QFont fallback = TextFont::textFont(QString("No Such Font 123"), 12);
        QCOMPARE(fallback.family(), QGuiApplication::font().family());
        QCOMPARE(fallback.weight(), QFont::Medium);
        QCOMPARE(TextFont::textFont(std::nullopt, 12).weight(), QFont::Medium);
    }

    void hitTesting()
    {
        // Tolerance max(w + 4, 6): 9 points from a 3-wide line misses, from a 10-wide line hits.
        A line(A::Line{{0, 0}, {100, 0}}, Qt::red, 3);
        QVERIFY(!line.hitTest({50, 9}));
        QVERIFY(line.hitTest({50, 7}));
        line.lineWidth = 10;
        QVERIFY(line.hitTest({50, 9}));
        line.lineWidth = 1;
        QVERIFY(line.hitTest({50, 6}));
        QVERIFY(!line.hitTest({50, 6.01}));
        QVERIFY(line.hitTest({-6, 0}) && !line.hitTest({-6.5, 0})); // past the end: distance to the end point

        // The inside of an unfilled rectangle counts; min edges in, max edges out.
        const A rect(A::Rect{QRectF(0, 0, 200, 100)}, Qt::red, 2);
        QVERIFY(rect.hitTest({100, 50}));
        QVERIFY(rect.hitTest({-6, -6}));
        QVERIFY(!rect.hitTest({206, 50}));
        QVERIFY(rect.hitTest({205.9, 50}));

        // Badges: the same hit area whatever the number.
        for (qint64 n : {7, 123}) {
            const A badge(A::Badge{{0, 0}, n}, Qt::red, 3);
            QVERIFY(badge.hitTest({21, 0}));
            QVERIFY(!badge.hitTest({21.1, 0}));
        }

        // A single-point freehand is never hit.
        QVERIFY(!A(A::Freehand{{{5, 5}}}, Qt::red, 3).hitTest({5, 5}));
        const A stroke(A::Freehand{{{0, 0}, {10, 0}, {10, 10}}}, Qt::red, 3);
        QVERIFY(stroke.hitTest({17, 5}));
        QVERIFY(!stroke.hitTest({17.5, 5}));

        // Text: its box grown by 4, whatever the line width.
        A text(A::Text{{0, 0}, "Mot", std::nullopt, 20}, Qt::black, 50);
        const QRectF box = text.textBoundingRect();
        QVERIFY(text.hitTest({box.width() + 3.9, 1}));
        QVERIFY(!text.hitTest({box.width() + 4.1, 1}));
        QVERIFY(!text.hitTest({-5, 1}));
    }

    void distanceToSegment()
    {
        QCOMPARE(A::distance({3, 4}, {0, 0}, {0, 0}), 5.0);
        QCOMPARE(A::distance({5, 3}, {0, 0}, {10, 0}), 3.0);
        QCOMPARE(A::distance({13, 4}, {0, 0}, {10, 0}), 5.0);
    }

    void translateKeepsEverythingElse()
    {
        for (A a : oneOfEach()) {
            const A before = a;
            const QList<QPointF> points = coordinates(a);
            a.translate(3, -2);
            QCOMPARE(a.id, before.id);
            QCOMPARE(a.color, before.color);
            QCOMPARE(a.lineWidth, before.lineWidth);
            QCOMPARE(a.kind.index(), before.kind.index());
            QList<QPointF> moved;
            for (const QPointF &p : points)
                moved << p + QPointF(3, -2);
            QVERIFY(samePoints(coordinates(a), moved));
            if (auto *k = a.as<A::Badge>())
                QCOMPARE(k->number, 7);
            if (auto *k = a.as<A::Text>())
                QCOMPARE(k->string, QString("Bonjour"));
            if (auto *k = a.as<A::Rect>())
                QCOMPARE(k->rect.size(), QSizeF(40, 20));
        }
    }

    void scaling()
    {
        const A thin = A(A::Line{{10, 20}, {30, 40}}, Qt::red, 3).scaled(0.1);
        QCOMPARE(thin.lineWidth, 0.5);
        QCOMPARE(thin.as<A::Line>()->to, QPointF(3, 4));
        const A text = A(A::Text{{10, 10}, "x", QString("Mono"), 30}, Qt::red, 3).scaled(0.1);
        QCOMPARE(text.as<A::Text>()->fontSize, 4.0);
        QCOMPARE(text.as<A::Text>()->fontName, std::optional<QString>("Mono"));
        const A doubled = A(A::Text{{10, 10}, "x", std::nullopt, 30}, Qt::red, 3).scaled(2);
        QCOMPARE(doubled.as<A::Text>()->fontSize, 60.0);
        QCOMPARE(doubled.lineWidth, 6.0);
        // Rectangles are rebuilt from their normalised form.
        QCOMPARE(A(A::Rect{QRectF(10, 10, -4, -6)}, Qt::red, 3).scaled(2).as<A::Rect>()->rect,
                 QRectF(12, 8, 8, 12));
        const A badge = A(A::Badge{{10, 10}, 3}, Qt::red, 3).scaled(3);
        QCOMPARE(badge.as<A::Badge>()->center, QPointF(30, 30));
        QCOMPARE(badge.boundingBox().size(), QSizeF(28, 28));
        QCOMPARE(badge.id, A(badge).id);
    }

    void quarterTurns()
    {
        const QSizeF size(200, 100);
        // Clockwise: the top-left corner (0, H) goes to the new top-right (H, W).
        QCOMPARE(A::rotatedPoint({0, 100}, true, size), QPointF(100, 200));
        QCOMPARE(A::rotatedPoint({0, 100}, false, size), QPointF(0, 0));
        const A rect = A(A::Rect{QRectF(10, 20, 30, 40)}, Qt::red, 3).rotated90(true, size);
        QCOMPARE(rect.as<A::Rect>()->rect, QRectF(20, 160, 40, 30));
        for (const A &a : oneOfEach()) {
            const A there = a.rotated90(true, size).rotated90(false, size.transposed());
            QVERIFY(samePoints(coordinates(there), coordinates(a)));
            A around = a;
            QSizeF current = size;
            for (int i = 0; i < 4; ++i) {
                around = around.rotated90(true, current);
                current.transpose();
            }
            QVERIFY(samePoints(coordinates(around), coordinates(a)));
            QCOMPARE(around.id, a.id);
            QCOMPARE(around.lineWidth, a.lineWidth);
        }
        // Text stays horizontal: its box keeps its size at the mapped origin.
        const A text(A::Text{{12, 34}, "Bonjour", std::nullopt, 20}, Qt::black, 3);
        const A turned = text.rotated90(true, size);
        QCOMPARE(turned.boundingBox().size(), text.boundingBox().size());
        QCOMPARE(turned.boundingBox().topLeft(), QPointF(34, 188));
    }

    void handleOrder()
    {
        QCOMPARE(A(A::Arrow{{1, 2}, {3, 4}}, Qt::red, 3).handles(), QList<QPointF>({{1, 2}, {3, 4}}));
        QCOMPARE(A(A::Highlight{QRectF(10, 20, 30, 40)}, Qt::red, 3).handles(),
                 QList<QPointF>({{10, 20}, {40, 20}, {40, 60}, {10, 60}}));
        QVERIFY(A(A::Badge{{1, 2}, 1}, Qt::red, 3).handles().isEmpty());
        QVERIFY(A(A::Text{{1, 2}, "t", std::nullopt, 9}, Qt::red, 3).handles().isEmpty());
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestAnnotation test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_annotation.moc"
