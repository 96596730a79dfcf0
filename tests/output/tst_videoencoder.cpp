// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/GifEncoder.h"
#include "output/VideoEncoder.h"
#include "output/VideoProbe.h"

#include <QFile>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr QSize frameSize(320, 240);
const QColor background(40, 90, 160);
const QColor square(250, 200, 30);

// A square that moves right by 10 pixels a frame over a plain background.
QImage frameAt(int step)
{
    QImage image(frameSize, QImage::Format_RGB32);
    image.fill(background);
    QPainter(&image).fillRect(20 + 10 * step, 60, 60, 60, square);
    return image;
}

int distance(QRgb a, QColor b)
{
    return std::max(
        {std::abs(qRed(a) - b.red()), std::abs(qGreen(a) - b.green()), std::abs(qBlue(a) - b.blue())});
}

struct Decoded {
    QList<QImage> frames;
    QList<qint64> times;
};

Decoded decodeAll(const QString &path)
{
    Decoded decoded;
    const Result<int> count = VideoProbe::decode(path, [&](const QImage &frame, qint64 time) {
        decoded.frames << frame;
        decoded.times << time;
        return true;
    });
    if (!count)
        qWarning("%s", qPrintable(count.error().message));
    return decoded;
}

VideoEncoder::Options options(VideoFormat format, QSize size = frameSize)
{
    return VideoEncoder::Options{format, size, 30};
}

} // namespace

class TestVideoEncoder : public QObject {
    Q_OBJECT
private slots:
    void formats_data()
    {
        QTest::addColumn<VideoFormat>("format");
        QTest::addColumn<qint64>("tolerance"); // how far a frame's time may move, in microseconds
        QTest::newRow("mp4") << VideoFormat::mp4 << qint64(1000);
        QTest::newRow("webm") << VideoFormat::webm << qint64(1000);
        QTest::newRow("gif") << VideoFormat::gif << qint64(5000);
    }

    // Frames at uneven times, a still stretch with no frame, and an end after the last frame: every frame
    // comes back at its time with its picture, and the file lasts until the end.
    void formats()
    {
        QFETCH(VideoFormat, format);
        QFETCH(qint64, tolerance);
        QTemporaryDir dir;
        const QString path = dir.filePath("clip." + rawValue(format));
        Result<std::unique_ptr<VideoEncoder>> opened = VideoEncoder::open(path, options(format));
        QVERIFY2(opened, opened ? "" : qPrintable(opened.error().message));
        VideoEncoder &encoder = *opened.value();
        const QList<qint64> times = {0, 33333, 66666, 100000, 700000, 733333, 1200000};
        for (int i = 0; i < times.size(); ++i)
            QVERIFY(encoder.write(frameAt(i), times[i]));
        // A frame that is not later than the last one is left out.
        QVERIFY(encoder.write(frameAt(0), 1200000));
        QCOMPARE(encoder.frameCount(), 7);
        // Another size is refused.
        QVERIFY(!encoder.write(QImage(10, 10, QImage::Format_RGB32), 1300000));
        QVERIFY(encoder.finish(2000000));
        QVERIFY(!QFile::exists(dir.filePath(".clip.gif.spool")));

        const Decoded decoded = decodeAll(path);
        // The last picture is shown until the end: MP4 and WebM say so with one more frame.
        QVERIFY2(decoded.frames.size() >= times.size(), qPrintable(QString::number(decoded.frames.size())));
        for (int i = 0; i < times.size(); ++i) {
            QVERIFY2(
                std::abs(decoded.times[i] - times[i]) <= tolerance,
                qPrintable(
                    QStringLiteral("frame %1 at %2, not %3").arg(i).arg(decoded.times[i]).arg(times[i])));
            const QImage &frame = decoded.frames[i];
            QCOMPARE(frame.size(), frameSize);
            // Inside the square and in the background, away from the edges the codecs soften.
            QVERIFY2(
                distance(frame.pixel(50 + 10 * i, 90), square) < 24,
                qPrintable(QStringLiteral("frame %1: %2").arg(i).arg(frame.pixel(50 + 10 * i, 90), 0, 16)));
            QVERIFY(distance(frame.pixel(300, 200), background) < 24);
            QVERIFY(distance(frame.pixel(5, 5), background) < 24);
        }
        const Result<VideoProbe::Summary> summary = VideoProbe::summarize(path);
        QVERIFY(summary);
        QVERIFY2(std::abs(summary->durationMicroseconds - 2000000) <= 40000,
                 qPrintable(QString::number(summary->durationMicroseconds)));
        QCOMPARE(summary->firstFrame.size(), frameSize);
        const std::optional<QImage> thumbnail = VideoProbe::thumbnail(path, 100);
        QVERIFY(thumbnail);
        QCOMPARE(thumbnail->size(), QSize(100, 75));
    }

