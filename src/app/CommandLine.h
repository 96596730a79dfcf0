// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

// The command line: `pim` starts the tray instance (or finds it running); `pim area`, `pim full [--delay
// S]`, `pim edit FILE`, `pim pick-color`, `pim history`, `pim preferences` and `pim search WORDS…` are
// carried out by the running instance, which is started first when there is none; `pim quit` asks it to
// quit and starts nothing. Requests travel over a local socket in $XDG_RUNTIME_DIR, one line each way.
// Plain C++ without Qt: the `pim` command loads no more than the C library to ask, so a command costs
// a millisecond or two beside the work itself. Texts are UTF-8.
namespace CommandLine {

struct Request {
    std::string
        command; // "show", "area", "full", "edit", "pick-color", "history", "preferences", "search", "quit"
    std::vector<std::string> arguments; // full: the delay; edit: the absolute file path; search: the words
    bool operator==(const Request &) const = default;
};

// The request the arguments ask for, or the usage error's text.
struct Parsed {
    std::optional<Request> request;
    bool help = false;
    bool version = false;
    std::string error;
};
Parsed parse(const std::vector<std::string> &arguments, const std::string &workingFolder);

std::string usage();

// The folder of the socket: $XDG_RUNTIME_DIR, else a private folder in the temporary folder (made by the
// instance, mode 0700). The socket's path, and the lock file that decides which process owns it.
std::string runtimeFolder();
std::string socketPath();
std::string lockPath();
// Why the folder cannot hold Pim's socket (not a folder, a link, another user's, open to others), or
// nothing when it is the user's own private folder.
std::string folderProblem(const std::string &folder);
// Whether an instance runs: it holds the lock, whether or not it answers.
bool instanceRuns();

// Wire format: fields separated by tabs, tabs and line breaks inside a field written as \t and \n.
std::string encode(const std::vector<std::string> &fields);
std::vector<std::string> decode(const std::string &line);

// The client side. Sends the request and waits for the answer: the exit status, with the answer's text
// written to standard output (success) or standard error. Nothing when no instance answers. Only the
// user's own instance is asked: a folder or a socket of another user's gets an error, never the request.
std::optional<int> ask(const Request &request, int timeoutSeconds);

} // namespace CommandLine
