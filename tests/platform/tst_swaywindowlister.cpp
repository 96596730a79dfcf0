// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sway/SwayWindowLister.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

QJsonObject rect(int x, int y, int w, int h)
{
    return QJsonObject{{"x", x}, {"y", y}, {"width", w}, {"height", h}};
}

QJsonObject view(int x, int y, int w, int h, bool visible = true, int fullscreen = 0)
{
    return QJsonObject{{"type", "con"},
                       {"pid", 42},
                       {"rect", rect(x, y, w, h)},
                       {"visible", visible},
                       {"nodes", QJsonArray()},
                       {"floating_nodes", QJsonArray()},
                       {"fullscreen_mode", fullscreen}};
}

QJsonObject container(const QJsonArray &nodes)
{
    return QJsonObject{{"type", "con"}, {"nodes", nodes}, {"floating_nodes", QJsonArray()}};
}

QJsonObject workspace(const QString &name, const QJsonArray &tiled, const QJsonArray &floating)
{
    return QJsonObject{{"type", "workspace"}, {"name", name}, {"nodes", tiled}, {"floating_nodes", floating}};
}

QJsonObject output(const QString &name, const QJsonObject &place, double scale, const QString &current,
                   const QJsonArray &workspaces)
{
    return QJsonObject{{"type", "output"},
                       {"name", name},
                       {"rect", place},
                       {"scale", scale},
                       {"current_workspace", current},
                       {"nodes", workspaces}};
}

QByteArray tree(const QJsonArray &outputs)
{
    return QJsonDocument(QJsonObject{{"type", "root"}, {"nodes", outputs}}).toJson(QJsonDocument::Compact);
}

} // namespace

class TestSwayWindowLister : public QObject {
    Q_OBJECT
private slots:
    void stackingAndOutputs()
    {
        const QByteArray json = tree({
            output("__i3", rect(0, 0, 1280, 720), 1, "__i3_scratch",
                   {workspace("__i3_scratch", {}, {view(10, 10, 100, 100)})}),
            // Two tiled views in a split, two floating ones (the last listed is on top), a hidden workspace.
            output("HEADLESS-1", rect(0, 0, 1280, 720), 1, "1",
                   {workspace("1", {container({view(0, 0, 640, 720), view(640, 0, 640, 720, false)})},
                              {view(100, 100, 300, 200), view(200, 150, 400, 300)}),
                    workspace("3", {view(0, 0, 1280, 720)}, {})}),
            // Scale 2, to the right: pixels counted from the output's logical corner; a view reaching past
            // the output is cut to it.
            output("HEADLESS-2", rect(1280, 0, 640, 360), 2, "2",
                   {workspace("2", {view(1280, 0, 640, 360)},
                              {view(1300, 20, 100, 50), view(1800, 300, 200, 200)})}),
        });
        const QList<QRect> windows = SwayWindowLister::windowsInTree(json);
        const QList<QRect> expected = {
            QRect(200, 150, 400, 300),         QRect(100, 100, 300, 200),      QRect(0, 0, 640, 720),
            QRect(1280 + 1040, 600, 240, 120), QRect(1280 + 40, 40, 200, 100), QRect(1280, 0, 1280, 720),
        };
        QCOMPARE(windows, expected);
    }

    void fullscreenFirstAndNested()
    {
        // A fullscreen view covers its workspace: first, before the floating ones. Views nested in floating
        // containers count with them.
        const QByteArray json =
            tree({output("HEADLESS-1", rect(0, 0, 800, 600), 1, "1",
                         {workspace("1", {container({view(0, 0, 400, 600), view(400, 0, 400, 600, true, 1)})},
                                    {container({view(50, 50, 100, 100), view(150, 50, 100, 100)})})})});
        QCOMPARE(SwayWindowLister::windowsInTree(json),
                 (QList<QRect>{QRect(400, 0, 400, 600), QRect(50, 50, 100, 100), QRect(150, 50, 100, 100),
                               QRect(0, 0, 400, 600)}));
    }

    void notATree()
    {
        QVERIFY(SwayWindowLister::windowsInTree(QByteArray()).isEmpty());
        QVERIFY(SwayWindowLister::windowsInTree("[1,2,3]").isEmpty());
        QVERIFY(SwayWindowLister::windowsInTree("{\"nodes\": 7}").isEmpty());
    }

    // The request over a socket that answers the way sway does, the answer in pieces; a peer that says
    // nothing is an error, not a hang.
    void overTheSocket()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("sway-ipc.sock");
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, path.toLocal8Bit().constData());
        QCOMPARE(::bind(server, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        QCOMPARE(::listen(server, 2), 0);
        const QByteArray payload = tree(
            {output("HEADLESS-1", rect(0, 0, 800, 600), 1, "1", {workspace("1", {view(1, 2, 3, 4)}, {})})});
        QByteArray asked;
        std::thread peer([&] {
            int client = ::accept(server, nullptr, nullptr);
            char header[14];
            size_t got = 0;
            while (got < sizeof(header)) {
                const ssize_t n = ::read(client, header + got, sizeof(header) - got);
                if (n <= 0)
                    break;
                got += size_t(n);
            }
            asked = QByteArray(header, qsizetype(got));
            QByteArray answer("i3-ipc");
            const uint32_t size = uint32_t(payload.size()), type = 4;
            answer.append(reinterpret_cast<const char *>(&size), 4)
                .append(reinterpret_cast<const char *>(&type), 4);
            answer += payload;
            for (qsizetype at = 0; at < answer.size(); at += 7)
                [[maybe_unused]] auto n = ::write(client, answer.constData() + at,
                                                  size_t(std::min<qsizetype>(7, answer.size() - at)));
            ::close(client);
            // The second peer takes the request and closes without a word.
            client = ::accept(server, nullptr, nullptr);
            ::close(client);
        });
        QString error;
        const QByteArray got = SwayWindowLister::requestTree(path, &error);
        QCOMPARE(error, QString());
        QCOMPARE(got, payload);
        QCOMPARE(asked.left(6), QByteArray("i3-ipc"));
        uint32_t type = 0;
        std::memcpy(&type, asked.constData() + 10, 4);
        QCOMPARE(type, 4u);
        SwayWindowLister lister(path);
        QCOMPARE(lister.windows(), QList<QRect>{});
        peer.join();
        ::close(server);
        QVERIFY(SwayWindowLister::requestTree(path, &error).isEmpty());
        QVERIFY(!error.isEmpty());
        QVERIFY(!SwayWindowLister(QString()).unavailableReason().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSwayWindowLister)
#include "tst_swaywindowlister.moc"
