#pragma once

#include "app/CommandLine.h"

#include <QObject>

#include <functional>

class QLocalServer;

// The running instance's end of the command line: it owns the socket (the first process to lock the file
// beside it does; a socket left by a crashed instance is replaced) and hands each request on with a way
// to answer it.
class InstanceServer : public QObject {
    Q_OBJECT
public:
    InstanceServer();
    ~InstanceServer() override;

    // True when this process now owns the socket. False with an empty error when another instance does;
    // false with the reason when the socket's place holds something that is not ours.
    bool claim(QString *error);

    using Reply = std::function<void(bool ok, const QString &text)>;
    std::function<void(const CommandLine::Request &request, Reply reply)> onRequest;

private:
    void accept();

    int m_lock = -1;
    QLocalServer *m_server = nullptr;
};
