// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagetools/TextRegions.h"

#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

using TextRegions::Region;

class TestTextRegions : public QObject {
    Q_OBJECT

    // A grainy wallpaper: no two neighbouring pixels alike.
    static QImage wallpaper(QSize size)
    {
        QImage image(size, QImage::Format_RGB32);
        QRandomGenerator random(42);
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                image.setPixel(
                    x, y, qRgb(40 + random.bounded(120), 60 + random.bounded(120), 90 + random.bounded(120)));
        return image;
    }
    static void drawText(QPainter &p, QPoint at, int pixelSize, QColor ink, const QString &text)
    {
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(pixelSize);
        p.setFont(font);
        p.setPen(ink);
        p.drawText(at, text);
    }
    // The region whose rectangle is that one, if any.
    static const Region *regionAt(const QList<Region> &regions, const QRect &rect)
    {
        for (const Region &r : regions) {
            if (r.rect == rect)
                return &r;
        }
        return nullptr;
    }
    // How many regions read the pixel: in its rectangle and in none of its holes.
    static int readers(const QList<Region> &regions, QPoint pixel)
    {
        int count = 0;
        for (const Region &r : regions) {
            if (r.rect.contains(pixel) && std::none_of(r.holes.cbegin(), r.holes.cend(),
                                                       [&](const QRect &h) { return h.contains(pixel); }))
                ++count;
        }
        return count;
    }

private slots:
    // Two windows on a wallpaper, one holding a text field: each is a region, the field a hole of its window,
    // the wallpaper the rest; every pixel is read once; reading order left, then right.
    void windowsOnAWallpaper()
    {
        QImage desktop = wallpaper(QSize(1000, 600));
        QPainter p(&desktop);
        const QRect dark(40, 60, 420, 400), light(520, 60, 440, 400), field(560, 300, 300, 40);
        p.fillRect(dark, QColor(30, 30, 30));
        p.fillRect(light, QColor(250, 250, 250));
        p.fillRect(field, QColor(220, 230, 255));
        for (int i = 0; i < 8; ++i) {
            drawText(p, dark.topLeft() + QPoint(12, 30 + 40 * i), 13, QColor(220, 220, 220),
                     "int main() { return 0; }");
            if (i < 5)
                drawText(p, light.topLeft() + QPoint(12, 30 + 40 * i), 15, Qt::black,
                         "Bonjour tout le monde");
        }
        drawText(p, field.topLeft() + QPoint(8, 26), 13, Qt::black, "Rechercher");
        p.end();

        const QList<Region> regions = TextRegions::find(desktop);
        const Region *left = regionAt(regions, dark), *right = regionAt(regions, light),
                     *inner = regionAt(regions, field), *rest = regionAt(regions, desktop.rect());
        QVERIFY(left && right && inner && rest);
        QCOMPARE(regions.size(), 4);
        QCOMPARE(left->background, QColor(30, 30, 30));
        QCOMPARE(right->holes, QList<QRect>{field});
        QVERIFY(left->holes.isEmpty());
        QCOMPARE(rest->holes.size(), 3);
        for (const QPoint pixel : {QPoint(5, 5), QPoint(100, 100), QPoint(600, 320), QPoint(900, 200),
                                   QPoint(990, 590), QPoint(40, 60), QPoint(459, 459)})
            QCOMPARE(readers(regions, pixel), 1);
        // Left window, right window, the field inside it, then the rest.
        QCOMPARE(regions[0].rect, dark);
        QCOMPARE(regions[1].rect, light);
        QCOMPARE(regions[2].rect, field);
        QCOMPARE(regions[3].rect, desktop.rect());
        QVERIFY(regions[3].rest && !regions[0].rest && !regions[1].rest && !regions[2].rest);
    }

    // A smooth gradient has flat bands; they cross their boxes and are no panes, so none eats into a
    // window beside it.
    void gradientBandsAreNoPanes()
    {
        QImage desktop(1600, 720, QImage::Format_RGB32);
        QPainter p(&desktop);
        QLinearGradient gradient(0, 0, 1600, 720);
        gradient.setColorAt(0, QColor(38, 70, 120));
        gradient.setColorAt(1, QColor(160, 90, 140));
        p.fillRect(desktop.rect(), gradient);
        const QRect window(30, 420, 1170, 250);
        p.fillRect(window, QColor(250, 250, 250));
        drawText(p, window.topLeft() + QPoint(16, 40), 11, QColor(100, 100, 100),
                 "error: connection refused");
        p.end();
        const QList<Region> regions = TextRegions::find(desktop);
        QCOMPARE(regions.size(), 2);
        QCOMPARE(regions[0].rect, window);
        QVERIFY(regions[0].holes.isEmpty());
        QVERIFY(regions[1].rest);
    }

