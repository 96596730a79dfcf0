#include "app/CommandLine.h"
#include "app/InstanceServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <QTest>
#include <QtConcurrent>

#include <sys/stat.h>
#include <unistd.h>

using CommandLine::Request;

class TestCommandLine : public QObject {
    Q_OBJECT

    static CommandLine::Parsed parse(const std::vector<std::string> &args)
    {
        return CommandLine::parse(args, QStringLiteral("/work/here"));
    }

    // Asks on another thread while this one's event loop lets the server answer.
    static int askAndWait(const Request &request)
    {
        QFuture<std::optional<int>> asked =
            QtConcurrent::run([request] { return CommandLine::ask(request, 10); });
        while (!asked.isFinished())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return asked.result().value_or(-1);
    }

private slots:
    void cleanup()
    {
        QFile::remove(CommandLine::socketPath());
        QFile::remove(CommandLine::lockPath());
    }

    void parsing()
    {
        QCOMPARE(parse({}).request->command, QString("show"));
        QCOMPARE(parse({"area"}).request->command, QString("area"));
        QCOMPARE(parse({"history"}).request->command, QString("history"));
        QCOMPARE(parse({"preferences"}).request->command, QString("preferences"));
        QCOMPARE(parse({"full"}).request->arguments, QStringList{"0"});
        QCOMPARE(parse({"full", "--delay", "1.5"}).request->arguments, QStringList{"1.5"});
        QCOMPARE(parse({"edit", "a b.png"}).request->arguments, QStringList{"/work/here/a b.png"});
        QCOMPARE(parse({"edit", "/abs/c.png"}).request->arguments, QStringList{"/abs/c.png"});
        QVERIFY(parse({"--help"}).help);
        QVERIFY(parse({"--version"}).version);
        // Usage errors: an unknown command, a bad or negative delay, missing or extra arguments.
        for (const std::vector<std::string> &bad : {std::vector<std::string>{"bogus"},
                                                    {"full", "--delay"},
                                                    {"full", "--delay", "x"},
                                                    {"full", "--delay", "-1"},
                                                    {"full", "--delay", "nan"},
                                                    {"edit"},
                                                    {"edit", "a", "b"},
                                                    {"area", "x"},
                                                    {"history", "x"}}) {
            const CommandLine::Parsed parsed = parse(bad);
            QVERIFY(!parsed.request);
            QVERIFY(!parsed.error.isEmpty());
        }
    }

    void wireFormat()
    {
        const QStringList fields{"ok", "a\ttab and\na line\\break", ""};
        QCOMPARE(CommandLine::decode(CommandLine::encode(fields)), fields);
        QVERIFY(!CommandLine::encode(fields).chopped(1).contains('\n'));
    }

    void oneInstanceAnswers()
    {
        QVERIFY(!CommandLine::ask(Request{"show", {}}, 1)); // nobody there
        InstanceServer first;
        QString error;
        QVERIFY(first.claim(&error));
        QVERIFY(error.isEmpty());
        struct stat info {};
        QCOMPARE(::stat(QFile::encodeName(CommandLine::socketPath()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
        // A second one stands back, quietly.
        InstanceServer second;
        QVERIFY(!second.claim(&error));
        QVERIFY(error.isEmpty());

        QList<Request> seen;
        first.onRequest = [&](const Request &r, const InstanceServer::Reply &reply) {
            seen << r;
            reply(r.command == "full", r.command == "full" ? "/tmp/capture.png" : "capture annulée");
        };
        QCOMPARE(askAndWait(Request{"full", {"0.35"}}), 0);
        QCOMPARE(askAndWait(Request{"area", {}}), 1);
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0].arguments, QStringList{"0.35"});
    }

    void staleSocketsAreReplacedOthersKept()
    {
        // A socket left behind by an instance that crashed: its file is there, nobody listens, the lock
        // is free.
        QLocalServer stale;
        QVERIFY(stale.listen(CommandLine::socketPath()));
        QVERIFY(::close(int(stale.socketDescriptor())) == 0); // gone without removing its file
        QVERIFY(QFile::exists(CommandLine::socketPath()));
        QVERIFY(!CommandLine::ask(Request{"show", {}}, 1));
        {
            InstanceServer server;
            QString error;
            QVERIFY2(server.claim(&error), qPrintable(error));
        }
        // Not a socket, or not ours: refused with the reason, nothing deleted.
        QFile::remove(CommandLine::socketPath());
        QFile plain(CommandLine::socketPath());
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("mine");
        plain.close();
        InstanceServer server;
        QString error;
        QVERIFY(!server.claim(&error));
        QVERIFY(error.contains("n'est pas une socket"));
        QVERIFY(plain.open(QIODevice::ReadOnly));
        QCOMPARE(plain.readAll(), QByteArray("mine"));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
