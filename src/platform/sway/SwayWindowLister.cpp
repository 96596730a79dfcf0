// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sway/SwayWindowLister.h"

#include "common/Log.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr char magic[] = "i3-ipc";
constexpr size_t magicSize = sizeof(magic) - 1;
constexpr uint32_t getTree = 4;
constexpr int timeoutMs = 1000;
// A tree larger than this is not one.
constexpr uint32_t maxReply = 64u * 1024 * 1024;

QRect rectOf(const QJsonValue &value)
{
    const QJsonObject rect = value.toObject();
    return QRect(rect.value(u"x").toInt(), rect.value(u"y").toInt(), rect.value(u"width").toInt(),
                 rect.value(u"height").toInt());
}

QJsonArray children(const QJsonObject &node, const char16_t *key)
{
    return node.value(QStringView(key)).toArray();
}

bool isView(const QJsonObject &node)
{
    // A view shows a program's surface; containers only hold others.
    return node.contains(u"pid") ||
           (children(node, u"nodes").isEmpty() && children(node, u"floating_nodes").isEmpty() &&
            node.value(u"type").toString() != QLatin1String("workspace"));
}

struct Output {
    QRect logical;
    double scale = 1;

    QRect place(const QRect &window) const
    {
        const QRect cut = window.intersected(logical);
        if (cut.isEmpty())
            return {};
        const QPoint offset = cut.topLeft() - logical.topLeft();
        return QRect(logical.x() + int(offset.x() * scale), logical.y() + int(offset.y() * scale),
                     int(cut.width() * scale), int(cut.height() * scale));
    }
};

void collect(const QJsonObject &node, QList<QRect> &tiled, QList<QRect> &floating, QList<QRect> &fullscreen);

// One child of a container: a view shown, or the views it holds.
void take(const QJsonObject &node, QList<QRect> &into, QList<QRect> &floating, QList<QRect> &fullscreen)
{
    if (!isView(node)) {
        collect(node, into, floating, fullscreen);
        return;
    }
    if (!node.value(u"visible").toBool())
        return;
    if (node.value(u"fullscreen_mode").toInt() != 0)
        fullscreen << rectOf(node.value(u"rect"));
    else
        into << rectOf(node.value(u"rect"));
}

// The views under a container, topmost first: its floating ones (the last is on top), then its tiled ones.
void collect(const QJsonObject &node, QList<QRect> &tiled, QList<QRect> &floating, QList<QRect> &fullscreen)
{
    const QJsonArray floaters = children(node, u"floating_nodes");
    for (qsizetype i = floaters.size() - 1; i >= 0; --i) {
        QList<QRect> inside;
        take(floaters[i].toObject(), inside, inside, fullscreen);
        floating += inside;
    }
    for (const QJsonValue &child : children(node, u"nodes"))
        take(child.toObject(), tiled, floating, fullscreen);
}

bool waitFor(int fd, short events)
{
    pollfd entry{fd, events, 0};
    int result;
    do {
        result = ::poll(&entry, 1, timeoutMs);
    } while (result < 0 && errno == EINTR);
    return result > 0;
}

bool readFully(int fd, char *data, size_t size)
{
    while (size > 0) {
        if (!waitFor(fd, POLLIN))
            return false;
        const ssize_t n = ::read(fd, data, size);
        if (n <= 0) {
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

} // namespace

SwayWindowLister::SwayWindowLister(const QString &socketPath) : m_socketPath(socketPath) {}

QString SwayWindowLister::unavailableReason() const
{
    if (m_socketPath.isEmpty())
        return QStringLiteral("sway ne dit pas où joindre son canal de commande (SWAYSOCK).");
    return QString();
}

QByteArray SwayWindowLister::requestTree(const QString &socketPath, QString *error)
{
    const QByteArray path = socketPath.toLocal8Bit();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || size_t(path.size()) >= sizeof(address.sun_path)) {
        *error = QStringLiteral("chemin du canal de sway invalide");
        return {};
    }
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return {};
    }
    QByteArray reply;
    char header[magicSize + 8];
    std::memcpy(header, magic, magicSize);
    const uint32_t length = 0;
    std::memcpy(header + magicSize, &length, 4);
    std::memcpy(header + magicSize + 4, &getTree, 4);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0 ||
        ::send(fd, header, sizeof(header), MSG_NOSIGNAL) != ssize_t(sizeof(header))) {
        *error = QString::fromLocal8Bit(std::strerror(errno));
    } else if (!readFully(fd, header, sizeof(header)) || std::memcmp(header, magic, magicSize) != 0) {
        *error = QStringLiteral("sway n'a pas répondu");
    } else {
        uint32_t size = 0;
        std::memcpy(&size, header + magicSize, 4);
        if (size > maxReply) {
            *error = QStringLiteral("réponse de sway trop grande");
        } else {
            reply.resize(qsizetype(size));
            if (!readFully(fd, reply.data(), size)) {
                reply.clear();
                *error = QStringLiteral("réponse de sway incomplète");
            }
        }
    }
    ::close(fd);
    return reply;
}

QList<QRect> SwayWindowLister::windowsInTree(const QByteArray &json)
{
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    QList<QRect> places;
    for (const QJsonValue &outputValue : children(root, u"nodes")) {
        const QJsonObject output = outputValue.toObject();
        // The scratchpad's hidden output holds nothing on screen.
        if (output.value(u"type").toString() != QLatin1String("output") ||
            output.value(u"name").toString().startsWith(u"__"))
            continue;
        Output where{rectOf(output.value(u"rect")), output.value(u"scale").toDouble(1)};
        if (where.scale <= 0)
            where.scale = 1;
        const QString shown = output.value(u"current_workspace").toString();
        for (const QJsonValue &workspaceValue : children(output, u"nodes")) {
            const QJsonObject workspace = workspaceValue.toObject();
            if (!shown.isEmpty() && workspace.value(u"name").toString() != shown)
                continue;
            QList<QRect> tiled, floating, fullscreen;
            collect(workspace, tiled, floating, fullscreen);
            for (const QList<QRect> *layer : {&fullscreen, &floating, &tiled}) {
                for (const QRect &window : *layer) {
                    const QRect placed = where.place(window);
                    if (!placed.isEmpty())
                        places << placed;
                }
            }
        }
    }
    return places;
}

QList<QRect> SwayWindowLister::windows()
{
    QString error;
    const QByteArray tree = requestTree(m_socketPath, &error);
    if (tree.isEmpty()) {
        qCWarning(logCapture, "fenêtres de sway inconnues : %s", qPrintable(error));
        return {};
    }
    return windowsInTree(tree);
}
