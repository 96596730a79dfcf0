#include "app/CommandLine.h"
#include "app/InstanceServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <sys/stat.h>
#include <unistd.h>

using CommandLine::Request;
using Strings = std::vector<std::string>;

static QString socketPath()
{
    return QString::fromStdString(CommandLine::socketPath());
}

class TestCommandLine : public QObject {
    Q_OBJECT

    static CommandLine::Parsed parse(const std::vector<std::string> &args)
    {
        return CommandLine::parse(args, "/work/here");
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
        QFile::remove(socketPath());
        QFile::remove(QString::fromStdString(CommandLine::lockPath()));
    }

    void parsing()
    {
        QVERIFY(parse({}).request == (Request{"show", {}}));
        QVERIFY(parse({"area"}).request == (Request{"area", {}}));
        QVERIFY(parse({"history"}).request == (Request{"history", {}}));
        QVERIFY(parse({"preferences"}).request == (Request{"preferences", {}}));
        QVERIFY(parse({"pick-color"}).request == (Request{"pick-color", {}}));
        QVERIFY(parse({"search", "erreur", "l'écran"}).request == (Request{"search", {"erreur", "l'écran"}}));
        QVERIFY(parse({"full"}).request->arguments == Strings{"0"});
        QVERIFY(parse({"full", "--delay", "1.5"}).request->arguments == Strings{"1.5"});
        QVERIFY(parse({"full", "--delay", "3600"}).request->arguments == Strings{"3600"});
        QVERIFY(parse({"edit", "a b.png"}).request->arguments == Strings{"/work/here/a b.png"});
        QVERIFY(parse({"edit", "/abs/c.png"}).request->arguments == Strings{"/abs/c.png"});
        QVERIFY(parse({"--help"}).help);
        QVERIFY(parse({"--version"}).version);
        // Usage errors: an unknown command, a bad or negative delay, missing or extra arguments.
        for (const std::vector<std::string> &bad : {std::vector<std::string>{"bogus"},
                                                    {"full", "--delay"},
                                                    {"full", "--delay", "x"},
                                                    {"full", "--delay", "-1"},
                                                    {"full", "--delay", "nan"},
                                                    {"full", "--delay", "inf"},
                                                    {"full", "--delay", "0x10"},
                                                    {"full", "--delay", "3601"},
                                                    {"full", "--delay", ""},
                                                    {"edit"},
                                                    {"edit", "a", "b"},
                                                    {"area", "x"},
                                                    {"history", "x"},
                                                    {"search"}}) {
            const CommandLine::Parsed parsed = parse(bad);
            QVERIFY(!parsed.request);
            QVERIFY(!parsed.error.empty());
        }
    }

    void wireFormat()
    {
        const Strings fields{"ok", "a\ttab and\na line\\break", "", "é ⇧⌘7"};
        QVERIFY(CommandLine::decode(CommandLine::encode(fields)) == fields);
        const std::string line = CommandLine::encode(fields);
        QCOMPARE(line.find('\n'), line.size() - 1);
    }

    void oneInstanceAnswers()
    {
        QVERIFY(!CommandLine::ask(Request{"show", {}}, 1)); // nobody there
        InstanceServer first;
        QString error;
        QVERIFY(first.claim(&error));
        QVERIFY(error.isEmpty());
        struct stat info {};
        QCOMPARE(::stat(CommandLine::socketPath().c_str(), &info), 0);
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
        QVERIFY(seen[0].arguments == Strings{"0.35"});
    }

    void withoutARuntimeFolder()
    {
        // No $XDG_RUNTIME_DIR: a private folder in the temporary folder, made by the instance.
        QTemporaryDir temporary;
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray tmp = qgetenv("TMPDIR");
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(temporary.path()));
        const QString folder = QString::fromStdString(CommandLine::runtimeFolder());
        QVERIFY(folder.startsWith(temporary.path() + "/runtime-"));
        QCOMPARE(socketPath(), folder + "/pim.socket");
        {
            InstanceServer server;
            QString error;
            QVERIFY2(server.claim(&error), qPrintable(error));
            struct stat info {};
            QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
            QCOMPARE(info.st_mode & 0777, mode_t(0700));
            QVERIFY(QFile::exists(socketPath()));
        }
        qputenv("XDG_RUNTIME_DIR", runtime);
        if (tmp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", tmp);
    }

    void staleSocketsAreReplacedOthersKept()
    {
        // A socket left behind by an instance that crashed: its file is there, nobody listens, the lock
        // is free.
        QLocalServer stale;
        QVERIFY(stale.listen(socketPath()));
        QVERIFY(::close(int(stale.socketDescriptor())) == 0); // gone without removing its file
        QVERIFY(QFile::exists(socketPath()));
        QVERIFY(!CommandLine::ask(Request{"show", {}}, 1));
        {
            InstanceServer server;
            QString error;
            QVERIFY2(server.claim(&error), qPrintable(error));
        }
        // Not a socket, or not ours: refused with the reason, nothing deleted.
        QFile::remove(socketPath());
        QFile plain(socketPath());
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
