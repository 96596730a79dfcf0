// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/WindowPlacement.h"
#include "preview/PinWindow.h"
#include "preview/PreviewPanel.h"
#include "preview/PreviewView.h"
#include "support/TestSession.h"

#include <QApplication>
#include <QMimeData>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QUrl>

class TestPreviewPanel : public QObject {
    Q_OBJECT

    static QImage capture(int w, int h)
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(QColor(20, 120, 200));
        return image;
    }

    // Drags are recorded instead of run (a real drag blocks until a drop).
    static void recordDrags(PreviewView *view, QStringList *dragged)
    {
        view->startDrag = [view, dragged](QMimeData *data) {
            for (const QUrl &url : data->urls())
                *dragged << url.toLocalFile();
            delete data;
            view->onDragEnded();
        };
    }

    // The timings Pim ships with, before the tests shorten them.
    const int shippedLifetime = PreviewPanel::lifetime, shippedLinger = PreviewPanel::lingerAfterHover,
              shippedSlide = PreviewPanel::slideIn, shippedFade = PreviewPanel::fadeOut;

private slots:
    void shippedTimings()
    {
        QCOMPARE(shippedLifetime, 6000);
        QCOMPARE(shippedLinger, 2500);
        QCOMPARE(shippedSlide, 220);
        QCOMPARE(shippedFade, 250);
    }

    void init()
    {
        PreviewPanel::lifetime = 300;
        PreviewPanel::lingerAfterHover = 150;
        PreviewPanel::slideIn = 20;
        PreviewPanel::fadeOut = 20;
    }
    void cleanup()
    {
        PreviewManager::shared().dismissImmediately();
        resetTestSession();
    }

    void sizeRule()
    {
        const QSizeF big = PreviewPanel::panelSize(QSize(4000, 3000), 2);
        QVERIFY(std::abs(big.width() - 266.667) < 0.01);
        QCOMPARE(big.height(), 200.0);
        // Never enlarged, at least 90 × 64.
        QCOMPARE(PreviewPanel::panelSize(QSize(80, 40), 2), QSizeF(90, 64));
        QCOMPARE(PreviewPanel::panelSize(QSize(3000, 100), 1), QSizeF(280, 64));
        QCOMPARE(PreviewPanel::panelSize(QSize(100, 3000), 1), QSizeF(90, 200));
    }

    void placedBottomRightOfTheAvailableArea()
    {
        const QRectF frame = PreviewPanel::panelFrame(QSizeF(266.7, 200), QRect(0, 25, 1440, 875));
        QVERIFY(std::abs(frame.x() - 1153.3) < 0.01);
        QCOMPARE(frame.bottom(), 900.0 - 20);
        // A screen to the right of another.
        const QRectF right = PreviewPanel::panelFrame(QSizeF(100, 80), QRect(1920, 0, 1280, 1024));
        QCOMPARE(right.right(), 1920.0 + 1280 - 20);
    }

    void slidesUpIntoPlaceAndGoesByItself()
    {
        PreviewManager::shared().show(capture(400, 300), 1, "/tmp/x.png", QGuiApplication::primaryScreen());
        QPointer<PreviewPanel> panel = PreviewManager::shared().panel();
        QVERIFY(panel);
        QVERIFY(panel->isVisible());
        // It starts 12 points below its place, and never takes the focus.
        QVERIFY(panel->testAttribute(Qt::WA_ShowWithoutActivating));
        QVERIFY(panel->windowFlags() & Qt::WindowDoesNotAcceptFocus);
        QTRY_COMPARE(panel->pos(), panel->finalGeometry().topLeft());
        QVERIFY(panel->isDismissScheduled());
        QTRY_VERIFY_WITH_TIMEOUT(!panel || !panel->isVisible(), 2000);
        // Gone with its picture once off the screen, not kept until the next capture.
        QTRY_VERIFY(panel.isNull());
        QVERIFY(!PreviewManager::shared().panel());
    }

    // Where the compositor places windows (Wayland) it ignores moves and window opacity: the panel shows at
    // once, fully opaque, and goes without a fade.
    void noSlideNorFadeWhereTheCompositorPlacesWindows()
    {
        WindowPlacement::setCompositorPlacesWindows(true);
        PreviewManager::shared().show(capture(400, 300), 1, "/tmp/x.png", QGuiApplication::primaryScreen());
        QPointer<PreviewPanel> panel = PreviewManager::shared().panel();
        QVERIFY(panel && panel->isVisible());
        QCOMPARE(panel->windowOpacity(), 1.0);
        QCOMPARE(panel->pos(), panel->finalGeometry().topLeft());
        QVERIFY(panel->isDismissScheduled());
        // Its whole lifetime, not the shorter time that follows a hover.
        QVERIFY(panel->remainingBeforeDismiss() > PreviewPanel::lifetime - 50);
        QVERIFY(panel->remainingBeforeDismiss() > PreviewPanel::lingerAfterHover);
        panel->dismiss(true);
        QVERIFY(!panel || !panel->isVisible());
    }

    void hoverHoldsItAndLeavingGivesItMoreTime()
    {
        PreviewManager::shared().show(capture(400, 300), 1, "/tmp/x.png", QGuiApplication::primaryScreen());
        QPointer<PreviewPanel> panel = PreviewManager::shared().panel();
        PreviewView *view = panel->previewView();
        QVERIFY(view->closeButton()->isHidden());
        QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), QPointF(10, 10));
        QApplication::sendEvent(view, &enter);
        QVERIFY(!view->closeButton()->isHidden());
        QVERIFY(!panel->isDismissScheduled());
        QTest::qWait(PreviewPanel::lifetime + 100);
        QVERIFY(panel->isVisible());
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(view, &leave);
        QVERIFY(view->closeButton()->isHidden());
        // Counted afresh from the moment the pointer left.
        QVERIFY(panel->isDismissScheduled());
        QVERIFY(panel->remainingBeforeDismiss() > PreviewPanel::lingerAfterHover - 50);
        QVERIFY(panel->remainingBeforeDismiss() <= PreviewPanel::lingerAfterHover + 20);
        QTRY_VERIFY_WITH_TIMEOUT(!panel || !panel->isVisible(), 2000);
    }

    void clickOpensTheEditorDragCarriesTheFile()
    {
        int opened = 0;
        QString openedPath;
        PreviewManager::shared().openEditor = [&](const QImage &, double scale, const QString &path) {
            ++opened;
            openedPath = path;
            QCOMPARE(scale, 2.0);
        };
        // Moved by exactly 5 points: a click.
        PreviewManager::shared().show(capture(400, 300), 2, "/tmp/a b.png", QGuiApplication::primaryScreen());
        QPointer<PreviewPanel> panel = PreviewManager::shared().panel();
        PreviewView *view = panel->previewView();
        QStringList dragged;
        recordDrags(view, &dragged);
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseMove(view, QPoint(23, 24));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(23, 24));
        QCOMPARE(opened, 1);
        QCOMPARE(openedPath, QStringLiteral("/tmp/a b.png"));
        QVERIFY(!panel || !panel->isVisible()); // closed at once
        QVERIFY(dragged.isEmpty());

        // Moved by 5.1 points: a drag of the file, no editor.
        QVERIFY(PreviewView::isDrag(QPointF(0, 0), QPointF(5.1, 0)));
        QVERIFY(!PreviewView::isDrag(QPointF(0, 0), QPointF(3, 4)));
        PreviewManager::shared().show(capture(400, 300), 2, "/tmp/a b.png", QGuiApplication::primaryScreen());
        panel = PreviewManager::shared().panel();
        view = panel->previewView();
        recordDrags(view, &dragged);
        QTest::mousePress(view, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseMove(view, QPoint(20, 27));
        QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(20, 27));
        QCOMPARE(dragged, QStringList{QStringLiteral("/tmp/a b.png")});
        QCOMPARE(opened, 1);
        QTRY_VERIFY_WITH_TIMEOUT(!panel || !panel->isVisible(), 2000);
    }

    void aNewCaptureClosesThePreviousPanelAtOnce()
    {
        PreviewManager::shared().show(capture(400, 300), 1, "/tmp/1.png", QGuiApplication::primaryScreen());
        QPointer<PreviewPanel> first = PreviewManager::shared().panel();
        PreviewManager::shared().show(capture(400, 300), 1, "/tmp/2.png", QGuiApplication::primaryScreen());
        QVERIFY(!first || !first->isVisible());
        QVERIFY(PreviewManager::shared().panel() != first);
        PreviewManager::shared().dismissImmediately();
        QVERIFY(!PreviewManager::shared().panel());
        QTRY_VERIFY(!first);
    }

    void closeButtonFadesItOut()
    {
        PreviewManager::shared().show(capture(400, 300), 1, "/tmp/1.png", QGuiApplication::primaryScreen());
        QPointer<PreviewPanel> panel = PreviewManager::shared().panel();
        panel->previewView()->closeButton()->show();
        panel->previewView()->closeButton()->click();
        QVERIFY(panel->isVisible()); // animated, not at once
        QTRY_VERIFY_WITH_TIMEOUT(!panel || !panel->isVisible(), 1000);
    }

    // "Épingler", beside the close button: the capture stays on the screen where the preview was, and the
    // preview goes.
    void pinButtonPinsTheCapture()
    {
        const QImage image = capture(400, 300);
        PreviewManager::shared().show(image, 2, "/tmp/1.png", QGuiApplication::primaryScreen());
        QPointer<PreviewPanel> panel = PreviewManager::shared().panel();
        QCOMPARE(panel->previewView()->pinButton()->toolTip(), QStringLiteral("Épingler"));
        const QPoint where = panel->geometry().center();
        panel->previewView()->pinButton()->click();
        QCOMPARE(PinWindow::all().size(), 1);
        PinWindow *pin = PinWindow::all().first();
        QCOMPARE(pin->image(), image);
        QCOMPARE(pin->path(), QStringLiteral("/tmp/1.png"));
        QCOMPARE(pin->pictureSize(), QSize(200, 150));
        QCOMPARE(pin->geometry().center(), where);
        QTRY_VERIFY(!panel || !panel->isVisible());
        delete pin;
    }
};

QTEST_MAIN(TestPreviewPanel)
#include "tst_previewpanel.moc"
