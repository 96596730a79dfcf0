// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/CommandLine.h"
#include "common/Result.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>

class QLocalSocket;
class QSocketNotifier;

// The running instance's end of the command line: it owns the socket (the first process to lock the file
// beside it does; a socket left by a crashed instance is replaced) and hands each request on with a way
// to answer it. Only the user's own processes are heard. It keeps listening whatever happens: when no
// connection can be accepted (the open-file limit reached) the connections that have sent nothing go
// first; connections idle for a few seconds are closed; a socket file that disappears is made again.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    InstanceServer();
    ~InstanceServer() override;

    // Whether this process now owns the socket or another instance does; an error with the reason when
    // the folder or the socket's place is not fit for use.
    enum class Claim { owned, anotherRuns };
    Result<Claim> claim();

    using Reply = std::function<void(bool ok, const QString &text)>;
    std::function<void(const CommandLine::Request &request, Reply reply)> onRequest;

    // How long a connection may stay without sending its request, in milliseconds (5 s).
    int idleMilliseconds = 5000;
    // How often the socket file is checked, in milliseconds (5 s).
    void setWatchInterval(int milliseconds) { m_watch.setInterval(milliseconds); }
    int openConnections() const { return int(m_waiting.size()); }
    bool isListening() const { return m_listener >= 0; }

private:
    bool listen(QString *error);
    void stopListening();
    void acceptPending();
    void serve(int descriptor);
    // Frees descriptors: the connections that have not sent a request yet, oldest first.
    void dropWaiting();
    void checkSocketFile();

    int m_lock = -1;
    int m_listener = -1;
    // The socket file's identity while it is ours: a file put in its place is not removed.
    unsigned long m_device = 0, m_inode = 0;
    QSocketNotifier *m_notifier = nullptr;
    QTimer m_retry;
    QTimer m_watch;
    // Connections that have not sent their request yet, oldest first.
    QList<QLocalSocket *> m_waiting;
};
