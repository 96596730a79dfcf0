// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotation/ImageComposer.h"
#include "support/Pixels.h"

#include <QColorSpace>
#include <QGuiApplication>
#include <QPainter>
#include <QTest>

using A = Annotation;

class TestImageComposer : public QObject {
    Q_OBJECT

    static Decoration decoration(double padding, Decoration::Background background, double radius,
                                 bool shadow)
    {
        Decoration d;
        d.padding = padding;
        d.background = background;
        d.cornerRadius = radius;
        d.hasShadow = shadow;
        return d;
    }

private slots:
    void outputSizes()
    {
        const QImage base = Pixels::filled(200, 100, Qt::white);
        const Decoration padded = decoration(10, Decoration::None{}, 0, false);
        QCOMPARE(ImageComposer::compose(base, {}, 2, padded)->size(), QSize(240, 140));
        QCOMPARE(ImageComposer::compose(base, {}, 1, padded)->size(), QSize(220, 120));
        const QImage out = *ImageComposer::compose(base, {}, 2, padded);
        QCOMPARE(out.format(), QImage::Format_ARGB32_Premultiplied);
        QCOMPARE(out.pixelColor(5, 5).alpha(), 0);            // transparent margin
        QCOMPARE(out.pixelColor(120, 70), QColor(Qt::white)); // the image itself
        QCOMPARE(int(std::lround(out.dotsPerMeterX() * 0.0254)), 144);
        // Fractional sizes round half away from zero: 101 px at scale 2 is 50.5 points, padding 0.25.
        QCOMPARE(ImageComposer::compose(Pixels::filled(101, 3, Qt::white), {}, 2,
                                        decoration(0.25, Decoration::None{}, 0, false))
                     ->size(),
                 QSize(102, 4));
    }

    void impossibleSizesGiveNothing()
    {
        const QImage base = Pixels::filled(10, 10, Qt::white);
        QVERIFY(!ImageComposer::compose(QImage(), {}, 1, Decoration{}));
        QVERIFY(!ImageComposer::compose(base, {}, 0, Decoration{}));
        QVERIFY(!ImageComposer::compose(base, {}, 1, decoration(1e9, Decoration::None{}, 0, false)));
        QVERIFY(!ImageComposer::compose(base, {}, 1, decoration(-20, Decoration::None{}, 0, false)));
        QVERIFY(!ImageComposer::compose(base, {}, 1, decoration(qQNaN(), Decoration::None{}, 0, false)));
    }

    void cornerRadiusIsClamped()
    {
        QCOMPARE(ImageComposer::clampedCornerRadius(500, QSizeF(100, 60)), 30.0);
        QCOMPARE(ImageComposer::clampedCornerRadius(8, QSizeF(100, 60)), 8.0);
        const QImage base = Pixels::filled(100, 60, Qt::blue);
        const QImage stadium =
            *ImageComposer::compose(base, {}, 1, decoration(0, Decoration::None{}, 500, false));
        QCOMPARE(stadium.pixelColor(2, 2).alpha(), 0);    // cut corner
        QCOMPARE(stadium.pixelColor(30, 1).alpha(), 255); // the straight top edge starts at x = 30
        QCOMPARE(stadium.pixelColor(1, 30).alpha(), 255); // the left end is a half circle of radius 30
        QCOMPARE(stadium.pixelColor(1, 10).alpha(), 0);
        const QImage square =
            *ImageComposer::compose(base, {}, 1, decoration(0, Decoration::None{}, 0, false));
        QCOMPARE(square.pixelColor(0, 0).alpha(), 255);
    }

