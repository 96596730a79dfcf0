// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/HistoryStore.h"
#include "output/ImageLoader.h"
#include "output/OutputPipeline.h"
#include "settings/AppSettings.h"
#include "support/FileSizeLimit.h"
#include "support/TestImages.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

class TestOutputPipeline : public QObject {
    Q_OBJECT

    QTemporaryDir root;
    OutputPipeline pipeline;
    AppSettings &settings = AppSettings::shared();
    HistoryStore &history = HistoryStore::shared();

    QString folder(const QString &name) const { return root.filePath(name); }
    QStringList filesIn(const QString &path) const
    {
        return QDir(path).entryList(QDir::Files | QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot,
                                    QDir::Name);
    }
    static QByteArray contents(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void initTestCase()
    {
        // As the app wires it: every saved file goes into the history.
        pipeline.onSaved = [](const QString &path) { HistoryStore::shared().add(path); };
    }

    void init()
    {
        settings.defaults().clear();
        while (!history.entries().isEmpty())
            history.remove(history.entries().first().path, false);
    }

    void savesUnderTheRenderedNameAndRecordsIt()
    {
        // Several missing levels are created.
        const QString target = folder("a/b/c");
        settings.setDestinationDirectory(target);
        const QDateTime before = QDateTime::currentDateTime();
        const Result<QString> saved = pipeline.save(TestImages::sample(), 2);
        QVERIFY2(saved.ok(), qPrintable(saved ? QString() : saved.error().message));
        const QString name = QFileInfo(*saved).fileName();
        QVERIFY2(name.startsWith("Capture " + before.toString("yyyy-MM-dd") + " à "), qPrintable(name));
        QVERIFY(name.endsWith(".png"));
        QCOMPARE(QFileInfo(*saved).absolutePath(), target);
        QCOMPARE(ImageLoader::load(*saved)->scale, 2);
        QCOMPARE(history.entries().size(), 1);
        QCOMPARE(history.entries().first().path, *saved);
    }

    // With no folder chosen, captures go to the desktop folder that xdg-user-dirs names (here a French
    // "Bureau"), made when it is missing.
    void theDefaultFolderIsTheUsersDesktop()
    {
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY2(config.contains("/pim-test."), "needs the private folders of tests/run-isolated.sh");
        QDir().mkpath(config);
        QFile dirs(config + "/user-dirs.dirs");
        QVERIFY(dirs.open(QIODevice::WriteOnly | QIODevice::Truncate));
        dirs.write("# written by a test\nXDG_DESKTOP_DIR=\"$HOME/Bureau\"\n");
        dirs.close();
        const QString desktop = QDir::homePath() + "/Bureau";
        QDir(desktop).removeRecursively();
        QCOMPARE(settings.destinationDirectory(), desktop);
        const Result<QString> saved = pipeline.save(TestImages::sample(), 1);
        QVERIFY2(saved, saved ? "" : qPrintable(saved.error().message));
        QCOMPARE(QFileInfo(*saved).absolutePath(), desktop);
        QFile::remove(dirs.fileName());
        QDir(desktop).removeRecursively();
    }

    void formatAndQualityFromTheSettings()
    {
        settings.setDestinationDirectory(folder("fmt"));
        settings.setFilenamePattern("shot");
        settings.setImageFormat(ImageFormat::jpeg);
        const Result<QString> jpeg = pipeline.save(TestImages::sample(), 1);
        QVERIFY(jpeg.ok());
        QCOMPARE(QFileInfo(*jpeg).fileName(), QString("shot.jpg"));
        QCOMPARE(contents(*jpeg).left(2), QByteArray("\xFF\xD8"));

        settings.defaults().setValue(AppSettings::imageFormatKey, "JPEG"); // not a raw value: PNG
        const Result<QString> png = pipeline.save(TestImages::sample(), 1);
        QCOMPARE(QFileInfo(*png).fileName(), QString("shot.png"));

        settings.setImageFormat(ImageFormat::webp);
        const Result<QString> webp = pipeline.save(TestImages::sample(), 1);
        QCOMPARE(QFileInfo(*webp).fileName(), QString("shot.webp"));
        QCOMPARE(contents(*webp).mid(8, 4), QByteArray("WEBP"));
    }

    void numbersFollowingNames()
    {
        const QString target = folder("numbers");
        settings.setDestinationDirectory(target);
        settings.setFilenamePattern("Capture 2026-12-05 à 17.51.13");
        QDir().mkpath(target + "/Capture 2026-12-05 à 17.51.13 2.png"); // a folder takes the name too
        QStringList names;
        for (int i = 0; i < 3; ++i)
            names << QFileInfo(*pipeline.save(TestImages::sample(), 1)).fileName();
        QCOMPARE(names,
                 QStringList({"Capture 2026-12-05 à 17.51.13.png", "Capture 2026-12-05 à 17.51.13 3.png",
                              "Capture 2026-12-05 à 17.51.13 4.png"}));
        QCOMPARE(history.entries().first().path, target + "/Capture 2026-12-05 à 17.51.13 4.png");
    }

    // Files created by anyone at the same moment are never overwritten: each writer gets its own name.
    void concurrentWritersNeverOverwrite()
    {
        const QString target = folder("race");
        QDir().mkpath(target);
        QFile existing(target + "/same.png");
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("precious");
        existing.close();

        QList<QByteArray> payloads;
        for (int i = 0; i < 16; ++i)
            payloads << QByteArray(100000 + i, char('a' + i));
        const QList<Result<QString>> results =
            QtConcurrent::blockingMapped(payloads, [&](const QByteArray &bytes) {
                return OutputPipeline::writeNewFile(target, "same", "png", bytes);
            });
        QSet<QString> paths;
        for (qsizetype i = 0; i < results.size(); ++i) {
            QVERIFY(results[i].ok());
            paths.insert(*results[i]);
            QCOMPARE(contents(*results[i]), payloads[i]);
        }
        QCOMPARE(paths.size(), 16);
        QCOMPARE(contents(target + "/same.png"), QByteArray("precious"));
        QCOMPARE(filesIn(target).size(), 17);
    }

    void hostilePatternsStayInTheFolder()
    {
        const QString target = folder("hostile");
        settings.setDestinationDirectory(target);
        for (const QString &pattern : {QString("../../escape {time}"), QString(".."), QString("a\nb\nc"),
                                       QString(500, u'x'), QString("/{date}/")}) {
            settings.defaults().setValue(AppSettings::filenamePatternKey, pattern);
            const Result<QString> saved = pipeline.save(TestImages::sample(8, 8), 1);
            QVERIFY2(saved.ok(), qPrintable(pattern));
            QCOMPARE(QFileInfo(*saved).absolutePath(), target);
        }
        QCOMPARE(filesIn(target).size(), 5);
        QCOMPARE(filesIn(root.path()).contains("escape"), false);
    }

    void destinationIsAFile()
    {
        const QString blocker = folder("blocker");
        QFile file(blocker);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        for (const QString &target : {blocker, blocker + "/inside"}) {
            settings.setDestinationDirectory(target);
            const Result<QString> saved = pipeline.save(TestImages::sample(), 1);
            QVERIFY(!saved.ok());
            QCOMPARE(saved.error().message, QString::fromLocal8Bit(strerror(ENOTDIR)));
        }
        QVERIFY(history.entries().isEmpty());
    }

    void destinationRefused()
    {
        // Even root cannot make folders in /proc.
        settings.setDestinationDirectory("/proc/pim-cannot-exist/captures");
        const Result<QString> saved = pipeline.save(TestImages::sample(), 1);
        QVERIFY(!saved.ok());
        QVERIFY(!saved.error().message.isEmpty());
        QVERIFY(history.entries().isEmpty());
    }

    // A full disk, simulated with a file-size limit: the error comes back, no partial file is left.
    void fullDisk()
    {
        const QString target = folder("full");
        settings.setDestinationDirectory(target);
        settings.setFilenamePattern("big");
        QDir().mkpath(target);
        std::optional<Result<QString>> attempt;
        {
            const FileSizeLimit full(4096);
            QVERIFY(full.isActive());
            attempt = pipeline.save(TestImages::sample(800, 600), 1);
        }
        const Result<QString> &saved = *attempt;
        QVERIFY(!saved.ok());
        QCOMPARE(saved.error().message, QString::fromLocal8Bit(strerror(EFBIG)));
        QCOMPARE(filesIn(target), QStringList());
        QVERIFY(history.entries().isEmpty());
    }

    // Killed while a capture's file is being written: the file is whole or absent, never short, and the
    // name stays free for the next capture.
    void aCaptureFileIsWholeOrAbsent()
    {
        const QString target = folder("killed");
        QVERIFY(QDir().mkpath(target));
        const QByteArray bytes(256 * 1024 * 1024, 'p');
        for (const int afterMs : {5, 30}) {
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                (void)OutputPipeline::writeNewFile(target, "capture", "png", bytes);
                ::_exit(0);
            }
            QTest::qWait(afterMs);
            ::kill(child, SIGKILL);
            int status = 0;
            ::waitpid(child, &status, 0);
            for (const QString &name : filesIn(target))
                QCOMPARE(QFileInfo(target + "/" + name).size(), qint64(bytes.size()));
        }
        // The positive control: left alone, the writer names its file.
        const QStringList before = filesIn(target);
        const Result<QString> written =
            OutputPipeline::writeNewFile(target, "capture", "png", QByteArray("whole"));
        QVERIFY(written.ok());
        QCOMPARE(contents(*written), QByteArray("whole"));
        QCOMPARE(filesIn(target).size(), before.size() + 1);
    }

