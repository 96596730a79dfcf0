// SPDX-License-Identifier: GPL-3.0-or-later
// Recordings' frames on Wayland, through the real portal frontend in front of the test double's ScreenCast
// backend, and the real PipeWire with a session manager; the shared monitor is a PipeWire source of ours
// (pw_screen). Runs inside portal_session.sh with PIM_PIPEWIRE_LINKS=1.
#include "capture/Recorder.h"
#include "output/VideoProbe.h"
#include "platform/portal/PipeWireFrameSource.h"

#include <QDBusInterface>
#include <QDBusReply>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

namespace {

QDBusInterface control()
{
    return QDBusInterface(QStringLiteral("org.freedesktop.impl.portal.desktop.pimtest"),
                          QStringLiteral("/control"), QStringLiteral("org.pim.test.PortalDouble"));
}

int distance(QRgb a, QColor b)
{
    return std::max(
        {std::abs(qRed(a) - b.red()), std::abs(qGreen(a) - b.green()), std::abs(qBlue(a) - b.blue())});
}

const QColor background(40, 90, 160), square(250, 200, 30);

} // namespace

class TestScreenCast : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The shared monitor is as large as the screen Qt shows.
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        m_screen.setProgram(QString::fromLocal8Bit(PW_SCREEN));
        m_screen.setArguments({QString::number(screen.width()), QString::number(screen.height())});
        m_screen.start();
        QVERIFY(m_screen.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(m_screen.canReadLine(), 20000);
        m_node = m_screen.readLine().trimmed().toUInt();
        QVERIFY(m_node > 0);
        QDBusInterface double_ = control();
        const QDBusMessage set =
            double_.call(QStringLiteral("SetScreenCast"), m_node, 0, 0, screen.width(), screen.height(), 0u);
        QVERIFY2(set.type() == QDBusMessage::ReplyMessage, qPrintable(set.errorMessage()));
    }

    void cleanupTestCase()
    {
        m_screen.kill();
        m_screen.waitForFinished();
    }

    // The desktop shares the monitor once; its token comes back, and the next session brings it: the
    // desktop need not ask again. The area is cut from the stream's pictures.
    void framesOfTheArea()
    {
        QString token;
        PipeWireFrameSource::TokenStore store{[&token] { return token; },
                                              [&token](const QString &given) { token = given; }};
        PipeWireFrameSource source(QDBusConnection::sessionBus(), store, 20000);
        std::optional<Result<Done>> ready;
        source.prepare(QGuiApplication::primaryScreen(), true,
                       [&ready](const Result<Done> &r) { ready = r; });
        QTRY_VERIFY_WITH_TIMEOUT(ready.has_value(), 20000);
        QVERIFY2(*ready, ready->ok() ? "" : qPrintable(ready->error().message));
        QVERIFY(!token.isEmpty());
        QDBusInterface double_ = control();
        QCOMPARE(QDBusReply<uint>(double_.call(QStringLiteral("LastCursorMode"))).value(), 2u);
        QCOMPARE(QDBusReply<bool>(double_.call(QStringLiteral("LastCastRestored"))).value(), false);

        QVERIFY(source.begin(QRect(100, 100, 200, 200), true));
        QImage first;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const Result<std::optional<QImage>> grabbed = source.grab();
                if (grabbed && *grabbed)
                    first = **grabbed;
                return !first.isNull();
            }(),
            20000);
        QCOMPARE(first.size(), QSize(200, 200));
        QVERIFY(distance(first.pixel(50, 50), square) < 8);
        QVERIFY(distance(first.pixel(150, 150), background) < 8);
        // Nothing new between two pictures is nothing.
        const Result<std::optional<QImage>> again = source.grab();
        QVERIFY(again);
        source.end();

        PipeWireFrameSource restored(QDBusConnection::sessionBus(), store, 20000);
        ready.reset();
        restored.prepare(QGuiApplication::primaryScreen(), false,
                         [&ready](const Result<Done> &r) { ready = r; });
        QTRY_VERIFY_WITH_TIMEOUT(ready.has_value(), 20000);
        QVERIFY(*ready);
        QCOMPARE(QDBusReply<bool>(double_.call(QStringLiteral("LastCastRestored"))).value(), true);
        QCOMPARE(QDBusReply<uint>(double_.call(QStringLiteral("LastCursorMode"))).value(), 1u);
    }

    // A recording through it: a second of the area, the square where it is.
    void recording()
    {
        QString token;
        auto source = std::make_unique<PipeWireFrameSource>(
            QDBusConnection::sessionBus(),
            PipeWireFrameSource::TokenStore{[&token] { return token; },
                                            [&token](const QString &t) { token = t; }},
            20000);
        std::optional<Result<Done>> ready;
        source->prepare(QGuiApplication::primaryScreen(), true,
                        [&ready](const Result<Done> &r) { ready = r; });
        QTRY_VERIFY_WITH_TIMEOUT(ready.has_value(), 20000);
        QVERIFY(*ready);
        QTemporaryDir dir;
        Recorder recorder(std::move(source));
        std::optional<Recorder::Report> report;
        recorder.onFinished = [&report](const Recorder::Report &r) { report = r; };
        Recorder::Settings settings;
        settings.area = QRect(50, 50, 300, 200);
        settings.format = VideoFormat::webm;
        settings.path = dir.filePath("cast.webm");
        settings.maxMicroseconds = 1000000;
        QVERIFY(recorder.start(settings));
        QTRY_VERIFY_WITH_TIMEOUT(report.has_value(), 30000);
        QVERIFY(!report->failure && !report->sourceEnded);
        QVERIFY2(report->frames >= 10, qPrintable(QString::number(report->frames)));
        const Result<VideoProbe::Summary> summary = VideoProbe::summarize(report->path);
        QVERIFY(summary);
        QCOMPARE(summary->firstFrame.size(), QSize(300, 200));
        QVERIFY(distance(summary->firstFrame.pixel(100, 100), square) < 30);
        QVERIFY(distance(summary->firstFrame.pixel(250, 150), background) < 30);
    }

    // The monitor goes away (the stream's source ends): the next grab says so, and a recording ends there.
    void screenGoes()
    {
        PipeWireFrameSource source(QDBusConnection::sessionBus(), {}, 20000);
        std::optional<Result<Done>> ready;
        source.prepare(QGuiApplication::primaryScreen(), true,
                       [&ready](const Result<Done> &r) { ready = r; });
        QTRY_VERIFY_WITH_TIMEOUT(ready.has_value(), 20000);
        QVERIFY(*ready);
        QVERIFY(source.begin(QGuiApplication::primaryScreen()->geometry(), true));
        bool seen = false;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                const Result<std::optional<QImage>> grabbed = source.grab();
                seen = seen || (grabbed && *grabbed);
                return seen;
            }(),
            20000);
        QDBusInterface double_ = control();
        double_.call(QStringLiteral("CloseCasts"));
        m_screen.kill();
        m_screen.waitForFinished();
        QTRY_VERIFY_WITH_TIMEOUT(!source.grab(), 20000);
        QCOMPARE(source.grab().error().message, QStringLiteral("Le bureau a arrêté le partage de l'écran."));
    }

private:
    QProcess m_screen;
    uint m_node = 0;
};

QTEST_MAIN(TestScreenCast)
#include "tst_screencast.moc"
