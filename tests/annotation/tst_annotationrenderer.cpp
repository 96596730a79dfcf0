// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotation/AnnotationRenderer.h"
#include "annotation/ImageComposer.h"
#include "support/Pixels.h"

#include <QGuiApplication>
#include <QPainter>
#include <QTest>

using A = Annotation;
using Pixels::at;

class TestAnnotationRenderer : public QObject {
    Q_OBJECT

    // Paints annotations over a base image exactly as the export does (no decoration).
    static QImage render(const QImage &base, const QList<A> &annotations, double scale = 1)
    {
        return *ImageComposer::compose(base, annotations, scale, Decoration{});
    }

private slots:
    void arrowHead()
    {
        QCOMPARE(AnnotationRenderer::arrowHeadLength(2), 12.0);
        QCOMPARE(AnnotationRenderer::arrowHeadLength(6), 21.0);
        const QImage white = Pixels::filled(140, 100, Qt::white);

        // Width 2: a 12-point head, 9.6 points wide at its base, tip at x = 100.
        QImage out = render(white, {A(A::Arrow{{20, 50}, {100, 50}}, Qt::black, 2)});
        QVERIFY(Pixels::dark(at(out, {90, 53.5}, 100)));  // inside the head near its base
        QVERIFY(!Pixels::dark(at(out, {90, 55.5}, 100))); // beyond the head's half-width
        QVERIFY(!Pixels::dark(at(out, {70, 53.5}, 100))); // the shaft is only 2 wide
        QVERIFY(Pixels::dark(at(out, {70, 50}, 100)));
        QVERIFY(!Pixels::dark(at(out, {101.5, 50}, 100))); // nothing past the tip

        // Width 6: 21 long, 16.8 wide: at 1 point from the base the head still spans about ±8 points.
        out = render(white, {A(A::Arrow{{10, 50}, {100, 50}}, Qt::black, 6)});
        QVERIFY(Pixels::dark(at(out, {80, 57.2}, 100)));
        QVERIFY(!Pixels::dark(at(out, {80, 59.5}, 100)));
        QVERIFY(!Pixels::dark(at(out, {77, 57.2}, 100))); // before the base: shaft only (±3)
    }

    void roundCapsAndJoins()
    {
        const QImage white = Pixels::filled(120, 100, Qt::white);
        const QImage out = render(white, {A(A::Line{{20, 50}, {80, 50}}, Qt::black, 10)});
        QVERIFY(Pixels::dark(at(out, {83.5, 50}, 100))); // the cap reaches 5 beyond the end
        QVERIFY(!Pixels::dark(at(out, {86, 50}, 100)));
        QVERIFY(!Pixels::dark(at(out, {84.5, 54.5}, 100))); // round, not square

        const QImage stroke = render(white, {A(A::Freehand{{{20, 20}, {60, 20}, {60, 80}}}, Qt::black, 10)});
        QVERIFY(!Pixels::dark(at(stroke, {64.5, 15.5}, 100))); // round join at the corner
        QVERIFY(Pixels::dark(at(stroke, {62.5, 17.5}, 100)));
        QVERIFY(Pixels::dark(at(stroke, {16, 20}, 100))); // round cap at the start
    }

    void freehandWithOnePointIsInvisible()
    {
        const QImage white = Pixels::filled(40, 40, Qt::white);
        QCOMPARE(render(white, {A(A::Freehand{{{20, 20}}}, Qt::black, 10)}), render(white, {}));
    }

    void highlightCoverage()
    {
        const QColor opaqueRed(255, 0, 0), halfRed(255, 0, 0, 128);
        for (const QColor &color : {opaqueRed, halfRed}) {
            const QImage overWhite =
                render(Pixels::filled(40, 40, Qt::white), {A(A::Highlight{QRectF(5, 5, 20, 20)}, color, 3)});
            QVERIFY2(Pixels::near(at(overWhite, {15, 15}, 40), QColor(255, 166, 166), 3),
                     qPrintable(at(overWhite, {15, 15}, 40).name()));
            const QImage overBlack =
                render(Pixels::filled(40, 40, Qt::black), {A(A::Highlight{QRectF(5, 5, 20, 20)}, color, 3)});
            QVERIFY(Pixels::near(at(overBlack, {15, 15}, 40), QColor(89, 0, 0), 3));
            QVERIFY(Pixels::near(at(overBlack, {30, 30}, 40), Qt::black, 0));
        }
    }

    void pixelateGrid()
    {
        QCOMPARE(AnnotationRenderer::pixelateGrid(QRectF(0, 0, 20, 4)), QSize(3, 1));
        QCOMPARE(AnnotationRenderer::pixelateGrid(QRectF(0, 0, 40, 40)), QSize(5, 5));
        QCOMPARE(AnnotationRenderer::pixelateGrid(QRectF(0, 0, 3, 3)), QSize(1, 1));
        // 17 points are 2.125 eighths: 2 columns (neither whole nor a half).
        QCOMPARE(AnnotationRenderer::pixelateGrid(QRectF(0, 0, 17, 8)), QSize(2, 1));
        // 20 points are 2.5 eighths: the half rounds away from zero.
        QCOMPARE(AnnotationRenderer::pixelateGrid(QRectF(0, 0, 8, 20)), QSize(1, 3));
    }

