#include "app/InstanceServer.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <cerrno>
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
    const QByteArray lockPath = QFile::encodeName(CommandLine::lockPath());
    m_lock = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lock < 0) {
        *error = QStringLiteral("impossible d'ouvrir %1 : %2")
                     .arg(CommandLine::lockPath(), QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (::flock(m_lock, LOCK_EX | LOCK_NB) != 0) {
        ::close(m_lock);
        m_lock = -1;
        return false; // another instance holds it
    }
    // We hold the lock: whatever socket is there belongs to an instance that has ended. Only a socket of
    // ours is removed.
    const QString path = CommandLine::socketPath();
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
            const QStringList fields = CommandLine::decode(socket->readLine(64 * 1024));
            disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
            QPointer<QLocalSocket> guarded(socket);
            const Reply reply = [guarded](bool ok, const QString &text) {
                if (!guarded)
                    return;
                guarded->write(
                    CommandLine::encode({ok ? QStringLiteral("ok") : QStringLiteral("error"), text}));
                guarded->flush();
                guarded->disconnectFromServer();
            };
            if (fields.isEmpty() || fields[0].isEmpty() || !onRequest) {
                reply(false, QStringLiteral("requête invalide"));
                return;
            }
            onRequest(CommandLine::Request{fields[0], fields.mid(1)}, reply);
        });
    }
}
