// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotation/ImageTransformer.h"
#include "common/ImageLimits.h"
#include "support/Pixels.h"

#include <QColorSpace>
#include <QGuiApplication>
#include <QTest>

using A = Annotation;

class TestImageTransformer : public QObject {
    Q_OBJECT

    static QImage numbered(int width, int height)
    {
        QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, qRgb(x % 256, y % 256, (x * 7 + y * 3) % 256));
        return image;
    }

private slots:
    void resizeSizes()
    {
        const QImage image = Pixels::filled(1280, 720, Qt::white);
        QCOMPARE(ImageTransformer::resize(image, 0.5)->size(), QSize(640, 360));
        QCOMPARE(ImageTransformer::resize(image, 1001.0 / 1280)->size(), QSize(1001, 563));
        QCOMPARE(ImageTransformer::resize(image, 0.0001)->size(), QSize(1, 1));
        QVERIFY(!ImageTransformer::resize(image, 0));
        QVERIFY(!ImageTransformer::resize(image, -1));
        QVERIFY(!ImageTransformer::resize(QImage(), 2));
    }

    // A factor asking for 100 000 × 100 000 pixels is refused instead of exhausting memory.
    void pixelLimit()
    {
        const QImage image = Pixels::filled(100, 100, Qt::white);
        QVERIFY(!ImageTransformer::resize(image, 1000));
        QVERIFY(!ImageTransformer::resize(image, 1e300));
        QVERIFY(ImageLimits::allows(16384, 16384));
        QVERIFY(!ImageLimits::allows(16385, 16384));
        QVERIFY(!ImageLimits::allows(100000, 100000));
        QVERIFY(!ImageLimits::allows(1, ImageLimits::maxPixels + 1));
    }

    void quarterTurns()
    {
        const QImage image = numbered(300, 100);
        const QImage clockwise = *ImageTransformer::rotated90(image, true);
        QCOMPARE(clockwise.size(), QSize(100, 300));
        QCOMPARE(clockwise.pixel(99, 0), image.pixel(0, 0)); // top-left ends at the top-right
        QCOMPARE(clockwise.pixel(0, 0), image.pixel(0, 99)); // bottom-left ends at the top-left
        const QImage counter = *ImageTransformer::rotated90(image, false);
        QCOMPARE(counter.pixel(0, 299), image.pixel(0, 0)); // top-left ends at the bottom-left

        QImage around = image;
        for (int i = 0; i < 4; ++i)
            around = *ImageTransformer::rotated90(around, true);
        QCOMPARE(around, image);
        QCOMPARE(*ImageTransformer::rotated90(*ImageTransformer::rotated90(image, true), false), image);
    }

    // The annotation mapping is the bitmap mapping in points: a mark over a pixel stays over it.
    // Turning and resizing keep what the pixels mean: the colour space goes along.
    void keepTheColourSpace()
    {
        QImage image = Pixels::filled(30, 20, QColor(10, 200, 30));
        image.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        QCOMPARE(ImageTransformer::rotated90(image, true)->colorSpace(), QColorSpace(QColorSpace::DisplayP3));
        QCOMPARE(ImageTransformer::rotated90(image, false)->colorSpace(),
                 QColorSpace(QColorSpace::DisplayP3));
        QCOMPARE(ImageTransformer::resize(image, 2)->colorSpace(), QColorSpace(QColorSpace::DisplayP3));
    }

    void annotationsFollowTheTurn()
    {
        const double scale = 2;
        QImage image = Pixels::filled(300, 100, Qt::white); // 150 × 50 points
        image.setPixelColor(20, 10, Qt::red);               // pixel → point (10.25, 44.75)
        const QList<A> marks{A(A::Badge{{10.25, 44.75}, 1}, Qt::red, 3),
                             A(A::Text{{3, 4}, "t", std::nullopt, 12}, Qt::black, 3)};
        for (bool clockwise : {true, false}) {
            const auto turned = ImageTransformer::rotated90(image, marks, scale, clockwise);
            QVERIFY(turned);
            const QPointF center = turned->annotations[0].as<A::Badge>()->center;
            const double height = turned->image.height() / scale;
            QCOMPARE(Pixels::at(turned->image, center, height, scale), QColor(Qt::red));
            QCOMPARE(turned->annotations[0].id, marks[0].id);
        }
        auto state = std::optional<ImageTransformer::Transformed>({image, marks});
        for (int i = 0; i < 4; ++i)
            state = ImageTransformer::rotated90(state->image, state->annotations, scale, true);
        QCOMPARE(state->image, image);
        QCOMPARE(state->annotations[1].as<A::Text>()->origin, QPointF(3, 4));
        QCOMPARE(state->annotations[0].as<A::Badge>()->center, QPointF(10.25, 44.75));
    }

    void cropRule()
    {
        // Scale 2, r = (10.2, 5, 50, 40) on an image 100 points high: pixels (20, 110, 101, 80).
        QCOMPARE(ImageTransformer::cropPixelRect(QRectF(10.2, 5, 50, 40), 100, 2), QRectF(20, 110, 101, 80));
        const QImage image = numbered(300, 200);
        const QList<A> marks{A(A::Line{{12, 8}, {40, 30}}, Qt::red, 3),
                             A(A::Badge{{500, 500}, 2}, Qt::red, 3)};
        const auto cut = ImageTransformer::crop(image, marks, QRectF(10.2, 5, 50, 40), 2);
        QVERIFY(cut);
        QCOMPARE(cut->image.size(), QSize(101, 80));
        QCOMPARE(cut->image.pixel(0, 0), image.pixel(20, 110));
        QVERIFY(std::abs(cut->annotations[0].as<A::Line>()->from.x() - 1.8) < 1e-9);
        QCOMPARE(cut->annotations[0].as<A::Line>()->from.y(), 3.0);
        QCOMPARE(cut->annotations.size(), 2); // marks outside the new image stay in the list

        // Partly outside: only the part inside; wholly outside: nothing.
        QCOMPARE(ImageTransformer::crop(image, QRectF(-10, -10, 30, 30), 2)->size(), QSize(40, 40));
        QVERIFY(!ImageTransformer::crop(image, QRectF(200, 0, 30, 30), 2));
        QVERIFY(!ImageTransformer::crop(image, QRectF(0, 0, 0, 0), 2));
    }

    void resizeCarriesAnnotations()
    {
        const QList<A> marks{A(A::Text{{10, 10}, "x", std::nullopt, 30}, Qt::red, 3)};
        const auto half = ImageTransformer::resize(Pixels::filled(100, 100, Qt::white), marks, 0.1);
        QCOMPARE(half->image.size(), QSize(10, 10));
        QCOMPARE(half->annotations[0].as<A::Text>()->fontSize, 4.0);
        QCOMPARE(half->annotations[0].lineWidth, 0.5);
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestImageTransformer test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_imagetransformer.moc"
