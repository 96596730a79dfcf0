#include "history/TextIndex.h"
#include "history/TextIndexer.h"
#include "output/AppSettings.h"
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
    static QStringList found(TextIndex &index, const QString &query) { return sorted(index.search(query).values()); }
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

private slots:
    void init()
    {
        dir = std::make_unique<QTemporaryDir>();
        AppSettings::shared().defaults().clear();
    }

    void storesSearchesAndRemoves()
    {
        TextIndex index(indexPath());
        QVERIFY2(index.isAvailable(), qPrintable(index.problem()));
        const Record first{"/c/un.png", 10, 1000, {"fr-FR", "en-US"}, "Réunion très importante à Genève\nÉcran bleu"};
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
        QCOMPARE(TextIndex::matchExpression("l'écran  \"bleu\""), QString("\"l\"* \"écran\"* \"bleu\"*"));
        QCOMPARE(TextIndex::matchExpression("*** -- ()"), QString());
        const QStringList hostile{"\"", "\"unterminated", "error\"", "*", "NEAR(error quoted)", "error OR nothing",
                                  "-error", "^error", "text:error", "error AND", "'; DROP TABLE captures; --",
                                  "NOT", "(", "error*", QString(10000, u'a'), QString(5000, u' ') + "error"};
        for (const QString &query : hostile)
            index.search(query); // never an error, never a crash
        QCOMPARE(found(index, "NEAR(error quoted)"), QStringList({"/c/a.png"}));
        QCOMPARE(found(index, "error*"), QStringList({"/c/a.png"}));
        QCOMPARE(found(index, "\"text\""), QStringList({"/c/a.png"}));
        QVERIFY(found(index, "error OR nothing").isEmpty()); // "or" and "nothing" are words too
        QVERIFY(index.isAvailable());
        QCOMPARE(index.paths(), QStringList({"/c/a.png"}));
        // A query of thousands of words is cut to its first words.
        QStringList many;
        for (int i = 0; i < 3000; ++i)
            many << "error";
        QCOMPARE(found(index, many.join(u' ')), QStringList({"/c/a.png"}));
        QVERIFY(TextIndex::matchExpression(many.join(u' ')).size() < 400);
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
                stored = full.store({QString("/c/%1.png").arg(i), 1, 1, {}, QString(2000, QChar(u'a' + i % 26))});
            QVERIFY(!stored);
        }
        QVERIFY(!full.isAvailable());
    }

    void indexerFollowsTheHistory()
    {
        TextIndex index(indexPath());
        TextIndexer indexer(&index);
        quickAndNormalPriority(indexer, 10);
        QStringList read;
        indexer.recognize = [&](const QString &path, const QStringList &, const std::function<bool()> &) -> Result<QString> {
            read << QFileInfo(path).fileName();
            return "texte de " + QFileInfo(path).baseName();
        };
        const QString a = touch("a.png"), b = touch("b.png"), c = touch("c.png");
        indexer.follow(entries({a, b, c}));
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(read, QStringList({"a.png", "b.png", "c.png"})); // newest first, as listed
        QCOMPARE(found(index, "texte"), sorted({a, b, c}));

        // Following again reads nothing that has not changed; a changed file is read again; a file gone
        // from the history leaves the index.
        read.clear();
        QThread::msleep(20);
        touch("b.png", "changé");
        indexer.follow(entries({b, c}));
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(read, QStringList({"b.png"}));
        QCOMPARE(sorted(index.paths()), sorted({b, c}));

        // Other languages: read again.
        read.clear();
        AppSettings::shared().setOcrLanguages("de-DE");
        indexer.follow(entries({b, c}));
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(read, QStringList({"b.png", "c.png"}));
        QCOMPARE(index.record(b)->languages, QStringList({"de-DE"}));

        // A failure is recorded without text, so it is not read again and again.
        read.clear();
        const QString d = touch("d.png");
        indexer.recognize = [&](const QString &path, const QStringList &, const std::function<bool()> &) -> Result<QString> {
            read << QFileInfo(path).fileName();
            return Error{"illisible"};
        };
        indexer.follow(entries({d, b, c}));
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(index.record(d)->text, QString());
        indexer.follow(entries({d, b, c}));
        QTest::qWait(100);
        QCOMPARE(read, QStringList({"d.png"}));
    }

    void aFileChangedWhileReadIsSkipped()
    {
        TextIndex index(indexPath());
        TextIndexer indexer(&index);
        quickAndNormalPriority(indexer, 10);
        const QString replaced = touch("replaced.png"), deleted = touch("deleted.png");
        indexer.recognize = [&](const QString &path, const QStringList &, const std::function<bool()> &) -> Result<QString> {
            // Meanwhile the user replaces one file and deletes the other.
            if (path == replaced) {
                QThread::msleep(20);
                QFile file(path);
                if (file.open(QIODevice::WriteOnly))
                    file.write("une autre image, plus longue");
            } else {
                QFile::remove(path);
            }
            return QString("ancien texte");
        };
        indexer.follow(entries({replaced, deleted}));
        QVERIFY(waitForIdle(indexer));
        QVERIFY(index.paths().isEmpty());
    }

    void waitsForCapturesAndTheUsersRecognition()
    {
        TextIndex index(indexPath());
        TextIndexer indexer(&index);
        quickAndNormalPriority(indexer, 30);
        std::atomic<bool> userReading = true;
        indexer.userRecognitionRunning = [&] { return userReading.load(); };
        int reads = 0;
        indexer.recognize = [&](const QString &, const QStringList &, const std::function<bool()> &) -> Result<QString> {
            ++reads;
            return QString("mot");
        };
        indexer.setCaptureRunning(true);
        indexer.follow(entries({touch("a.png")}));
        QTest::qWait(200);
        QCOMPARE(reads, 0);
        indexer.setCaptureRunning(false);
        QTest::qWait(200);
        QCOMPARE(reads, 0); // the user's recognition still runs
        userReading = false;
        QTRY_COMPARE(reads, 1);
    }

    void aCaptureStopsTheRecognitionUnderWay()
    {
        TextIndex index(indexPath());
        TextIndexer indexer(&index);
        quickAndNormalPriority(indexer, 20);
        std::atomic<int> calls = 0;
        std::atomic<bool> stoppedByUs = false;
        indexer.recognize = [&](const QString &, const QStringList &,
                                const std::function<bool()> &shouldStop) -> Result<QString> {
            if (++calls == 1) {
                // A long recognition, which gives up when told to.
                for (int i = 0; i < 500; ++i) {
                    if (shouldStop()) {
                        stoppedByUs = true;
                        return Error{"interrompue"};
                    }
                    QThread::msleep(10);
                }
            }
            return QString("lu en entier");
        };
        const QString a = touch("a.png");
        indexer.follow(entries({a}));
        QTRY_VERIFY(indexer.isWorking());
        indexer.setCaptureRunning(true);
        QTRY_VERIFY_WITH_TIMEOUT(!indexer.isWorking(), 20000);
        QVERIFY(stoppedByUs);
        QCOMPARE(index.record(a), std::nullopt); // nothing stored from an interrupted reading
        QTest::qWait(100);
        QCOMPARE(calls.load(), 1); // and nothing starts while the capture runs
        indexer.setCaptureRunning(false);
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(calls.load(), 2);
        QCOMPARE(index.text(a), QString("lu en entier"));
    }

    void aReaderProcessIsStoppedDuringCaptures()
    {
        // A stand-in for the reader program: takes 0.6 s of work, then prints what it was asked.
        const QString program = dir->filePath("reader.sh");
        QFile script(program);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/bash\n"
                     "[ \"$1\" = --read-text ] || exit 3\n"
                     "case \"$2\" in *broken*) echo 'illisible' >&2; exit 1;; *slow*) exec sleep 30;; esac\n"
                     "for i in $(seq 1 60); do sleep 0.01; done\n"
                     "echo \"texte de $(basename \"$2\") en $3\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        TextIndex index(indexPath());
        TextIndexer indexer(&index);
        quickAndNormalPriority(indexer, 0);
        indexer.setReaderProgram(program);
        const QString a = touch("a.png");
        indexer.follow(entries({a}));
        QTRY_VERIFY(indexer.isWorking());
        // A capture: the reader is stopped where it is, for as long as the capture lasts.
        indexer.setCaptureRunning(true);
        QTest::qWait(1500);
        QVERIFY(indexer.isWorking());
        QCOMPARE(index.record(a), std::nullopt);
        indexer.setCaptureRunning(false);
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(index.text(a).trimmed(), QString("texte de a.png en fr-FR,en-US"));

        // A reader that fails, or never ends: recorded without text, not read again.
        const QString broken = touch("broken.png"), slow = touch("slow.png");
        indexer.readerTimeoutMilliseconds = 500;
        indexer.follow(entries({broken, slow, a}));
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(index.record(broken)->text, QString());
        QCOMPARE(index.record(slow)->text, QString());
        QCOMPARE(sorted(index.paths()), sorted({a, broken, slow}));

        // No reader to run: nothing is stored (the pictures are read once a reader runs again).
        const QString later = touch("later.png");
        indexer.setReaderProgram(dir->filePath("missing-reader"));
        indexer.follow(entries({later, a}));
        QVERIFY(waitForIdle(indexer));
        QCOMPARE(index.record(later), std::nullopt);
    }

    void theRealEngineStopsForTheUsersRecognition()
    {
        // A page of text that takes the engine a few seconds; the user asks for a recognition meanwhile.
        QStringList lines;
        for (int line = 0; line < 60; ++line)
            lines << QString("Ligne %1 : le rapport trimestriel montre une hausse des ventes en Europe").arg(line);
        const QImage page = TestImages::textLines(lines, QSize(1600, 1400), 16, 30, 22);
        const QString path = dir->filePath("page.png");
        QVERIFY(page.save(path));
        TextIndex index(indexPath());
        TextIndexer indexer(&index);
        quickAndNormalPriority(indexer, 0);
        std::atomic<bool> userReading = false;
        indexer.userRecognitionRunning = [&] { return userReading.load(); };
        indexer.follow(entries({path}));
        QTRY_VERIFY(indexer.isWorking());
        QTest::qWait(400); // the engine is reading by now
        userReading = true;
        QTRY_VERIFY_WITH_TIMEOUT(!indexer.isWorking(), 60000);
        QCOMPARE(index.record(path), std::nullopt); // stopped, not read to the end
        userReading = false;
        QVERIFY(waitForIdle(indexer, 120000));
        QCOMPARE(found(index, "trimestriel europe"), QStringList({path}));
    }

    void realRecognitionOfARenderedPicture()
    {
        const QImage image = TestImages::textLines({"Réunion très importante à Genève", "Erreur de connexion au serveur"},
                                                   QSize(1000, 220), 34, 80, 90);
        const QString path = dir->filePath("capture.png");
        QVERIFY(image.save(path));
        TextIndex index(indexPath());
        TextIndexer indexer(&index);
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
