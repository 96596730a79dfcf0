// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagetools/ScrollStitcher.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

namespace {

// A tall page: lines of "words" (small blocks of greys) on white, with optional stretches of blank rows
// and of a table whose rows are all the same, and a last stretch of text.
struct PageParts {
    int blank = 0; // rows of white after the first text
    int table = 0; // table rows (24 pixels each) after that
};

QImage page(int width, int height, PageParts parts, quint32 seed)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QRandomGenerator random(seed);
    const auto text = [&](int from, int to) {
        for (int y = from; y + 18 <= to; y += 18) {
            for (int x = 8; x < width - 40;) {
                const int w = 6 + int(random.bounded(50));
                painter.fillRect(x, y + 4, w, 10, QColor::fromHsv(0, 0, int(random.bounded(120))));
                x += w + 6;
            }
        }
    };
    int y = 0;
    const int firstText = (height - parts.blank - parts.table * 24) / 2;
    text(0, firstText);
    y = firstText + parts.blank;
    for (int r = 0; r < parts.table; ++r, y += 24) {
        painter.fillRect(0, y, width, 1, QColor(180, 180, 180));
        for (int x = 10; x < width; x += 90)
            painter.fillRect(x, y + 8, 40, 8, QColor(60, 90, 160));
    }
    text(y, height);
    return image;
}

// What the screen shows with the page scrolled to `offset`: header, page rows, footer.
QImage frameOf(const QImage &source, int offset, int rows, const QImage &header, const QImage &footer)
{
    QImage frame(source.width(), header.height() + rows + footer.height(), QImage::Format_RGB32);
    QPainter painter(&frame);
    painter.drawImage(0, 0, header);
    painter.drawImage(QPoint(0, header.height()), source, QRect(0, offset, source.width(), rows));
    painter.drawImage(0, header.height() + rows, footer);
    return frame;
}

QImage band(int width, int height, QColor colour, const QString &label)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    QPainter painter(&image);
    painter.fillRect(10, height / 3, label.size() * 12, height / 3, Qt::white);
    return image;
}

// Stitches the frames a scroll by `step` rows shows, the last one at the page's end.
ScrollStitcher stitch(const QImage &source, int rows, int step, const QImage &header = {},
                      const QImage &footer = {}, const std::function<void(QImage &, int)> &touch = {})
{
    const QImage h = header.isNull() ? QImage(source.width(), 0, QImage::Format_RGB32) : header;
    const QImage f = footer.isNull() ? QImage(source.width(), 0, QImage::Format_RGB32) : footer;
    ScrollStitcher stitcher(frameOf(source, 0, rows, h, f));
    for (int offset = step, index = 1;; offset += step, ++index) {
        const int at = std::min(offset, source.height() - rows);
        QImage frame = frameOf(source, at, rows, h, f);
        if (touch)
            touch(frame, index);
        const ScrollStitcher::Step result = stitcher.add(frame);
        if (result != ScrollStitcher::Step::added) {
            // Only the end of the page stops a good run.
            if (result != ScrollStitcher::Step::unchanged)
                qWarning("step %d ended with %d", index, int(result));
            break;
        }
        if (index > 200)
            break;
    }
    return stitcher;
}

QImage stacked(const QImage &header, const QImage &body, const QImage &footer)
{
    QImage out(body.width(), header.height() + body.height() + footer.height(), QImage::Format_RGB32);
    QPainter painter(&out);
    painter.drawImage(0, 0, header);
    painter.drawImage(0, header.height(), body);
    painter.drawImage(0, header.height() + body.height(), footer);
    return out;
}

} // namespace

