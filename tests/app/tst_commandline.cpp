// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"
#include "app/InstanceServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalServer>
#include <QTemporaryDir>
#include <QTest>
#include <QtConcurrent>

#include <QDir>

#include <cstring>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using CommandLine::Request;
using Strings = std::vector<std::string>;

static QString socketPath()
{
    return QString::fromStdString(CommandLine::socketPath());
}

// Without $XDG_RUNTIME_DIR, with the temporary folder given, for as long as it lives.
struct NoRuntimeFolder {
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), tmp = qgetenv("TMPDIR");
    explicit NoRuntimeFolder(const QString &temporary)
    {
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(temporary));
    }
    ~NoRuntimeFolder()
    {
        qputenv("XDG_RUNTIME_DIR", runtime);
        if (tmp.isEmpty())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", tmp);
    }
};

// An instance that answers every request with success.
// Empty when the server now owns the socket; else why not.
static QString claimProblem(InstanceServer &server)
{
    const Result<InstanceServer::Claim> claimed = server.claim();
    if (!claimed)
        return claimed.error().message;
    return *claimed == InstanceServer::Claim::owned ? QString() : QStringLiteral("another instance runs");
}

static void answerAll(const Request &, const InstanceServer::Reply &reply)
{
    reply(true, "là");
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
        QVERIFY(parse({"quit"}).request == (Request{"quit", {}}));
        QVERIFY(parse({"search", "erreur", "l'écran"}).request == (Request{"search", {"erreur", "l'écran"}}));
        QVERIFY(parse({"full"}).request->arguments == Strings{"0"});
        QVERIFY(parse({"full", "--delay", "1.5"}).request->arguments == Strings{"1.5"});
        QVERIFY(parse({"full", "--delay", "3600"}).request->arguments == Strings{"3600"});
        QVERIFY(parse({"edit", "a b.png"}).request->arguments == Strings{"/work/here/a b.png"});
        QVERIFY(parse({"edit", "/abs/c.png"}).request->arguments == Strings{"/abs/c.png"});
        QVERIFY(parse({"--help"}).help);
        QCOMPARE(parse({"edit"}).error, std::string("fichier manquant : pim edit FICHIER"));
        QVERIFY(parse({"--version"}).version);
        // Recordings: the kind, the format (empty for the settings') and the length (empty: until stopped).
        QVERIFY(parse({"stop"}).request == (Request{"stop", {}}));
        QVERIFY(parse({"record", "area"}).request == (Request{"record", {"area", "", ""}}));
        QVERIFY(parse({"record", "full", "--duration", "2.5", "--format", "gif"}).request ==
                (Request{"record", {"full", "gif", "2.5"}}));
        QVERIFY(parse({"record", "area", "--format", "webm"}).request ==
                (Request{"record", {"area", "webm", ""}}));
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
                                                    {"quit", "now"},
                                                    {"search"},
                                                    {"record"},
                                                    {"record", "window"},
                                                    {"record", "area", "--format"},
                                                    {"record", "area", "--format", "avi"},
                                                    {"record", "area", "--duration", "0"},
                                                    {"record", "area", "--duration", "-3"},
                                                    {"record", "area", "--duration", "86401"},
                                                    {"record", "full", "--fps", "30"},
                                                    {"stop", "now"}}) {
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
        const Result<InstanceServer::Claim> claimed = first.claim();
        QVERIFY(claimed && *claimed == InstanceServer::Claim::owned);
        struct stat info {};
        QCOMPARE(::stat(CommandLine::socketPath().c_str(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
        // A second one stands back, quietly.
        InstanceServer second;
        const Result<InstanceServer::Claim> secondClaim = second.claim();
        QVERIFY(secondClaim && *secondClaim == InstanceServer::Claim::anotherRuns);

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
        const NoRuntimeFolder noRuntime(temporary.path());
        const QString folder = QString::fromStdString(CommandLine::runtimeFolder());
        QVERIFY(folder.startsWith(temporary.path() + "/runtime-"));
        QCOMPARE(socketPath(), folder + "/pim.socket");
        {
            InstanceServer server;
            const QString problem = claimProblem(server);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
            struct stat info {};
            QCOMPARE(::stat(QFile::encodeName(folder).constData(), &info), 0);
            QCOMPARE(info.st_mode & 0777, mode_t(0700));
            QVERIFY(QFile::exists(socketPath()));
        }
    }

    // The open-file limit reached by a flood of idle connections: the instance makes room and keeps
    // answering; a connection that sends nothing is closed after a few seconds.
    void aCrowdedSocketKeepsAnswering()
    {
        InstanceServer server;
        server.idleMilliseconds = 300;
        const QString problem = claimProblem(server);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        server.onRequest = answerAll;
        const std::string path = CommandLine::socketPath();
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.data(), path.size());
        const auto connectOne = [&] {
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
                ::close(fd);
                return -1;
            }
            return fd;
        };
        // An idle connection goes after its time.
        const int idle = connectOne();
        QVERIFY(idle >= 0);
        QTRY_COMPARE(server.openConnections(), 1);
        QTRY_COMPARE(server.openConnections(), 0);
        char byte;
        QCOMPARE(::read(idle, &byte, 1), ssize_t(0)); // closed by the instance
        ::close(idle);

        // Few descriptors left: the clients here and the instance's connections share them.
        rlimit before{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &before), 0);
        const int used = int(QDir("/proc/self/fd").entryList(QDir::NoDotAndDotDot | QDir::AllEntries).size());
        rlimit low = before;
        low.rlim_cur = rlim_t(used + 40);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &low), 0);
        server.idleMilliseconds = 60000; // only the lack of descriptors closes them now
        QList<int> clients;
        for (int i = 0; i < 200; ++i) {
            const int fd = connectOne();
            if (fd >= 0)
                clients << fd;
            QCoreApplication::processEvents();
        }
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::processEvents();
            QTest::qWait(20);
        }
        QVERIFY(clients.size() > 20);
        QVERIFY(server.isListening());
        for (const int fd : std::as_const(clients))
            ::close(fd);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &before), 0);
        // Still there, still answering.
        QVERIFY(QFile::exists(socketPath()));
        QCOMPARE(askAndWait(Request{"show", {}}), 0);
    }

    // A socket file deleted behind the instance's back is made again.
    void aDeletedSocketIsMadeAgain()
    {
        InstanceServer server;
        server.setWatchInterval(50);
        const QString problem = claimProblem(server);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
        server.onRequest = answerAll;
        QVERIFY(QFile::remove(socketPath()));
        QTRY_VERIFY(QFile::exists(socketPath()));
        QCOMPARE(askAndWait(Request{"show", {}}), 0);
    }

    // Without $XDG_RUNTIME_DIR, a folder that another user made first (open to all, their socket in it)
    // is neither used by the instance nor asked by the command.
    void aRuntimeFolderOfAnotherUserIsRefused()
    {
        QTemporaryDir temporary;
        const NoRuntimeFolder noRuntime(temporary.path());
        const std::string folder = CommandLine::runtimeFolder();
        QCOMPARE(::mkdir(folder.c_str(), 0777), 0);
        QCOMPARE(::chmod(folder.c_str(), 0777), 0);
        const bool root = ::getuid() == 0;
        if (root)
            QCOMPARE(::chown(folder.c_str(), 65534, 65534), 0); // nobody's
        // Their socket, listening.
        QLocalServer theirs;
        QVERIFY(theirs.listen(socketPath()));
        {
            InstanceServer server;
            const Result<InstanceServer::Claim> claimed = server.claim();
            QVERIFY(!claimed);
            const QString error = claimed.error().message;
            QVERIFY2(error.contains(root ? "appartient à un autre utilisateur" : "ouvert aux autres"),
                     qPrintable(error));
        }
        QCOMPARE(CommandLine::ask(Request{"full", {"0"}}, 2), std::optional<int>(1));
        QCoreApplication::processEvents();
        QVERIFY(!theirs.hasPendingConnections()); // nothing was sent their way
        theirs.close();
        // The positive control: once the folder is the user's own and private, both work.
        if (root)
            QCOMPARE(::chown(folder.c_str(), ::getuid(), ::getgid()), 0);
        QCOMPARE(::chmod(folder.c_str(), 0700), 0);
        {
            InstanceServer server;
            const QString problem = claimProblem(server);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
            server.onRequest = answerAll;
            QCOMPARE(askAndWait(Request{"show", {}}), 0);
        }
    }

    // An instance that holds the lock but does not answer is reported, not started again.
    void aSilentInstanceIsSeen()
    {
        QVERIFY(!CommandLine::instanceRuns());
        InstanceServer server;
        QCOMPARE(claimProblem(server), QString());
        QVERIFY(CommandLine::instanceRuns());
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
            const QString problem = claimProblem(server);
            QVERIFY2(problem.isEmpty(), qPrintable(problem));
        }
        // Not a socket, or not ours: refused with the reason, nothing deleted.
        QFile::remove(socketPath());
        QFile plain(socketPath());
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.write("mine");
        plain.close();
        InstanceServer server;
        const Result<InstanceServer::Claim> refused = server.claim();
        QVERIFY(!refused && refused.error().message.contains("n'est pas une socket"));
        QVERIFY(plain.open(QIODevice::ReadOnly));
        QCOMPARE(plain.readAll(), QByteArray("mine"));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
