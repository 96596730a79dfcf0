// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagetools/ColorPickerService.h"
#include "platform/x11/X11ScreenCapturer.h"
#include "support/Programs.h"
#include "support/TestSession.h"

#include <QApplication>
#include <QClipboard>
#include <QEventLoop>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QTimer>

// Every native pixel of the screen has its own colour, so a pick says exactly which pixel it read. Run
// at scale 1 and, with QT_SCALE_FACTOR=2, at scale 2.
class NativePattern : public QWidget {
public:
    NativePattern() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint)
    {
        setGeometry(QGuiApplication::primaryScreen()->geometry());
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    static QColor colourAt(int x, int y) { return QColor((x * 7) % 256, (y * 5) % 256, (x + 3 * y) % 256); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        const qreal ratio = devicePixelRatioF();
        QImage image(int(width() * ratio), int(height() * ratio), QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = 0; x < image.width(); ++x)
                row[x] = colourAt(x, y).rgb();
        }
        image.setDevicePixelRatio(ratio);
        QPainter(this).drawImage(0, 0, image);
    }
};

class TestColorPicker : public QObject {
    Q_OBJECT

    NativePattern *pattern = nullptr;
    std::unique_ptr<X11ScreenCapturer> capturer;

    static QByteArray run(const QString &program, const QStringList &arguments)
    {
        return Programs::run(program, arguments);
    }

    void startPick(QStringList *codes)
    {
        ColorPickerService::pickAndCopyHex([codes](const QString &code) {
            // The code is already on the clipboard when the callback runs.
            QCOMPARE(QGuiApplication::clipboard()->text(), code);
            *codes << code;
        });
        QVERIFY(ColorPickerService::isPicking());
        // The windows come once the screens have been read.
        QTRY_VERIFY(!ColorPickerService::pickerWindows().isEmpty());
        for (QWidget *window : ColorPickerService::pickerWindows())
            QVERIFY(QTest::qWaitForWindowExposed(window));
        QTest::qWait(100);
    }

private slots:
    void initTestCase()
    {
        pattern = new NativePattern;
        pattern->show();
        QVERIFY(QTest::qWaitForWindowExposed(pattern));
        QTest::qWait(200);
        capturer = std::make_unique<X11ScreenCapturer>();
        ColorPickerService::setScreenGrabber([this](const QList<QScreen *> &screens, auto done) {
            capturer->capture(ScreenCapturer::Request{screens, {}, {}}, std::move(done));
        });
        ColorPickerService::setPointerLocator([this] { return capturer->nativePointer(); });
    }
    void cleanupTestCase()
    {
        resetTestSession();
        delete pattern;
    }

    void hexCodes()
    {
        QCOMPARE(ColorPickerService::hexCode(Qt::white), QStringLiteral("#FFFFFF"));
        QCOMPARE(ColorPickerService::hexCode(Qt::black), QStringLiteral("#000000"));
        QCOMPARE(ColorPickerService::hexCode(QColor::fromRgbF(0.5f, 0.05f, 1.0f)), QStringLiteral("#800DFF"));
        QCOMPARE(ColorPickerService::hexCode(QColor(30, 144, 255)), QStringLiteral("#1E90FF"));
        // Alpha is ignored; other models convert to RGB first.
        QCOMPARE(ColorPickerService::hexCode(QColor(30, 144, 255, 10)), QStringLiteral("#1E90FF"));
        QCOMPARE(ColorPickerService::hexCode(QColor::fromHsv(0, 255, 255)), QStringLiteral("#FF0000"));
    }

    void clickPicksTheNativePixelUnderThePointer()
    {
        const qreal ratio = QGuiApplication::primaryScreen()->devicePixelRatio();
        QStringList codes;
        for (const QPoint native : {QPoint(301, 201), QPoint(1000, 777), QPoint(1, 1)}) {
            const qsizetype before = codes.size();
            startPick(&codes);
            run("xdotool", {"mousemove", QString::number(native.x()), QString::number(native.y())});
            QTest::qWait(50);
            run("xdotool", {"click", "1"});
            QTRY_VERIFY(!ColorPickerService::isPicking());
            const QString expected =
                ColorPickerService::hexCode(NativePattern::colourAt(native.x(), native.y()));
            QTRY_COMPARE(codes.size(), before + 1);
            QVERIFY2(codes.last() == expected, qPrintable(QString("%1 at %2,%3 scale %4, expected %5")
                                                              .arg(codes.last())
                                                              .arg(native.x())
                                                              .arg(native.y())
                                                              .arg(ratio)
                                                              .arg(expected)));
            QCOMPARE(QString::fromUtf8(run("xclip", {"-selection", "clipboard", "-o"})), expected);
        }
    }

    void escapeCopiesNothing()
    {
        QGuiApplication::clipboard()->setText(QStringLiteral("avant"));
        QStringList codes;
        startPick(&codes);
        run("xdotool", {"mousemove", "400", "300", "key", "Escape"});
        QTRY_VERIFY(!ColorPickerService::isPicking());
        QTest::qWait(100);
        QVERIFY(codes.isEmpty());
        QVERIFY(ColorPickerService::pickerWindows().isEmpty());
        QCOMPARE(QString::fromUtf8(run("xclip", {"-selection", "clipboard", "-o"})), QStringLiteral("avant"));
    }
};

QTEST_MAIN(TestColorPicker)
#include "tst_colorpicker_x11.moc"
