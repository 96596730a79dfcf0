// SPDX-License-Identifier: GPL-3.0-or-later
// A window for the scrolling capture's end-to-end test and bench: a sticky header above a scroll area
// that shows a tall generated page of numbered lines of text.
//   scroll_page OUT_DIR [PAGE_HEIGHT] [VIEW_WIDTH VIEW_HEIGHT]
// Once painted it writes OUT_DIR/expected.png (the header, then the whole page: what a scrolling capture
// of the header and the view gives) and OUT_DIR/area (the header and view's rectangle in root pixels:
// "x y w h"); OUT_DIR/scrolled holds how far the view is scrolled, in pixels, each time it moves.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPainter>
#include <QRandomGenerator>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QImage makePage(int width, int height)
{
    QImage page(width, height, QImage::Format_RGB32);
    page.fill(QColor(250, 250, 247));
    QPainter painter(&page);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(15);
    painter.setFont(font);
    QRandomGenerator random(11);
    const QStringList words = {"défilement", "page",    "ligne",   "capture", "texte",    "colonne",
                               "table",      "exemple", "fenêtre", "longue",  "document", "Linux"};
    int y = 0;
    for (int line = 1; y + 22 <= height; ++line, y += 22) {
        // Every so often a table of identical rows, or a blank stretch.
        if (line % 90 == 40) {
            for (int r = 0; r < 12 && y + 22 <= height; ++r, y += 22) {
                painter.fillRect(0, y, width, 1, QColor(200, 200, 200));
                for (int x = 20; x < width; x += 140)
                    painter.fillRect(x, y + 7, 70, 8, QColor(70, 110, 180));
            }
            continue;
        }
        if (line % 90 == 70) {
            y += 22 * 6;
            continue;
        }
        QString text = QStringLiteral("%1  ").arg(line, 5);
        const int count = 4 + int(random.bounded(8));
        for (int w = 0; w < count; ++w)
            text += words[int(random.bounded(words.size()))] + u' ';
        painter.setPen(QColor(30, 30, 30));
        painter.drawText(12, y + 16, text);
    }
    return page;
}

QImage makeHeader(int width)
{
    QImage header(width, 44, QImage::Format_RGB32);
    header.fill(QColor(38, 70, 120));
    QPainter painter(&header);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(17);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(14, 28, QStringLiteral("Document de test — en-tête fixe"));
    return header;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    const QString out = QString::fromLocal8Bit(argv[1]);
    const int pageHeight = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int viewWidth = argc > 4 ? std::atoi(argv[3]) : 700;
    const int viewHeight = argc > 4 ? std::atoi(argv[4]) : 480;
    const QImage page = makePage(viewWidth, pageHeight);
    const QImage header = makeHeader(viewWidth);

    QWidget window;
    window.setWindowTitle(QStringLiteral("Page à faire défiler"));
    auto *layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    auto *top = new QLabel;
    top->setPixmap(QPixmap::fromImage(header));
    top->setFixedSize(header.size());
    layout->addWidget(top);
    auto *scroll = new QScrollArea;
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto *content = new QLabel;
    content->setPixmap(QPixmap::fromImage(page));
    content->setFixedSize(page.size());
    scroll->setWidget(content);
    layout->addWidget(scroll);
    const int bar = scroll->verticalScrollBar()->sizeHint().width();
    scroll->setFixedSize(viewWidth + bar, viewHeight);
    QObject::connect(scroll->verticalScrollBar(), &QScrollBar::valueChanged, &window, [out](int value) {
        QFile scrolled(out + QStringLiteral("/scrolled"));
        if (scrolled.open(QIODevice::WriteOnly))
            scrolled.write(QByteArray::number(value) + '\n');
    });
    window.move(40, 40);
    window.show();

    QTimer::singleShot(500, &window, [&] {
        const qreal ratio = window.devicePixelRatioF();
        const QPoint origin = top->mapToGlobal(QPoint(0, 0)) * ratio;
        QImage expected(viewWidth, header.height() + page.height(), QImage::Format_RGB32);
        QPainter painter(&expected);
        painter.drawImage(0, 0, header);
        painter.drawImage(0, header.height(), page);
        painter.end();
        expected.save(out + QStringLiteral("/expected.png"));
        QFile area(out + QStringLiteral("/area"));
        if (area.open(QIODevice::WriteOnly))
            area.write(QStringLiteral("%1 %2 %3 %4\n")
                           .arg(origin.x())
                           .arg(origin.y())
                           .arg(viewWidth)
                           .arg(header.height() + viewHeight)
                           .toUtf8());
    });
    return app.exec();
}
