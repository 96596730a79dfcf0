// SPDX-License-Identifier: GPL-3.0-or-later
#include "preview/PinWindow.h"

#include "common/WindowPlacement.h"

#include "support/TestSession.h"

#include <QApplication>
#include <QClipboard>
#include <QImageReader>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

namespace {

QImage picture(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
    return image;
}

void wheel(QWidget *widget, int notches, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    const QPointF at(widget->width() / 2.0, widget->height() / 2.0);
    QWheelEvent event(at, widget->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class TestPinWindow : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        for (PinWindow *pin : PinWindow::all())
            delete pin;
        PinWindow::openEditor = nullptr;
        resetTestSession();
    }

    // At its size in points, its pixels one for one at its scale, inside a thin border; several at once.
    void showsThePictureAtItsSize()
    {
        const QImage image = picture(300, 200);
        PinWindow *pin = PinWindow::open(image, 1, QStringLiteral("/tmp/a.png"), QPoint(400, 300));
        QCOMPARE(pin->pictureSize(), QSize(300, 200));
        QCOMPARE(pin->size(), QSize(302, 202));
        QCOMPARE(pin->geometry().center(), QPoint(400, 300));
        QVERIFY(pin->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(pin->windowFlags() & Qt::FramelessWindowHint);
        const QImage shown = pin->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(shown.copy(1, 1, 300, 200), image);
        QVERIFY(shown.pixel(0, 0) != image.pixel(0, 0)); // the border

        PinWindow *sharp = PinWindow::open(picture(400, 300), 2);
        QCOMPARE(sharp->pictureSize(), QSize(200, 150));
        // A whole screen's capture starts zoomed out, inside the screen.
        const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
        PinWindow *large = PinWindow::open(picture(room.width() * 2, room.height() * 2), 1);
        QVERIFY(large->zoom() < 0.5);
        QVERIFY(room.contains(large->geometry()));
        QCOMPARE(PinWindow::all(), (QList<PinWindow *>{pin, sharp, large}));
    }

    // Where a compositor draws translucent windows, a shadow around the border: faint at the window's
    // edge, darker near the picture, which stays one for one and centred where asked.
    void shadowWhereComposited()
    {
        WindowPlacement::setCompositingProbe([] { return true; });
        const QImage image = picture(200, 100);
        PinWindow *pin = PinWindow::open(image, 1, QString(), QPoint(400, 300));
        const int edge = PinWindow::border + PinWindow::shadowWidth;
        QCOMPARE(pin->shadow(), PinWindow::shadowWidth);
        QCOMPARE(pin->size(), QSize(200 + 2 * edge, 100 + 2 * edge));
        QCOMPARE(pin->geometry().center(), QPoint(400, 300));
        QVERIFY(pin->testAttribute(Qt::WA_TranslucentBackground));
        const QImage shown = pin->grab().toImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(shown.copy(edge, edge, 200, 100).convertToFormat(QImage::Format_RGB32), image);
        QCOMPARE(qAlpha(shown.pixel(0, 0)), 0);
        const int below = edge + 100 + PinWindow::border; // the first row under the border
        const int middle = shown.width() / 2;
        const int near = qAlpha(shown.pixel(middle, below + 1));
        const int far = qAlpha(shown.pixel(middle, shown.height() - 2));
        QVERIFY2(near > far && far > 0 && near < 160, qPrintable(QStringLiteral("%1 %2").arg(near).arg(far)));
        QCOMPARE(qRed(shown.pixel(middle, below + 1)), 0);
        WindowPlacement::setCompositingProbe(nullptr);
        PinWindow *plain = PinWindow::open(image, 1);
        QCOMPARE(plain->shadow(), 0);
        QCOMPARE(plain->size(), QSize(202, 102));
    }

    void wheelZoomsAndCtrlWheelFades()
    {
        PinWindow *pin = PinWindow::open(picture(200, 100), 1);
        wheel(pin, 1);
        QCOMPARE(pin->zoom(), 1.25);
        QCOMPARE(pin->pictureSize(), QSize(250, 125));
        QCOMPARE(pin->size(), QSize(252, 127));
        wheel(pin, 20);
        QCOMPARE(pin->zoom(), PinWindow::maximumZoom);
        wheel(pin, -40);
        QCOMPARE(pin->zoom(), PinWindow::minimumZoom);
        QCOMPARE(pin->pictureSize(), QSize(50, 25));

        QCOMPARE(pin->windowOpacity(), 1.0);
        wheel(pin, -3, Qt::ControlModifier);
        QCOMPARE(qRound(pin->windowOpacity() * 10), 7);
        QCOMPARE(pin->zoom(), PinWindow::minimumZoom); // the zoom stays
        wheel(pin, -20, Qt::ControlModifier);
        QCOMPARE(qRound(pin->windowOpacity() * 10), 2); // never invisible
    }

    void dragMovesIt()
    {
        PinWindow *pin = PinWindow::open(picture(200, 100), 1, QString(), QPoint(300, 300));
        const QPoint before = pin->pos();
        QTest::mousePress(pin, Qt::LeftButton, Qt::NoModifier, QPoint(20, 20));
        QMouseEvent move(QEvent::MouseMove, QPointF(20, 20),
                         QPointF(pin->mapToGlobal(QPoint(20, 20)) + QPoint(35, 25)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(pin, &move);
        QTest::mouseRelease(pin, Qt::LeftButton, Qt::NoModifier, QPoint(55, 45));
        QCOMPARE(pin->pos(), before + QPoint(35, 25));
    }

    void escapeOrDoubleClickCloses()
    {
        QPointer<PinWindow> first = PinWindow::open(picture(100, 100), 1);
        QPointer<PinWindow> second = PinWindow::open(picture(100, 100), 1);
        QTest::keyClick(first, Qt::Key_Escape);
        QTRY_VERIFY(!first);
        QVERIFY(second);
        QTest::mouseDClick(second, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
        QTRY_VERIFY(!second);
        QVERIFY(PinWindow::all().isEmpty());
    }

    void contextMenu()
    {
        const QImage image = picture(120, 80);
        PinWindow *pin = PinWindow::open(image, 2, QStringLiteral("/tmp/capture.png"));
        QStringList titles;
        for (const QAction *action : pin->contextMenu()->actions())
            titles << (action->isSeparator() ? QStringLiteral("—") : action->text());
        QCOMPARE(titles, (QStringList{"Copier l'image", "Enregistrer sous…", "Ouvrir dans l'éditeur", "—",
                                      "Fermer"}));

        // Copy: the picture on the clipboard.
        QGuiApplication::clipboard()->clear();
        pin->contextMenu()->actions().at(0)->trigger();
        const QMimeData *copied = QGuiApplication::clipboard()->mimeData();
        QVERIFY(copied && copied->hasFormat("image/png"));
        QCOMPARE(QImage::fromData(copied->data("image/png"), "png").convertToFormat(QImage::Format_RGB32),
                 image);

        // The editor gets the picture, its scale and its file.
        QImage edited;
        double scale = 0;
        QString path;
        PinWindow::openEditor = [&](const QImage &i, double s, const QString &p) {
            edited = i;
            scale = s;
            path = p;
        };
        pin->contextMenu()->actions().at(2)->trigger();
        QCOMPARE(edited, image);
        QCOMPARE(scale, 2.0);
        QCOMPARE(path, QStringLiteral("/tmp/capture.png"));

        QPointer<PinWindow> alive(pin);
        pin->contextMenu()->actions().at(4)->trigger();
        QTRY_VERIFY(!alive);
    }

    // Saved where the person says, in the format the name asks for; a folder that is gone is said.
    void saveAs()
    {
        const QImage image = picture(160, 90);
        PinWindow *pin = PinWindow::open(image, 1);
        QTemporaryDir dir;
        QString asked;
        QString answer = dir.filePath("épingle.png");
        pin->askSavePath = [&](const QString &suggested) {
            asked = suggested;
            return answer;
        };
        QCOMPARE(pin->saveAs(), QString());
        QVERIFY(asked.endsWith(QStringLiteral("Épingle.png")));
        QCOMPARE(QImage(answer).convertToFormat(QImage::Format_RGB32), image);
        answer = dir.filePath("épingle.jpg");
        QCOMPARE(pin->saveAs(), QString());
        QCOMPARE(QImageReader(answer).format(), QByteArray("jpeg"));
        answer = dir.filePath("parti/épingle.png");
        QVERIFY(!pin->saveAs().isEmpty());
        QVERIFY(!QFile::exists(answer));
        answer.clear(); // cancelled
        QCOMPARE(pin->saveAs(), QString());
    }
};

QTEST_MAIN(TestPinWindow)
#include "tst_pinwindow.moc"
