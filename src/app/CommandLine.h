#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

// The command line: `pim` starts the tray instance (or finds it running); `pim area`, `pim full [--delay
// S]`, `pim edit FILE`, `pim pick-color`, `pim history` and `pim preferences` are carried out by the running instance, which is started
// first when there is none. Requests travel over a local socket in $XDG_RUNTIME_DIR, one line each way.
namespace CommandLine {

struct Request {
    QString command;       // "show", "area", "full", "edit", "pick-color", "history", "preferences"
    QStringList arguments; // full: the delay in seconds; edit: the absolute file path
};

// The request the arguments ask for, or the usage error's text.
struct Parsed {
    std::optional<Request> request;
    bool help = false;
    bool version = false;
    QString error;
};
Parsed parse(const std::vector<std::string> &arguments, const QString &workingFolder);

QString usage();

// The socket's path, and the lock file that decides which process owns it.
QString socketPath();
QString lockPath();

// Wire format: fields separated by tabs, tabs and line breaks inside a field written as \t and \n.
QByteArray encode(const QStringList &fields);
QStringList decode(const QByteArray &line);

// The client side, without any Qt application object. Sends the request and waits for the answer:
// the exit status, with the answer's text written to standard output (success) or standard error.
// Nothing when no instance answers.
std::optional<int> ask(const Request &request, int timeoutSeconds);

} // namespace CommandLine
