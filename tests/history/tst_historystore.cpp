// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/HistoryStore.h"
#include "support/FileSizeLimit.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimeZone>

class TestHistoryStore : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;

    QString path(const QString &name) const { return dir->filePath(name); }
    QString historyFile() const { return dir->filePath("Pim/history.json"); }
    QByteArray fileBytes() const
    {
        QFile file(historyFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    void writeHistory(const QByteArray &bytes)
    {
        QDir().mkpath(dir->filePath("Pim"));
        QFile file(historyFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    QString touch(const QString &name)
    {
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write("x");
        return file.fileName();
    }
    static QStringList paths(const HistoryStore &store)
    {
        QStringList list;
        for (const auto &entry : store.entries())
            list << entry.path;
        return list;
    }

private slots:
    void init() { dir = std::make_unique<QTemporaryDir>(); }

    void defaultLocation()
    {
        HistoryStore store;
        QCOMPARE(store.fileURL(),
                 QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Pim/history.json");
        QVERIFY(QFileInfo(store.fileURL()).dir().exists());
    }

    void firstAddCreatesTheFile()
    {
        HistoryStore store(dir->filePath("Pim/deeper"));
        QVERIFY(store.entries().isEmpty());
        const double before = HistoryStore::Entry::secondsSinceReferenceDate(QDateTime::currentDateTimeUtc());
        store.add(QUrl::fromLocalFile("/tmp/a b/é.png"));
        QCOMPARE(paths(store), QStringList{"/tmp/a b/é.png"});
        QVERIFY(store.entries().first().date >= before - 0.01);
        QVERIFY(store.entries().first().date < before + 60);
        QFile file(store.fileURL());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.startsWith("[{\"path\":\"/tmp/a b/é.png\",\"date\":"));
        QVERIFY(!bytes.contains('\n') && !bytes.contains(' ' + QByteArray("\"date")));
    }

    void formatAndReferenceDate()
    {
        // 2024-01-01 00:00:00 UTC is 725760000 seconds after the reference date.
        const QDateTime newYear(QDate(2024, 1, 1), QTime(0, 0), QTimeZone::utc());
        QCOMPARE(HistoryStore::Entry::secondsSinceReferenceDate(newYear), 725760000.0);
        QCOMPARE((HistoryStore::Entry{"/x", 725760000.0}.dateTime()), newYear);

        // Dates with microseconds come back exactly, members in any order, unknown members ignored.
        writeHistory(
            "[{\"date\":725760000.123456,\"path\":\"\\/one\",\"size\":12},{\"path\":\"/two\",\"date\":1e3}]");
        HistoryStore store(dir->filePath("Pim"));
        QCOMPARE(paths(store), QStringList({"/one", "/two"}));
        QCOMPARE(store.entries()[0].date, 725760000.123456);
        // The date keeps its fraction of a second (to the millisecond a QDateTime holds).
        QCOMPARE(store.entries()[0].dateTime(), newYear.addMSecs(123));
        QCOMPARE(HistoryStore::Entry::secondsSinceReferenceDate(newYear.addMSecs(250)), 725760000.25);
        store.add(QString("/three"));
        QCOMPARE(HistoryStore::decode(fileBytes())->at(1), (HistoryStore::Entry{"/one", 725760000.123456}));
        QVERIFY(!fileBytes().contains("size"));
        QVERIFY(fileBytes().contains("{\"path\":\"/two\",\"date\":1000}"));
    }

    void addMovesToFrontAndCaps()
    {
        HistoryStore store(dir->filePath("Pim"));
        for (int i = 0; i < 50; ++i)
            store.add(path(QString("f%1.png").arg(i)));
        QCOMPARE(store.entries().size(), 50);
        store.add(path("f10.png"));
        QCOMPARE(store.entries().size(), 50);
        QCOMPARE(store.entries()[0].path, path("f10.png"));
        QCOMPARE(store.entries()[1].path, path("f49.png"));
        QCOMPARE(paths(store).count(path("f10.png")), 1);
        // Canonically equivalent spellings are one path: "é" precomposed and decomposed.
        store.add(QString::fromUtf8("/x/caf\u00e9.png"));
        store.add(QString::fromUtf8("/x/cafe\u0301.png"));
        QCOMPARE(store.entries()[1].path, path("f10.png"));
        // The 51st distinct path drops the oldest entry but not its file.
        const QString oldest = touch("f0.png");
        QCOMPARE(store.entries().last().path, path("f1.png"));
        store.add(path("new.png"));
        QCOMPARE(store.entries().size(), 50);
        QVERIFY(!paths(store).contains(path("f1.png")));
        QVERIFY(QFile::exists(oldest));
        // What is on disk is what is in memory.
        QCOMPARE(paths(HistoryStore(dir->filePath("Pim"))), paths(store));
    }

    void removeRules()
    {
        HistoryStore store(dir->filePath("Pim"));
        int calls = 0;
        store.onChange = [&] { ++calls; };
        const QString kept = touch("kept.png");
        const QString trashed = touch("trashed.png");
        store.add(kept);
        store.add(trashed);
        QCOMPARE(calls, 2);

        store.remove(trashed, true);
        QCOMPARE(paths(store), QStringList{kept});
        QVERIFY(!QFile::exists(trashed));
        const QString trashFolder =
            QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/Trash/files";
        QVERIFY(QFile::exists(trashFolder + "/trashed.png"));
        QVERIFY(!QFile::exists(QDir::currentPath() + "/files/trashed.png"));
        QCOMPARE(calls, 3);

        // Already gone, or never there: nothing to write, but notified.
        const QByteArray before = fileBytes();
        store.remove(trashed, true);
        QCOMPARE(calls, 4);
        store.remove("/not/in/history", false);
        QCOMPARE(calls, 5);
        QCOMPARE(fileBytes(), before);

        store.remove(kept, false);
        QVERIFY(QFile::exists(kept));
        QCOMPARE(fileBytes(), QByteArray("[]"));
    }

    // Qt 6.4 moves trashed files into ./files when the data folder does not exist yet.
    void trashWithoutDataFolder()
    {
        const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QDir(data).removeRecursively();
        HistoryStore store(dir->filePath("Pim"));
        const QString file = touch("t.png");
        store.add(file);
        store.remove(file, true);
        QVERIFY(QFile::exists(data + "/Trash/files/t.png"));
        QVERIFY(!QDir(QDir::currentPath() + "/files").exists());
    }

    void cleanupMissingFiles()
    {
        HistoryStore store(dir->filePath("Pim"));
        QStringList files;
        for (int i = 0; i < 5; ++i)
            files << touch(QString("c%1.png").arg(i));
        for (const QString &file : files)
            store.add(file);
        int calls = 0;
        store.onChange = [&] { ++calls; };

        const QDateTime written = QFileInfo(historyFile()).lastModified();
        QTest::qWait(20);
        store.cleanupMissingFiles();
        QCOMPARE(calls, 0);
        QCOMPARE(QFileInfo(historyFile()).lastModified(), written); // nothing changed, nothing written

        QFile::remove(files[1]);
        QFile::remove(files[3]);
        store.cleanupMissingFiles();
        QCOMPARE(calls, 1);
        QCOMPARE(paths(store), QStringList({files[4], files[2], files[0]}));
        QCOMPARE(paths(HistoryStore(dir->filePath("Pim"))), paths(store));
    }

    void unreadableFilesGiveAnEmptyHistoryAndAreKeptAsBad_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("not json") << QByteArray("{not json");
        QTest::newRow("object") << QByteArray("{\"path\":\"/a\",\"date\":1}");
        QTest::newRow("truncated") << QByteArray("[{\"path\":\"/a\",\"da");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe[", 4);
        QTest::newRow("very large") << QByteArray("[" + QByteArray(5 * 1024 * 1024, ' ') + "]");
    }
    void unreadableFilesGiveAnEmptyHistoryAndAreKeptAsBad()
    {
        QFETCH(QByteArray, bytes);
        writeHistory(bytes);
        HistoryStore store(dir->filePath("Pim"));
        QVERIFY(store.entries().isEmpty());
        store.cleanupMissingFiles();
        QCOMPARE(fileBytes(), bytes);
        store.add(QString("/only.png"));
        QCOMPARE(paths(HistoryStore(dir->filePath("Pim"))), QStringList{"/only.png"});
        // The unreadable file is still there, beside the new one.
        QFile bad(historyFile() + ".bad");
        QVERIFY(bad.open(QIODevice::ReadOnly));
        QCOMPARE(bad.readAll(), bytes);
    }

    // One malformed element costs that element only; the next change writes the good ones back.
    void malformedElementsAreSkipped()
    {
        QByteArray json = "[";
        for (int i = 0; i < 49; ++i)
            json += "{\"path\":\"/good" + QByteArray::number(i) +
                    "\",\"date\":" + QByteArray::number(1000 + i) + "},";
        json +=
            "{\"path\":\"/no-date\"},[],{\"path\":3,\"date\":1},{\"path\":\"/text-date\",\"date\":\"1\"}]";
        writeHistory(json);
        HistoryStore store(dir->filePath("Pim"));
        QCOMPARE(store.entries().size(), 49);
        QCOMPARE(store.entries().first().path, QString("/good0"));
        store.add(QString("/new.png"));
        const QStringList kept = paths(HistoryStore(dir->filePath("Pim")));
        QCOMPARE(kept.size(), 50);
        QCOMPARE(kept.first(), QString("/new.png"));
        QCOMPARE(kept.last(), QString("/good48"));
        QVERIFY(!QFile::exists(historyFile() + ".bad"));
    }

    // More than 50 entries: cut to the first 50 when read.
    void longFilesAreCutWhenRead()
    {
        QList<HistoryStore::Entry> many;
        for (int i = 0; i < 70; ++i)
            many.append({"/f" + QString::number(i), double(i)});
        writeHistory(HistoryStore::encode(many));
        HistoryStore store(dir->filePath("Pim"));
        QCOMPARE(store.entries().size(), 50);
        QCOMPARE(store.entries().last().path, QString("/f49"));
    }

    // Stores in several threads (each its own file handle, as separate processes would have) add at the
    // same time: every entry lands.
    void simultaneousSavesKeepEveryEntry()
    {
        const QString folder = dir->filePath("Pim");
        const HistoryStore creator(folder); // creates the folder
        QList<QThread *> threads;
        for (int t = 0; t < 4; ++t) {
            threads << QThread::create([folder, t] {
                HistoryStore store(folder);
                for (int i = 0; i < 10; ++i)
                    store.add(QString("/t%1-%2.png").arg(t).arg(i));
            });
            threads.last()->start();
        }
        for (QThread *thread : threads) {
            QVERIFY(thread->wait(30000));
            delete thread;
        }
        QCOMPARE(HistoryStore(folder).entries().size(), 40);
    }

    void historyPathIsAFolder()
    {
        QDir().mkpath(historyFile());
        HistoryStore store(dir->filePath("Pim"));
        int calls = 0;
        store.onChange = [&] { ++calls; };
        store.add(QString("/a.png"));
        // The write fails quietly; memory and notification carry on.
        QCOMPARE(paths(store), QStringList{"/a.png"});
        QCOMPARE(calls, 1);
        QVERIFY(QFileInfo(historyFile()).isDir());
    }

    // The file is replaced by rename: a full disk in the middle of a write (here a file-size limit) leaves
    // the previous history whole instead of a truncated file.
    void fullDiskKeepsThePreviousFile()
    {
        HistoryStore store(dir->filePath("Pim"));
        for (int i = 0; i < 40; ++i)
            store.add(QString("/captures/Capture 2026-12-05 à 17.51.%1.png").arg(i));
        const QByteArray before = fileBytes();
        QVERIFY(before.size() > 2048);

        int calls = 0;
        store.onChange = [&] { ++calls; };
        {
            const FileSizeLimit full(1024);
            QVERIFY(full.isActive());
            store.add(QString("/captures/new.png"));
        }

        QCOMPARE(calls, 1);
        QCOMPARE(store.entries().first().path, QString("/captures/new.png"));
        QCOMPARE(fileBytes(), before);
        QCOMPARE(HistoryStore(dir->filePath("Pim")).entries().size(), 40);
        QCOMPARE(QDir(dir->filePath("Pim")).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"history.json", "history.json.lock"}));

        // Every change made while the disk is full stays in memory, and reaches the file once it can.
        {
            const FileSizeLimit full(1024);
            store.add(QString("/captures/newer.png"));
            store.add(QString("/captures/newest.png"));
        }
        QCOMPARE(paths(store).mid(0, 3),
                 (QStringList{"/captures/newest.png", "/captures/newer.png", "/captures/new.png"}));
        QCOMPARE(fileBytes(), before);
        store.remove(QString("/captures/Capture 2026-12-05 à 17.51.0.png"), false);
        QCOMPARE(paths(HistoryStore(dir->filePath("Pim"))), paths(store));
        QCOMPARE(store.entries().size(), 42);
    }

    // The list in memory keeps each change when the file cannot be written, or was deleted or damaged
    // after it was read.
    void changesAreKeptWhenTheFileFails()
    {
        QDir().mkpath(historyFile()); // a folder where the file should be: nothing can be written
        HistoryStore unwritable(dir->filePath("Pim"));
        for (const char *name : {"/a.png", "/b.png", "/c.png"})
            unwritable.add(QString(name));
        QCOMPARE(paths(unwritable), (QStringList{"/c.png", "/b.png", "/a.png"}));
        QDir().rmdir(historyFile());

        HistoryStore store(dir->filePath("Pim"));
        store.add(QString("/1.png"));
        store.add(QString("/2.png"));
        QVERIFY(QFile::remove(historyFile()));
        store.add(QString("/3.png"));
        QCOMPARE(paths(store), (QStringList{"/3.png", "/2.png", "/1.png"}));
        QCOMPARE(paths(HistoryStore(dir->filePath("Pim"))), paths(store)); // written again whole

        writeHistory("{damaged");
        store.add(QString("/4.png"));
        QCOMPARE(paths(store), (QStringList{"/4.png", "/3.png", "/2.png", "/1.png"}));
        QCOMPARE(paths(HistoryStore(dir->filePath("Pim"))), paths(store));
        QVERIFY(QFile::exists(historyFile() + ".bad"));

        // A readable file still brings in what another process added meanwhile.
        HistoryStore other(dir->filePath("Pim"));
        other.add(QString("/other.png"));
        store.add(QString("/5.png"));
        QCOMPARE(paths(store), (QStringList{"/5.png", "/other.png", "/4.png", "/3.png", "/2.png", "/1.png"}));
    }
};

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "tst_historystore.moc"