    void shadowFallsBelowTheImage()
    {
        const QImage base = Pixels::filled(100, 60, Qt::white);
        const QImage out = *ImageComposer::compose(base, {}, 1, decoration(40, Decoration::None{}, 0, true));
        QCOMPARE(out.size(), QSize(180, 140));
        // The image covers pixels (40, 40)–(140, 100); the shadow is 6 points lower than it.
        const int below = out.pixelColor(90, 100 + 4).alpha();
        const int above = out.pixelColor(90, 40 - 4).alpha();
        QVERIFY2(below > 40 && below < 0.45 * 255 + 2, qPrintable(QString::number(below)));
        QVERIFY2(above < below - 20, qPrintable(QString("%1 %2").arg(above).arg(below)));
        QCOMPARE(out.pixelColor(90, 70), QColor(Qt::white)); // covered by the image
        QCOMPARE(out.pixelColor(1, 1).alpha(), 0);           // the far margin stays transparent
        QCOMPARE(out.pixelColor(90, 104).red(), 0);          // black
        // Without padding the shadow falls outside the picture.
        const QImage tight = *ImageComposer::compose(base, {}, 1, decoration(0, Decoration::None{}, 0, true));
        QCOMPARE(tight, *ImageComposer::compose(base, {}, 1, Decoration{}));

        // Transparent pixels of the image show the opaque black filler.
        QImage holey = base;
        holey.setPixelColor(50, 30, Qt::transparent);
        const QImage filled =
            *ImageComposer::compose(holey, {}, 1, decoration(0, Decoration::None{}, 0, true));
        QCOMPARE(filled.pixelColor(50, 30), QColor(Qt::black));
    }

    void shadowBlurIsResolutionIndependent()
    {
        // The same picture at scale 1 and 2: the shadow profile below the image matches point for point.
        const QImage one = *ImageComposer::compose(Pixels::filled(100, 60, Qt::white), {}, 1,
                                                   decoration(40, Decoration::None{}, 0, true));
        const QImage two = *ImageComposer::compose(Pixels::filled(200, 120, Qt::white), {}, 2,
                                                   decoration(40, Decoration::None{}, 0, true));
        for (int below : {2, 8, 16, 26}) {
            const int a = one.pixelColor(90, 100 + below).alpha(),
                      b = two.pixelColor(180, 200 + 2 * below).alpha();
            QVERIFY2(std::abs(a - b) <= 8,
                     qPrintable(QString("%1 points below: %2 vs %3").arg(below).arg(a).arg(b)));
        }
    }

    void backgrounds()
    {
        const QImage base = Pixels::filled(100, 60, Qt::white);
        const QImage solid = *ImageComposer::compose(
            base, {}, 1, decoration(20, Decoration::Solid{QColor(10, 200, 30)}, 0, false));
        QCOMPARE(solid.pixelColor(3, 90), QColor(10, 200, 30));
        const QImage gradient = *ImageComposer::compose(
            base, {}, 1,
            decoration(20, Decoration::Gradient{QColor(255, 0, 0), QColor(0, 0, 255)}, 0, false));
        QVERIFY(Pixels::near(gradient.pixelColor(0, 0), QColor(255, 0, 0), 8));
        QVERIFY(Pixels::near(gradient.pixelColor(139, 99), QColor(0, 0, 255), 8));
        QVERIFY(gradient.pixelColor(139, 0).red() > 80 &&
                gradient.pixelColor(139, 0).blue() > 80); // mid-diagonal
    }

    void annotationsPaintOverTheMargin()
    {
        const QImage base = Pixels::filled(100, 60, Qt::white);
        const QList<A> arrow{A(A::Line{{50, 30}, {-15, 30}}, QColor(0, 150, 0), 4)};
        const QImage out =
            *ImageComposer::compose(base, arrow, 1, decoration(20, Decoration::Solid{Qt::gray}, 10, false));
        QCOMPARE(out.pixelColor(10, 50), QColor(0, 150, 0)); // in the left margin
        QCOMPARE(out.pixelColor(60, 50), QColor(0, 150, 0)); // over the image
    }

