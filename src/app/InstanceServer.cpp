#include "app/InstanceServer.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

InstanceServer::InstanceServer() = default;

InstanceServer::~InstanceServer()
{
    if (m_server)
        m_server->close(); // removes the socket file
    if (m_lock >= 0)
        ::close(m_lock);
}

bool InstanceServer::claim(QString *error)
{
    error->clear();
    // Without $XDG_RUNTIME_DIR the folder is ours to make, private.
    const std::string folder = CommandLine::runtimeFolder();
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = QStringLiteral("impossible de créer %1 : %2")
                     .arg(QString::fromStdString(folder), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    const std::string lockPath = CommandLine::lockPath();
    m_lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lock < 0) {
        *error = QStringLiteral("impossible d'ouvrir %1 : %2")
                     .arg(QString::fromStdString(lockPath), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (::flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_lock);
        m_lock = -1;
        return false; // another instance holds it
    }
    // We hold the lock: whatever socket is there belongs to an instance that has ended. Only a socket of
    // ours is removed.
    const QString path = QString::fromStdString(CommandLine::socketPath());
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) == 0) {
        if (!S_ISSOCK(info.st_mode) || info.st_uid != ::getuid()) {
            *error =
                QStringLiteral("%1 existe et n'est pas une socket de Pim : rien n'est supprimé").arg(path);
            return false;
        }
        ::unlink(QFile::encodeName(path).constData());
    }
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        *error = QStringLiteral("impossible d'écouter sur %1 : %2").arg(path, m_server->errorString());
        return false;
    }
    ::chmod(QFile::encodeName(path).constData(), 0600);
    connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::accept);
    return true;
}

void InstanceServer::accept()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > 64 * 1024)
                    socket->disconnectFromServer(); // no request is that long
                return;
            }
            const std::vector<std::string> fields = CommandLine::decode(socket->readLine(64 * 1024).toStdString());
            disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
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
}
