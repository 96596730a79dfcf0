// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/InstanceServer.h"

#include "common/Log.h"

#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

InstanceServer::InstanceServer()
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] {
        if (m_notifier)
            m_notifier->setEnabled(true);
        acceptPending();
    });
    m_watch.setInterval(5000);
    connect(&m_watch, &QTimer::timeout, this, &InstanceServer::checkSocketFile);
}

InstanceServer::~InstanceServer()
{
    stopListening();
    if (m_lock >= 0)
        ::close(m_lock);
}

Result<InstanceServer::Claim> InstanceServer::claim()
{
    // The folder must be the user's own and private: one made first by another user (where there is no
    // $XDG_RUNTIME_DIR) would let them hear and answer Pim's commands.
    const std::string folder = CommandLine::runtimeFolder();
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return Error{
            QStringLiteral("impossible de créer %1 : %2").arg(QString::fromStdString(folder), systemError())};
    const std::string problem = CommandLine::folderProblem(folder);
    if (!problem.empty())
        return Error{QString::fromStdString(problem)};
    const std::string lockPath = CommandLine::lockPath();
    m_lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_lock < 0)
        return Error{QStringLiteral("impossible d'ouvrir %1 : %2")
                         .arg(QString::fromStdString(lockPath), systemError())};
    if (::flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_lock);
        m_lock = -1;
        return Claim::anotherRuns;
    }
    QString failure;
    if (!listen(&failure))
        return Error{failure};
    m_watch.start();
    return Claim::owned;
}

bool InstanceServer::listen(QString *error)
{
    // We hold the lock: whatever socket is there belongs to an instance that has ended. Only a socket of
    // ours is removed.
    const std::string path = CommandLine::socketPath();
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode) || info.st_uid != ::getuid()) {
            *error = QStringLiteral("%1 existe et n'est pas une socket de Pim : rien n'est supprimé")
                         .arg(QString::fromStdString(path));
            return false;
        }
        ::unlink(path.c_str());
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path)) {
        *error =
            QStringLiteral("le chemin de la socket est trop long : %1").arg(QString::fromStdString(path));
        return false;
    }
    std::memcpy(address.sun_path, path.data(), path.size());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener < 0) {
        *error = QStringLiteral("impossible de créer la socket : %1").arg(systemError());
        return false;
    }
    // Private from the start: nobody else may connect between bind and chmod.
    const mode_t mask = ::umask(0177);
    const int bound = ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address));
    ::umask(mask);
    if (bound != 0 || ::listen(listener, 64) != 0) {
        *error = QStringLiteral("impossible d'écouter sur %1 : %2")
                     .arg(QString::fromStdString(path), systemError());
        ::close(listener);
        return false;
    }
    ::chmod(path.c_str(), 0600);
    if (::lstat(path.c_str(), &info) == 0) {
        m_device = info.st_dev;
        m_inode = info.st_ino;
    }
    m_listener = listener;
    m_notifier = new QSocketNotifier(qintptr(listener), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &InstanceServer::acceptPending);
    return true;
}

void InstanceServer::stopListening()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_listener < 0)
        return;
    ::close(m_listener);
    m_listener = -1;
    // Removes the socket file, when it is still the one we made.
    const std::string path = CommandLine::socketPath();
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode)
        ::unlink(path.c_str());
}

void InstanceServer::checkSocketFile()
{
    if (m_listener < 0)
        return;
    struct stat info {};
    const std::string path = CommandLine::socketPath();
    if (::lstat(path.c_str(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode)
        return;
    // Deleted (or replaced) behind our back: nobody could reach us any more. Listen again.
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_listener);
    m_listener = -1;
    QString error;
    if (!listen(&error))
        qCWarning(logApp, "%s", qPrintable(error));
}

void InstanceServer::acceptPending()
{
    while (m_listener >= 0) {
        const int descriptor = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (descriptor >= 0) {
            serve(descriptor);
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        // Out of descriptors or memory: the connection waits in the queue. Make room and look again in a
        // moment rather than spin on a socket that stays readable.
        dropWaiting();
        if (m_notifier)
            m_notifier->setEnabled(false);
        m_retry.start(100);
        return;
    }
}

void InstanceServer::dropWaiting()
{
    // The oldest half of the connections that have said nothing: a flood of idle connections goes, a
    // request being sent has its chance.
    const qsizetype count = std::max<qsizetype>(1, m_waiting.size() / 2);
    for (qsizetype i = 0; i < count && !m_waiting.isEmpty(); ++i) {
        QLocalSocket *socket = m_waiting.takeFirst();
        socket->abort();
        socket->deleteLater();
    }
}

void InstanceServer::serve(int descriptor)
{
    // Only the user's own processes give commands.
    ucred peer{};
    socklen_t length = sizeof(peer);
    if (::getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::getuid()) {
        ::close(descriptor);
        return;
    }
    auto *socket = new QLocalSocket(this);
    if (!socket->setSocketDescriptor(qintptr(descriptor))) {
        ::close(descriptor);
        delete socket;
        return;
    }
    m_waiting << socket;
    auto *idle = new QTimer(socket);
    idle->setSingleShot(true);
    connect(idle, &QTimer::timeout, socket, [this, socket] {
        m_waiting.removeOne(socket);
        socket->abort();
        socket->deleteLater();
    });
    idle->start(idleMilliseconds);
    connect(socket, &QLocalSocket::disconnected, socket, [this, socket] {
        m_waiting.removeOne(socket);
        socket->deleteLater();
    });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, idle] {
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > 64 * 1024)
                socket->disconnectFromServer(); // no request is that long
            return;
        }
        const std::vector<std::string> fields =
            CommandLine::decode(socket->readLine(64 * 1024).toStdString());
        disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
        // The request is in: the connection waits for its answer as long as that takes.
        idle->stop();
        m_waiting.removeOne(socket);
        QPointer<QLocalSocket> guarded(socket);
        const Reply reply = [guarded](bool ok, const QString &text) {
            if (!guarded)
                return;
            const std::string line = CommandLine::encode({ok ? "ok" : "error", text.toStdString()});
            guarded->write(line.data(), qint64(line.size()));
            guarded->flush();
            guarded->disconnectFromServer();
        };
        if (fields.empty() || fields[0].empty() || !onRequest) {
            reply(false, QStringLiteral("requête invalide"));
            return;
        }
        onRequest(CommandLine::Request{fields[0], {fields.begin() + 1, fields.end()}}, reply);
    });
}
