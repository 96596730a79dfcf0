// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/TextIndex.h"
#include "history/TextIndexer.h"
#include "settings/AppSettings.h"
#include "support/FileSizeLimit.h"
#include "support/TestImages.h"

#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using Record = TextIndex::Record;

class TestTextIndex : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir;

    QString indexPath() const { return dir->filePath("Pim/text-index.sqlite"); }
    static QStringList sorted(QStringList list)
    {
        list.sort();
        return list;
    }
    static QStringList found(TextIndex &index, const QString &query)
    {
        return sorted(index.search(query).values());
    }
    QString touch(const QString &name, const QByteArray &content = "x")
    {
        QFile file(dir->filePath(name));
        if (!file.open(QIODevice::WriteOnly))
            return {};
        file.write(content);
        return file.fileName();
    }
    static QList<HistoryStore::Entry> entries(const QStringList &paths)
    {
        QList<HistoryStore::Entry> list;
        for (const QString &path : paths)
            list << HistoryStore::Entry{path, 1};
        return list;
    }
    // The suites run side by side, where an idle-class reading could wait long; and no quiet time to
    // wait through beyond the given one.
    static void quickAndNormalPriority(TextIndexer &indexer, int quietMilliseconds)
    {
        indexer.setIdlePriority(false);
        indexer.quietMilliseconds = quietMilliseconds;
    }
    static bool waitForIdle(TextIndexer &indexer, int timeout = 60000)
    {
        QSignalSpy idle(&indexer, &TextIndexer::idle);
        return idle.wait(timeout);
    }

    // A stand-in for the reader program: prints the picture's name and languages, and notes each
    // reading in a log. Pictures named broken fail, slow never end, long take a second of steps (counted
    // in NAME.steps), replaced and deleted are replaced or deleted while they are read.
    QString reader;
    QString readLog() const { return dir->filePath("reads.log"); }
    QStringList readsSoFar() const
    {
        QFile file(readLog());
        return file.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
                   : QStringList();
    }

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        AppSettings::shared().defaults().clear();
        reader = dir->filePath("reader.sh");
        QFile script(reader);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(QStringLiteral(
                         "#!/bin/bash\n"
                         "[ \"$1\" = --read-text ] || exit 3\n"
                         "basename \"$2\" >> '%1'\n"
                         "case \"$2\" in\n"
                         "  *broken*) echo 'illisible' >&2; exit 1;;\n"
                         "  *slow*) exec sleep 30;;\n"
                         "  *long*) for i in $(seq 1 100); do printf . >> \"$2.steps\"; sleep 0.01; done;;\n"
                         "  *replaced*) sleep 0.05; echo 'une autre image, plus longue' > \"$2\";;\n"
                         "  *deleted*) rm -f \"$2\";;\n"
                         "esac\n"
                         "echo \"texte de $(basename \"$2\") en $3\"\n")
                         .arg(readLog())
                         .toUtf8());
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void storesSearchesAndRemoves()
    {
        TextIndex index(indexPath());
        QVERIFY2(index.isAvailable(), qPrintable(index.problem()));
        const Record first{
            "/c/un.png", 10, 1000, {"fr-FR", "en-US"}, "Réunion très importante à Genève\nÉcran bleu"};
        QVERIFY(index.store(first));
        QVERIFY(index.store({"/c/deux.png", 20, 2000, {"fr-FR"}, "ERROR: disk full\ncode 0x80070070"}));
        QVERIFY(index.store({"/c/trois.png", 30, 3000, {"fr-FR"}, ""}));
        QCOMPARE(index.record("/c/un.png"), first);
        QCOMPARE(index.record("/c/aucun.png"), std::nullopt);
        QCOMPARE(sorted(index.paths()), QStringList({"/c/deux.png", "/c/trois.png", "/c/un.png"}));

        // Accents and case aside, each word a prefix, every word required.
        QCOMPARE(found(index, "ecran"), QStringList({"/c/un.png"}));
        QCOMPARE(found(index, "GENEVE"), QStringList({"/c/un.png"}));
        QCOMPARE(found(index, "impor reu"), QStringList({"/c/un.png"}));
        QCOMPARE(found(index, "error full"), QStringList({"/c/deux.png"}));
        QVERIFY(found(index, "error bleu").isEmpty());
        QCOMPARE(index.text("/c/deux.png"), QString("ERROR: disk full\ncode 0x80070070"));
        QCOMPARE(index.text("/c/aucun.png"), QString());
        QVERIFY(found(index, "").isEmpty());

        // Replacing a row replaces its words.
        QVERIFY(index.store({"/c/un.png", 11, 1001, {"fr-FR"}, "Autre chose"}));
        QVERIFY(found(index, "geneve").isEmpty());
        QCOMPARE(found(index, "autre"), QStringList({"/c/un.png"}));
        index.remove("/c/un.png");
        QVERIFY(found(index, "autre").isEmpty());
        QCOMPARE(index.record("/c/un.png"), std::nullopt);
        // And all of it is still there for the next process.
        TextIndex again(indexPath());
        QCOMPARE(found(again, "disk"), QStringList({"/c/deux.png"}));
    }

    void hostileQueriesArePlainWords()
    {
        TextIndex index(indexPath());
        QVERIFY(index.store({"/c/a.png", 1, 1, {}, "NEAR the error, quoted \"text\" and stars*"}));
        QVERIFY(index.store({"/c/missing.png", 1, 1, {}, "HTTP 404 FILE NOT FOUND"}));
        QVERIFY(index.store({"/c/either.png", 1, 1, {}, "choose one: error or nothing"}));
        const QStringList hostile{"\"",
                                  "\"unterminated",
                                  "error\"",
                                  "*",
                                  "NEAR(error quoted)",
                                  "error OR nothing",
                                  "-error",
                                  "^error",
                                  "text:error",
                                  "error AND",
                                  "'; DROP TABLE captures; --",
                                  "NOT",
                                  "(",
                                  "error*",
                                  QString(10000, u'a'),
                                  QString(5000, u' ') + "error"};
        for (const QString &query : hostile)
            index.search(query); // never an error, never a crash
        // The engine's operators are words like the others.
        QCOMPARE(found(index, "not found"), QStringList({"/c/missing.png"}));
        QCOMPARE(found(index, "file NOT found"), QStringList({"/c/missing.png"}));
        QCOMPARE(found(index, "NEAR(error quoted)"), QStringList({"/c/a.png"}));
        QCOMPARE(found(index, "near error"), QStringList({"/c/a.png"}));
        QCOMPARE(found(index, "error OR nothing"), QStringList({"/c/either.png"})); // every word, "or" too
        QCOMPARE(found(index, "error AND"), QStringList({"/c/a.png"}));             // "and" is in a's text
        QCOMPARE(found(index, "error*"), sorted({"/c/a.png", "/c/either.png"}));
        QCOMPARE(found(index, "\"text\""), QStringList({"/c/a.png"}));
        QCOMPARE(found(index, "\"quoted text\""), QStringList({"/c/a.png"})); // quotes are no phrase
        QVERIFY(found(index, "'; DROP TABLE captures; --").isEmpty());
        QVERIFY(found(index, "-error").size() == 2); // no negation either
        QVERIFY(index.isAvailable());
        QCOMPARE(sorted(index.paths()), sorted({"/c/a.png", "/c/missing.png", "/c/either.png"}));
        // A query of thousands of words is cut to its first words.
        QStringList many;
        for (int i = 0; i < 3000; ++i)
            many << "error";
        QCOMPARE(found(index, many.join(u' ')), sorted({"/c/a.png", "/c/either.png"}));
    }

    void remadeWhenDamagedMissingOrOld()
    {
        {
            TextIndex index(indexPath());
            QVERIFY(index.store({"/c/a.png", 1, 1, {}, "bonjour"}));
        }
        // Not a database at all.
        QFile garbage(indexPath());
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(8192, 'z'));
        garbage.close();
        {
            TextIndex index(indexPath());
            QVERIFY2(index.isAvailable(), qPrintable(index.problem()));
            QVERIFY(index.paths().isEmpty());
            QVERIFY(index.store({"/c/b.png", 1, 1, {}, "salut"}));
        }
        // Another version.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "old");
            db.setDatabaseName(indexPath());
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec("PRAGMA user_version = 7"));
            db.close();
        }
        QSqlDatabase::removeDatabase("old");
        {
            TextIndex index(indexPath());
            QVERIFY(index.isAvailable());
            QVERIFY(index.paths().isEmpty());
        }
        // Deleted.
        QVERIFY(QFile::remove(indexPath()));
        TextIndex index(indexPath());
        QVERIFY(index.isAvailable());
        QVERIFY(QFile::exists(indexPath()));
    }

    void outOfReachTurnsSearchOffAndTouchesNothing()
    {
        {
            TextIndex index(indexPath());
            QVERIFY(index.store({"/c/a.png", 1, 1, {}, "bonjour"}));
        }
        // Another process holds the database.
        {
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
            other.setDatabaseName(indexPath());
            QVERIFY(other.open());
            QSqlQuery hold(other);
            QVERIFY(hold.exec("PRAGMA locking_mode = EXCLUSIVE"));
            QVERIFY(hold.exec("BEGIN EXCLUSIVE"));
            QVERIFY(hold.exec("UPDATE captures SET size = 2"));
            {
                TextIndex locked(indexPath());
                if (locked.isAvailable()) {
                    // Opened for reading before the lock bit: writing is refused all the same.
                    QVERIFY(!locked.store({"/c/b.png", 1, 1, {}, "salut"}));
                }
                QVERIFY(!locked.isAvailable());
                QVERIFY(!locked.problem().isEmpty());
                QVERIFY(locked.search("bonjour").isEmpty());
            }
            QVERIFY(hold.exec("ROLLBACK"));
            hold.finish();
            other.close();
        }
        QSqlDatabase::removeDatabase("other");
        TextIndex index(indexPath());
        QCOMPARE(found(index, "bonjour"), QStringList({"/c/a.png"})); // the held file was not remade

        // A place where no file can be made: search is off, with the reason.
        touch("blocker");
        TextIndex nowhere(dir->filePath("blocker/text-index.sqlite"));
        QVERIFY(!nowhere.isAvailable());
        QVERIFY(!nowhere.problem().isEmpty());

        // A full disk: the write fails and search turns off; nothing else breaks.
        TextIndex full(dir->filePath("full/text-index.sqlite"));
        QVERIFY(full.isAvailable());
        {
            FileSizeLimit limit(64 * 1024);
            QVERIFY(limit.isActive());
            bool stored = true;
            for (int i = 0; i < 200 && stored; ++i)
                stored =
                    full.store({QString("/c/%1.png").arg(i), 1, 1, {}, QString(2000, QChar(u'a' + i % 26))});
            QVERIFY(!stored);
        }
        QVERIFY(!full.isAvailable());
    }

    // Locked by another program at start and for a while, then released: search comes back by itself and
    // the captures made meanwhile are indexed.
    void aLockedIndexComesBack()
    {
        {
            TextIndex made(indexPath());
            QVERIFY(made.isAvailable());
        }
        const QString other = QStringLiteral("other-program");
        {
            QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), other);
            holder.setDatabaseName(indexPath());
            QVERIFY(holder.open());
            QSqlQuery lock(holder);
            QVERIFY(lock.exec("PRAGMA locking_mode=EXCLUSIVE"));
            QVERIFY(lock.exec("BEGIN EXCLUSIVE"));
            QVERIFY(lock.exec(
                "INSERT INTO captures(path, size, modified, languages, text) VALUES ('/x', 1, 1, '', 'x')"));

            TextIndex index(indexPath());
            index.retryMilliseconds = 100;
            QVERIFY(!index.isAvailable());
            QVERIFY(!index.problem().isEmpty());
            TextIndexer indexer(&index, reader);
            quickAndNormalPriority(indexer, 0);
            const QString a = touch("a.png");
            indexer.follow(entries({a}));
            QTest::qWait(300);
            QVERIFY(!index.ensureAvailable()); // still locked: still off, and nothing read
            QVERIFY(readsSoFar().isEmpty());

            QVERIFY(lock.exec("ROLLBACK"));
            lock.finish();
            holder.close();
            QSignalSpy stored(&indexer, &TextIndexer::indexed);
            QTRY_VERIFY_WITH_TIMEOUT(index.ensureAvailable(), 5000);
            QVERIFY(index.problem().isEmpty());
            QTRY_VERIFY_WITH_TIMEOUT(!index.text(a).isEmpty(), 10000);
            QCOMPARE(found(index, "texte"), QStringList({a}));
        }
        QSqlDatabase::removeDatabase(other);
    }

    void indexerFollowsTheHistory()
    {
        TextIndex index(indexPath());
        TextIndexer indexer(&index, reader);
        quickAndNormalPriority(indexer, 10);
        const QString a = touch("a.png"), b = touch("b.png"), c = touch("c.png");
        indexer.follow(entries({a, b, c}));
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(readsSoFar(), QStringList({"a.png", "b.png", "c.png"})); // newest first, as listed
        QCOMPARE(found(index, "texte"), sorted({a, b, c}));
        QCOMPARE(index.text(a).trimmed(), QString("texte de a.png en fr-FR,en-US"));

        // Following again reads nothing that has not changed; a changed file is read again; a file gone
        // from the history leaves the index.
        QFile::remove(readLog());
        QThread::msleep(20);
        touch("b.png", "changé");
        indexer.follow(entries({b, c}));
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(readsSoFar(), QStringList({"b.png"}));
        QCOMPARE(sorted(index.paths()), sorted({b, c}));

        // Other languages: read again.
        QFile::remove(readLog());
        AppSettings::shared().setOcrLanguages("de-DE");
        indexer.follow(entries({b, c}));
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(readsSoFar(), QStringList({"b.png", "c.png"}));
        QCOMPARE(index.record(b)->languages, QStringList({"de-DE"}));

        // A picture the reader fails on is recorded without text, so it is not read again and again.
        QFile::remove(readLog());
        const QString d = touch("broken.png");
        indexer.follow(entries({d, b, c}));
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(index.record(d)->text, QString());
        indexer.follow(entries({d, b, c}));
        const QString e = touch("e.png"); // the positive control: a new picture is read
        indexer.follow(entries({e, d, b, c}));
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(readsSoFar(), QStringList({"broken.png", "e.png"}));
    }

    void aFileChangedWhileReadIsSkipped()
    {
        TextIndex index(indexPath());
        TextIndexer indexer(&index, reader);
        quickAndNormalPriority(indexer, 10);
        // The reader itself replaces the one and deletes the other while it reads them.
        const QString replaced = touch("replaced.png"), deleted = touch("deleted.png"),
                      kept = touch("kept.png");
        indexer.follow(entries({replaced, deleted, kept}));
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(readsSoFar(), QStringList({"replaced.png", "deleted.png", "kept.png"}));
        QCOMPARE(index.paths(), QStringList({kept}));
    }

    void waitsForCapturesAndTheUsersRecognition()
    {
        TextIndex index(indexPath());
        TextIndexer indexer(&index, reader);
        quickAndNormalPriority(indexer, 30);
        bool userReading = true;
        indexer.userRecognitionRunning = [&] { return userReading; };
        indexer.setCaptureRunning(true);
        const QString a = touch("a.png");
        indexer.follow(entries({a}));
        QTest::qWait(200);
        QVERIFY(!indexer.isWorking());
        indexer.setCaptureRunning(false);
        QTest::qWait(200);
        QVERIFY(!indexer.isWorking()); // the user's recognition still runs
        userReading = false;
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(readsSoFar(), QStringList({"a.png"}));
    }

    // A reading under way is stopped where it is while a capture or the user's own recognition runs, and
    // goes on afterwards.
    void theReaderStopsForCapturesAndTheUsersRecognition()
    {
        TextIndex index(indexPath());
        TextIndexer indexer(&index, reader);
        quickAndNormalPriority(indexer, 0);
        indexer.userWatchMilliseconds = 20;
        bool userReading = false;
        indexer.userRecognitionRunning = [&] { return userReading; };
        const QString a = touch("long.png");
        indexer.follow(entries({a}));
        // The stand-in counts its steps in long.png.steps.
        const auto steps = [&] {
            QFile file(a + ".steps");
            return file.open(QIODevice::ReadOnly) ? file.readAll().count('.') : 0;
        };
        QTRY_VERIFY(steps() > 2);
        for (const bool capture : {true, false}) {
            if (capture)
                indexer.setCaptureRunning(true);
            else
                userReading = true;
            QTRY_VERIFY(indexer.isPaused());
            QTest::qWait(50); // a step under way ends
            const qsizetype stopped = steps();
            QTest::qWait(400);
            QCOMPARE(steps(), stopped);
            QVERIFY(indexer.isWorking());
            if (capture)
                indexer.setCaptureRunning(false);
            else
                userReading = false;
            QTRY_VERIFY(steps() > stopped); // going on
            QVERIFY(!indexer.isPaused());
        }
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(index.text(a).trimmed(), QString("texte de long.png en fr-FR,en-US"));
    }

    void readersThatFailOrHangOrCannotStart()
    {
        TextIndex index(indexPath());
        TextIndexer indexer(&index, reader);
        quickAndNormalPriority(indexer, 0);
        // A reader that fails, or never ends: recorded without text, not read again.
        const QString broken = touch("broken.png"), slow = touch("slow.png"), a = touch("a.png");
        indexer.readerTimeoutMilliseconds = 500;
        indexer.follow(entries({broken, slow, a}));
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(index.record(broken)->text, QString());
        QCOMPARE(index.record(slow)->text, QString());
        QVERIFY(!index.text(a).isEmpty());
        QCOMPARE(sorted(index.paths()), sorted({a, broken, slow}));

        // No reader to run: nothing is stored (the pictures are read once a reader runs again).
        TextIndexer missing(&index, dir->filePath("missing-reader"));
        quickAndNormalPriority(missing, 0);
        const QString later = touch("later.png");
        missing.follow(entries({later, a}));
        QVERIFY(waitForIdle(missing));
        QCOMPARE(index.record(later), std::nullopt);
    }

    // The instance's own reader, `pim --read-text`, on a page of text; stopped while the user asks for a
    // recognition.
    void theRealReaderStopsForTheUsersRecognition()
    {
        QStringList lines;
        for (int line = 0; line < 60; ++line)
            lines << QString("Ligne %1 : le rapport trimestriel montre une hausse des ventes en Europe")
                         .arg(line);
        const QImage page = TestImages::textLines(lines, QSize(1600, 1400), 16, 30, 22);
        const QString path = dir->filePath("page.png");
        QVERIFY(page.save(path));
        TextIndex index(indexPath());
        TextIndexer indexer(&index, PIM_INSTANCE);
        quickAndNormalPriority(indexer, 0);
        indexer.userWatchMilliseconds = 20;
        bool userReading = false;
        indexer.userRecognitionRunning = [&] { return userReading; };
        indexer.follow(entries({path}));
        QTRY_VERIFY(indexer.isWorking());
        userReading = true;
        QTRY_VERIFY(indexer.isPaused());
        QVERIFY(indexer.isWorking());
        QCOMPARE(index.record(path), std::nullopt); // not read to the end meanwhile
        userReading = false;
        QVERIFY(waitForIdle(indexer, 120000));
        QCOMPARE(found(index, "trimestriel europe"), QStringList({path}));
    }

    void realRecognitionOfARenderedPicture()
    {
        const QImage image =
            TestImages::textLines({"Réunion très importante à Genève", "Erreur de connexion au serveur"},
                                  QSize(1000, 220), 34, 80, 90);
        const QString path = dir->filePath("capture.png");
        QVERIFY(image.save(path));
        TextIndex index(indexPath());
        TextIndexer indexer(&index, PIM_INSTANCE);
        quickAndNormalPriority(indexer, 0);
        indexer.follow(entries({path}));
        QVERIFY(waitForIdle(indexer, 60000));
        QCOMPARE(found(index, "geneve reunion"), QStringList({path}));
        QCOMPARE(found(index, "erreur serv"), QStringList({path}));
        QVERIFY(found(index, "bonjour").isEmpty());
    }
};

QTEST_MAIN(TestTextIndex)
#include "tst_textindex.moc"