    // A window of many buttons: its largest panes only, each button read with the window.
    void manyPanesKeepTheLargest()
    {
        QImage window(1200, 800, QImage::Format_RGB32);
        window.fill(QColor(240, 240, 240));
        QPainter p(&window);
        for (int i = 0; i < 100; ++i)
            p.fillRect(QRect(20 + (i % 10) * 115, 20 + (i / 10) * 76, 100 + i % 10, 60),
                       QColor(200, 210, 255));
        p.end();
        const QList<Region> regions = TextRegions::find(window);
        QCOMPARE(regions.size(), 48);
        QVERIFY(std::any_of(regions.cbegin(), regions.cend(),
                            [&](const Region &r) { return r.rect == window.rect(); }));
        // The widest buttons stay (the last column), the narrowest are read with the window.
        QVERIFY(std::any_of(regions.cbegin(), regions.cend(),
                            [](const Region &r) { return r.rect.width() == 109; }));
        QVERIFY(std::none_of(regions.cbegin(), regions.cend(),
                             [](const Region &r) { return r.rect.width() == 100; }));
    }

    void oneWindowIsOneRegion()
    {
        QImage window(600, 300, QImage::Format_RGB32);
        window.fill(QColor(255, 255, 255));
        QPainter p(&window);
        for (int i = 0; i < 5; ++i)
            drawText(p, QPoint(20, 40 + 40 * i), 15, Qt::black, "Une ligne de texte ordinaire");
        p.end();
        const QList<Region> regions = TextRegions::find(window);
        QCOMPARE(regions.size(), 1);
        QCOMPARE(regions.first().rect, window.rect());
        QVERIFY(regions.first().holes.isEmpty());
        // A picture with no uniform background at all is read whole.
        const QList<Region> grain = TextRegions::find(wallpaper(QSize(300, 200)));
        QCOMPARE(grain.size(), 1);
        QCOMPARE(grain.first().rect, QRect(0, 0, 300, 200));
        QVERIFY(grain.first().rest);
        QVERIFY(TextRegions::find(QImage()).isEmpty());
    }

    // Dark text on light for the engine; small lines enlarged, large ones not; holes painted over.
    void preparedForTheEngine()
    {
        QImage picture(400, 200, QImage::Format_RGB32);
        picture.fill(QColor(20, 20, 30));
        QPainter p(&picture);
        drawText(p, QPoint(10, 40), 11, QColor(230, 230, 230), "petit texte clair");
        p.fillRect(QRect(200, 100, 150, 60), Qt::red);
        p.end();
        const Region region{QRect(0, 0, 400, 200), QColor(20, 20, 30), {QRect(200, 100, 150, 60)}};
        const TextRegions::Prepared small = TextRegions::prepare(picture, region);
        QCOMPARE(small.scale, 2);
        QCOMPARE(small.image.size(), QSize(800, 400));
        QCOMPARE(small.image.pixelColor(5, 5), QColor(235, 235, 225));     // the background, inverted
        QCOMPARE(small.image.pixelColor(550, 260), QColor(235, 235, 225)); // the hole, painted over
        // The rest of a picture is read at its size whatever its lines.
        Region rest = region;
        rest.rest = true;
        QCOMPARE(TextRegions::prepare(picture, rest).scale, 1);
        // The same region with large text: not enlarged.
        QImage large(400, 200, QImage::Format_RGB32);
        large.fill(Qt::white);
        QPainter q(&large);
        drawText(q, QPoint(10, 60), 30, Qt::black, "Grand titre");
        q.end();
        const TextRegions::Prepared big = TextRegions::prepare(large, Region{large.rect(), Qt::white, {}});
        QCOMPARE(big.scale, 1);
        QCOMPARE(big.image.pixelColor(5, 5), QColor(Qt::white));
    }

    void readingOrder()
    {
        // A panel across the top, two columns under it, the right one split in two.
        const QList<QRect> desktop{QRect(600, 400, 600, 300), QRect(0, 0, 1200, 30), QRect(0, 40, 580, 660),
                                   QRect(600, 40, 600, 340)};
        QCOMPARE(TextRegions::readingOrder(desktop), (QList<int>{1, 2, 3, 0}));
        // Panes that touch are still cut apart.
        QCOMPARE(TextRegions::readingOrder({QRect(200, 0, 300, 500), QRect(0, 0, 200, 500)}),
                 (QList<int>{1, 0}));
        // Overlapping ones that no line separates: top, then left.
        QCOMPARE(TextRegions::readingOrder({QRect(50, 50, 300, 300), QRect(0, 0, 200, 200)}),
                 (QList<int>{1, 0}));
        QVERIFY(TextRegions::readingOrder({}).isEmpty());
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestTextRegions test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_textregions.moc"