    // A folder path longer than the system takes fails before anything is made.
    void aFolderPathTooLongLeavesNothing()
    {
        const QString target = folder("long") + "/" + QString(300, u'x') + "/captures";
        settings.setDestinationDirectory(target);
        const Result<QString> saved = pipeline.save(TestImages::sample(), 1);
        QVERIFY(!saved.ok());
        QCOMPARE(saved.error().message, QString::fromLocal8Bit(strerror(ENAMETOOLONG)));
        QVERIFY(!QFileInfo::exists(folder("long")));
        QString deep = folder("deep");
        while (deep.size() < 4200)
            deep += "/" + QString(200, u'd');
        settings.setDestinationDirectory(deep);
        QVERIFY(!pipeline.save(TestImages::sample(), 1).ok());
        QVERIFY(!QFileInfo::exists(folder("deep")));
        QVERIFY(history.entries().isEmpty());
    }

    void encodingFailureWritesNothing()
    {
        const QString target = folder("nothing");
        settings.setDestinationDirectory(target);
        const Result<QString> saved = pipeline.save(QImage(), 1);
        QVERIFY(!saved.ok());
        QCOMPARE(saved.error().message, QString("L'encodage de l'image a échoué."));
        QVERIFY(!QFileInfo::exists(target));
        QVERIFY(history.entries().isEmpty());
    }
};

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    TestOutputPipeline test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_outputpipeline.moc"