    // Blocks are the means of the base image under them, upright, and sampled at the pixel density.
    void pixelateBlocks()
    {
        // Base: 100 × 100 points at scale 2. Every 16 × 16-pixel cell of the sampled area has a distinct
        // mean; inside a cell a checkerboard of two values.
        QImage base(200, 200, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 200; ++x) {
                const int cell = (x / 16) * 13 + (y / 16) * 7;
                const int level = (cell * 3) % 200 + ((x + y) % 2 ? 20 : 0);
                base.setPixelColor(x, y, QColor(level, 255 - level, (y < 100) ? 255 : 0));
            }
        // (10, 10, 40, 40) points over an image 100 points high samples pixels (20, 100, 80, 80).
        const QImage out = render(base, {A(A::Pixelate{QRectF(10, 10, 40, 40)}, Qt::red, 3)}, 2);
        for (int row = 0; row < 5; ++row)
            for (int column = 0; column < 5; ++column) {
                const QRect cell(20 + column * 16, 100 + row * 16, 16, 16);
                double red = 0;
                for (int y = cell.top(); y <= cell.bottom(); ++y)
                    for (int x = cell.left(); x <= cell.right(); ++x)
                        red += base.pixelColor(x, y).red();
                red /= 256;
                const QColor first = out.pixelColor(cell.topLeft());
                QVERIFY2(std::abs(first.red() - red) <= 3,
                         qPrintable(
                             QString("cell %1,%2: %3 vs %4").arg(column).arg(row).arg(first.red()).arg(red)));
                QCOMPARE(out.pixelColor(cell.bottomRight()), first); // flat block
            }
        QCOMPARE(out.pixelColor(19, 120), base.pixelColor(19, 120)); // nothing outside the rectangle
        QCOMPARE(out.pixelColor(50, 99), base.pixelColor(50, 99));

        // Upright: the top half of the picture is blue, the bottom half not; blocks keep that.
        const QImage whole = render(base, {A(A::Pixelate{QRectF(0, 0, 100, 100)}, Qt::red, 3)}, 2);
        QCOMPARE(whole.pixelColor(100, 10).blue(), 255);
        QCOMPARE(whole.pixelColor(100, 190).blue(), 0);

        // Wholly outside the image, or thinner than a pixel: nothing is painted.
        QCOMPARE(render(base, {A(A::Pixelate{QRectF(150, 150, 40, 40)}, Qt::red, 3)}, 2),
                 render(base, {}, 2));
        QCOMPARE(render(base, {A(A::Pixelate{QRectF(10, 10, 40, 0.2)}, Qt::red, 3)}, 1), render(base, {}, 1));
    }

    // Pixelation samples the base image, never annotations painted below it.
    void pixelateIgnoresAnnotationsBelow()
    {
        const QImage white = Pixels::filled(64, 64, Qt::white);
        const QImage out = render(white, {A(A::Highlight{QRectF(0, 0, 64, 64)}, Qt::black, 3),
                                          A(A::Pixelate{QRectF(0, 0, 32, 32)}, Qt::red, 3)});
        QCOMPARE(at(out, {10, 10}, 64), QColor(Qt::white));
        QVERIFY(at(out, {50, 50}, 64).red() < 200);
    }

    void badge()
    {
        QCOMPARE(AnnotationRenderer::badgeLabelSize(99), 14.0);
        QCOMPARE(AnnotationRenderer::badgeLabelSize(100), 11.0);
        const QImage black = Pixels::filled(100, 100, Qt::black);
        int heights[2] = {};
        for (int i = 0; i < 2; ++i) {
            const QImage out =
                render(black, {A(A::Badge{{50, 50}, i == 0 ? 99 : 100}, QColor(200, 0, 0), 3)});
            QCOMPARE(at(out, {50 + 12, 50}, 100), QColor(200, 0, 0));
            QCOMPARE(at(out, {50 + 15, 50}, 100), QColor(Qt::black));
            const QRect label = Pixels::boundsOf(out, [](const QColor &c) { return c.green() > 150; });
            // White and centred on the badge.
            QVERIFY(std::abs(label.center().x() - 50) <= 2 && std::abs(label.center().y() - 50) <= 3);
            heights[i] = label.height();
        }
        const int big = heights[0], small = heights[1];
        QVERIFY2(big > small, qPrintable(QString("%1 vs %2").arg(big).arg(small)));
        QVERIFY(big >= 9 && big <= 12);
    }

    // Text is upright, at its origin, inside its measured box.
    void textUpright()
    {
        const QImage white = Pixels::filled(200, 100, Qt::white);
        const A text(A::Text{{20, 30}, "L", std::nullopt, 40}, Qt::black, 3);
        const QImage out = render(white, {text});
        const QRect ink = Pixels::boundsOf(out, [](const QColor &c) { return c.lightness() < 128; });
        QVERIFY(!ink.isEmpty());
        // The foot of the L (its wide row) is at the bottom of the ink.
        auto rowWidth = [&](int y) {
            int n = 0;
            for (int x = ink.left(); x <= ink.right(); ++x)
                n += out.pixelColor(x, y).lightness() < 128;
            return n;
        };
        QVERIFY(rowWidth(ink.bottom() - 1) > 2 * rowWidth(ink.top() + 1));
        // Inside the measured box (y up → pixel rows), near its left edge and above the baseline.
        const QRectF box = text.textBoundingRect();
        const QRectF boxPixels(box.x(), 100 - box.y() - box.height(), box.width(), box.height());
        QVERIFY(boxPixels.adjusted(-1, -1, 1, 1).contains(QRectF(ink)));
        QVERIFY(ink.left() - box.x() < 8);
        QVERIFY(ink.bottom() < 100 - 30 && ink.bottom() > 100 - 30 - 15);
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestAnnotationRenderer test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_annotationrenderer.moc"