    // Where marks land on a padded picture at scale 2, against coordinates worked out here: a mark at
    // image point (x, y), y up, in an image H points high with padding p, is at pixel
    // (2 (x + p), 2 (H + p - y)) of the picture.
    void marksLandWhereTheyShouldAtScale2()
    {
        const QImage base = Pixels::filled(200, 120, Qt::white); // 100 × 60 points
        const double p = 15, H = 60;
        const QList<A> marks{A(A::Rect{QRectF(10, 20, 30, 10)}, QColor(0, 0, 200), 2),
                             A(A::Badge{{80, 45}, 1}, QColor(200, 0, 0), 3)};
        const QImage out =
            *ImageComposer::compose(base, marks, 2, decoration(p, Decoration::Solid{Qt::black}, 0, false));
        QCOMPARE(out.size(), QSize(2 * (100 + 2 * 15), 2 * (60 + 2 * 15)));
        const auto pixel = [&](double x, double y) {
            return out.pixelColor(int(2 * (x + p)), int(2 * (H + p - y)));
        };
        // The rectangle's left edge at x = 10 from y = 20 to 30, its top edge at y = 30.
        QCOMPARE(pixel(10, 25), QColor(0, 0, 200));
        QCOMPARE(pixel(25, 30), QColor(0, 0, 200));
        QCOMPARE(pixel(25, 25), QColor(Qt::white)); // inside, unfilled
        QCOMPARE(pixel(10, 35), QColor(Qt::white)); // above its top-left corner
        // The badge is centred on its point, 14 points in radius.
        QCOMPARE(pixel(80 - 10, 45), QColor(200, 0, 0));
        QCOMPARE(pixel(80, 45 + 10), QColor(200, 0, 0));
        QCOMPARE(pixel(80 - 16, 45), QColor(Qt::white));
        // The margin keeps its colour.
        QCOMPARE(pixel(-5, 30), QColor(Qt::black));
    }

    // The composition is in the screenshot's colour space, whatever the decoration.
    void keepsTheColourSpace()
    {
        QImage base = Pixels::filled(40, 30, QColor(200, 30, 30));
        base.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        const QImage out =
            *ImageComposer::compose(base, {}, 2, decoration(5, Decoration::Solid{Qt::white}, 4, true));
        QCOMPARE(out.colorSpace(), QColorSpace(QColorSpace::DisplayP3));
        QVERIFY(!ImageComposer::compose(Pixels::filled(4, 4, Qt::red), {}, 1, Decoration{})
                     ->colorSpace()
                     .isValid());
    }

    void decorationEquality()
    {
        const Decoration a = decoration(10, Decoration::Gradient{QColor(1, 2, 3), QColor(4, 5, 6)}, 8, true);
        const Decoration b = decoration(10, Decoration::Gradient{QColor(1, 2, 3), QColor(4, 5, 6)}, 8, true);
        QVERIFY(a == b);
        QVERIFY(!(a == decoration(10, Decoration::Gradient{QColor(1, 2, 3), QColor(4, 5, 7)}, 8, true)));
        QVERIFY(!(a == decoration(10, Decoration::Solid{QColor(1, 2, 3)}, 8, true)));
        QVERIFY(Decoration{} == decoration(0, Decoration::None{}, 0, false));
    }

    // The canvas paints the same composition through a painter in picture points at its own density.
    void paintMatchesCompose()
    {
        QImage base(80, 60, QImage::Format_ARGB32_Premultiplied);
        base.fill(QColor(30, 60, 90));
        const QList<A> marks{A(A::Arrow{{5, 5}, {70, 50}}, Qt::yellow, 3),
                             A(A::Badge{{20, 40}, 3}, Qt::red, 3)};
        const Decoration d = decoration(12, Decoration::Gradient{Qt::white, Qt::black}, 6, true);
        const QImage exported = *ImageComposer::compose(base, marks, 2, d);
        QImage screen(exported.size(), QImage::Format_ARGB32_Premultiplied);
        screen.fill(Qt::transparent);
        screen.setDevicePixelRatio(2);
        QPainter painter(&screen);
        ImageComposer::paint(painter, ImageComposer::Scene{base, &marks, 2, d});
        painter.end();
        int differing = 0;
        for (int y = 0; y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x)
                differing += !Pixels::near(screen.pixelColor(x, y), exported.pixelColor(x, y), 4);
        QVERIFY2(differing < screen.width() * screen.height() / 200, qPrintable(QString::number(differing)));
    }

    void blurIsLinearAndPreservesMass()
    {
        QImage mask(64, 64, QImage::Format_Alpha8);
        mask.fill(0);
        for (int y = 24; y < 40; ++y)
            memset(mask.scanLine(y) + 24, 255, 16);
        ImageComposer::blurAlpha(mask, 3);
        qint64 sum = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                sum += mask.constScanLine(y)[x];
        QVERIFY(std::abs(sum - 16 * 16 * 255) < 16 * 16 * 255 / 50);
        QVERIFY(mask.constScanLine(32)[32] > mask.constScanLine(32)[44]);
        QVERIFY(mask.constScanLine(32)[44] > 0);
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestImageComposer test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_imagecomposer.moc"