    // A recording cut short, as when Pim is killed: what was written so far plays to its last second.
    void cutShortStillPlays_data()
    {
        QTest::addColumn<VideoFormat>("format");
        QTest::newRow("mp4") << VideoFormat::mp4;
        QTest::newRow("webm") << VideoFormat::webm;
    }
    void cutShortStillPlays()
    {
        QFETCH(VideoFormat, format);
        QTemporaryDir dir;
        const QString path = dir.filePath("cut." + rawValue(format));
        Result<std::unique_ptr<VideoEncoder>> opened = VideoEncoder::open(path, options(format));
        QVERIFY(opened);
        for (int i = 0; i < 40; ++i) // four seconds at ten frames a second
            QVERIFY(opened.value()->write(frameAt(i % 25), qint64(i) * 100000));
        // The file as it is now, before anything ends it.
        const QString copy = dir.filePath("copy." + rawValue(format));
        QVERIFY(QFile::copy(path, copy));
        opened.value().reset();
        const Decoded decoded = decodeAll(copy);
        QVERIFY2(decoded.frames.size() >= 25, qPrintable(QString::number(decoded.frames.size())));
        QVERIFY(decoded.times.last() >= 2900000);
        QVERIFY(distance(decoded.frames[24].pixel(50 + 240, 90), square) < 24);
        const Result<VideoProbe::Summary> summary = VideoProbe::summarize(copy);
        QVERIFY(summary);
        QVERIFY(summary->durationMicroseconds >= 2900000);
    }

    // A disk that fills up: the write that fails says why, and so does the end; nothing says it went well.
    void diskFull()
    {
        Result<std::unique_ptr<VideoEncoder>> opened =
            VideoEncoder::open("/dev/full", options(VideoFormat::mp4));
        QString error;
        if (!opened) {
            error = opened.error().message;
        } else {
            for (int i = 0; i < 60 && error.isEmpty(); ++i) {
                const Result<Done> written = opened.value()->write(frameAt(i % 25), qint64(i) * 100000);
                if (!written)
                    error = written.error().message;
            }
            if (error.isEmpty()) {
                const Result<Done> finished = opened.value()->finish(6000000);
                QVERIFY(!finished);
                error = finished.error().message;
            }
        }
        QVERIFY2(error.contains(QString::fromLocal8Bit(std::strerror(ENOSPC))), qPrintable(error));
    }

    void badInput()
    {
        QTemporaryDir dir;
        // Odd sizes for the codecs that need even ones, a folder that is not there, an empty GIF.
        Result<std::unique_ptr<VideoEncoder>> odd =
            VideoEncoder::open(dir.filePath("odd.mp4"), options(VideoFormat::mp4, QSize(321, 240)));
        QVERIFY(!odd);
        QVERIFY(odd.error().message.contains("paires"));
        QVERIFY(!VideoEncoder::open(dir.filePath("gone/clip.webm"), options(VideoFormat::webm)));
        QVERIFY(!VideoEncoder::open(dir.filePath("gone/clip.gif"), options(VideoFormat::gif)));
        Result<std::unique_ptr<VideoEncoder>> empty =
            VideoEncoder::open(dir.filePath("empty.gif"), options(VideoFormat::gif));
        QVERIFY(empty);
        QVERIFY(!empty.value()->finish(1000000));
        QVERIFY(!VideoProbe::summarize(dir.filePath("missing.mp4")));
        QFile junk(dir.filePath("junk.webm"));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray(5000, 'x'));
        junk.close();
        QVERIFY(!VideoProbe::summarize(junk.fileName()));
        QVERIFY(!VideoProbe::thumbnail(junk.fileName(), 64));
    }

    // Few colours are kept as they are (to the 5-bit grid); many are brought down to 255 and a transparent
    // entry's room; the weightiest colours get entries of their own.
    void palette()
    {
        std::vector<quint32> histogram(32768, 0);
        histogram[31 << 10] = 1000; // red
        histogram[31 << 5] = 10;    // green
        histogram[(10 << 10) | (20 << 5) | 30] = 3;
        std::vector<quint32> palette = GifEncoder::choosePalette(histogram);
        std::sort(palette.begin(), palette.end());
        QCOMPARE(palette, (std::vector<quint32>{0xff04fc04u, 0xff54a4f4u, 0xfffc0404u}));
        for (int i = 0; i < 32768; i += 3)
            histogram[size_t(i)] = 1 + quint32(i % 7);
        histogram[12345] = 10000000;
        palette = GifEncoder::choosePalette(histogram);
        QCOMPARE(palette.size(), size_t(255));
        const quint32 heavy = 0xff000000u | quint32((12345 >> 10) * 8 + 4) << 16 |
                              quint32((12345 >> 5 & 31) * 8 + 4) << 8 | quint32((12345 & 31) * 8 + 4);
        QVERIFY(std::find(palette.begin(), palette.end(), heavy) != palette.end());
        QCOMPARE(GifEncoder::choosePalette(std::vector<quint32>(32768, 0)).size(), size_t(1));
        QCOMPARE(VideoProbe::durationText(7400000), QStringLiteral("0:07"));
        QCOMPARE(VideoProbe::durationText(3723000000), QStringLiteral("1:02:03"));
    }
};

QTEST_GUILESS_MAIN(TestVideoEncoder)
#include "tst_videoencoder.moc"