class TestScrollStitcher : public QObject {
    Q_OBJECT
private slots:
    // Text, blank stretches, identical table rows over more than the frame's height, a last step shorter
    // than the others: the page comes back pixel for pixel.
    void pagesComeBackWhole_data()
    {
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("blank");
        QTest::addColumn<int>("table");
        QTest::addColumn<int>("step");
        QTest::newRow("text") << 3000 << 0 << 0 << 250;
        QTest::newRow("text, last step short") << 3111 << 0 << 0 << 260;
        QTest::newRow("blank stretch") << 4000 << 380 << 0 << 230;
        QTest::newRow("identical table rows") << 4000 << 0 << 60 << 230;
        QTest::newRow("both, small steps") << 5000 << 420 << 40 << 90;
    }
    void pagesComeBackWhole()
    {
        QFETCH(int, height);
        QFETCH(int, blank);
        QFETCH(int, table);
        QFETCH(int, step);
        const QImage source = page(420, height, {blank, table}, quint32(height + step));
        const ScrollStitcher stitcher = stitch(source, 500, step);
        QCOMPARE(stitcher.height(), height);
        QCOMPARE(stitcher.result(), source);
    }

    // A header and a footer that stay put are kept once, at the top and the bottom.
    void stickyHeaderAndFooterOnce()
    {
        const QImage source = page(400, 2600, {300, 20}, 5);
        const QImage header = band(400, 40, QColor(30, 60, 120), "En-tête");
        const QImage footer = band(400, 28, QColor(90, 90, 90), "Pied");
        const ScrollStitcher stitcher = stitch(source, 420, 200, header, footer);
        // (Blank rows of the page just under the header may count with it: they are the same in every frame
        // too, and they come back all the same.)
        QVERIFY(stitcher.headerRows() >= 40 && stitcher.headerRows() < 60);
        QVERIFY(stitcher.footerRows() >= 28 && stitcher.footerRows() < 50);
        QCOMPARE(stitcher.result(), stacked(header, source, footer));
    }

    // A caret that blinks and a spinner that turns, at fixed places of the screen, do not break the
    // seams; they lie in rows that earlier frames gave, so the page still comes back exactly.
    void blinkingCaretAndSpinner()
    {
        const QImage source = page(480, 2400, {}, 9);
        const ScrollStitcher stitcher = stitch(source, 500, 220, {}, {}, [](QImage &frame, int index) {
            QPainter painter(&frame);
            if (index % 2)
                painter.fillRect(200, 60, 2, 18, Qt::black); // the caret
            painter.translate(300, 120);
            painter.rotate(index * 40);
            painter.fillRect(-7, -2, 14, 4, QColor(0, 120, 220)); // the spinner
        });
        QCOMPARE(stitcher.result(), source);
    }

    void endsAndRefusals()
    {
        const QImage source = page(300, 2000, {}, 3);
        const QImage empty(300, 0, QImage::Format_RGB32);
        ScrollStitcher stitcher(frameOf(source, 0, 400, empty, empty));
        // The same picture again: the end of the page.
        QCOMPARE(stitcher.add(frameOf(source, 0, 400, empty, empty)), ScrollStitcher::Step::unchanged);
        QCOMPARE(stitcher.add(frameOf(source, 150, 400, empty, empty)), ScrollStitcher::Step::added);
        QCOMPARE(stitcher.lastShift(), 150);
        // Another page, a jump past the frame, another size: refused, and nothing is added.
        const QImage other = page(300, 2000, {}, 4);
        QCOMPARE(stitcher.add(frameOf(other, 150, 400, empty, empty)), ScrollStitcher::Step::noMatch);
        QCOMPARE(stitcher.add(frameOf(source, 1000, 400, empty, empty)), ScrollStitcher::Step::noMatch);
        QCOMPARE(stitcher.add(source.copy(0, 0, 300, 399)), ScrollStitcher::Step::noMatch);
        QCOMPARE(stitcher.height(), 550);
        QCOMPARE(stitcher.result(), source.copy(0, 0, 300, 550));
        // It goes on from the last good frame.
        QCOMPARE(stitcher.add(frameOf(source, 300, 400, empty, empty)), ScrollStitcher::Step::added);
        QCOMPARE(stitcher.result(), source.copy(0, 0, 300, 700));
        // Taken once at the end: the same picture, and nothing more is added after it.
        QCOMPARE(stitcher.takeResult(), source.copy(0, 0, 300, 700));
        QCOMPARE(stitcher.add(frameOf(source, 450, 400, empty, empty)), ScrollStitcher::Step::noMatch);
    }
};

QTEST_MAIN(TestScrollStitcher)
#include "tst_scrollstitcher.moc"
