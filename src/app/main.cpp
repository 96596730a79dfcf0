// SPDX-License-Identifier: GPL-3.0-or-later
// The `pim` command. It asks the running instance over its socket and prints the answer; when no instance
// runs it starts one: `pim` alone becomes the instance, any other command starts it in the background and
// then asks. It loads nothing but the C library, so that a command costs a millisecond or two.
#include "app/CommandLine.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ownPath()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
    return n > 0 ? std::string(buffer, size_t(n)) : std::string();
}

bool isExecutable(const std::string &path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The tray instance's program: beside this one in the build tree, under libexec once installed.
std::string instancePath(const std::string &self)
{
    const std::string folder = self.substr(0, self.rfind('/'));
    for (const std::string &candidate : {folder + "/libexec/pim", folder + "/../libexec/pim/pim"}) {
        if (isExecutable(candidate))
            return candidate;
    }
    return {};
}

// What the instance needs to know before it starts: this command's path (the login item starts it), and
// one OpenMP thread for text recognition, which only counts when set before the process starts.
void prepareEnvironment(const std::string &self)
{
    ::setenv("PIM_PROGRAM", self.c_str(), 1);
    ::setenv("OMP_THREAD_LIMIT", "1", 0);
}

// Starts the instance as a process of its own, detached from this one's terminal and output (a caller
// reading `pim full`'s output must see it end).
bool spawnInstance(const std::string &instance)
{
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::setsid();
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
        }
        char *const arguments[] = {const_cast<char *>("pim"), nullptr};
        ::execv(instance.c_str(), arguments);
        ::_exit(127);
    }
    return true;
}

std::string workingFolder()
{
    char buffer[PATH_MAX];
    return ::getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string("/");
}

} // namespace

int main(int argc, char **argv)
{
    const CommandLine::Parsed parsed =
        CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc), workingFolder());
    if (parsed.help) {
        std::fputs(CommandLine::usage().c_str(), stdout);
        return 0;
    }
    if (parsed.version) {
        std::printf("Pim %s\n", PIM_VERSION);
        return 0;
    }
    if (!parsed.request) {
        std::fprintf(stderr, "pim: %s\n%s", parsed.error.c_str(), CommandLine::usage().c_str());
        return 2;
    }
    const CommandLine::Request &request = *parsed.request;
    constexpr int patience = 24 * 3600; // a selection may stay on screen as long as the user likes
    if (const std::optional<int> status = CommandLine::ask(request, patience))
        return *status;

    if (request.command == "quit") {
        std::fprintf(stderr, "pim: Pim ne tourne pas\n");
        return 1;
    }
    if (request.command == "stop") {
        std::fprintf(stderr, "pim: aucun enregistrement en cours (Pim ne tourne pas)\n");
        return 1;
    }
    // An instance that holds the lock but does not answer (stopped, hung, its socket gone): starting
    // another would change nothing.
    if (CommandLine::instanceRuns()) {
        std::fprintf(stderr, "pim: Pim tourne déjà mais ne répond pas (%s)\n",
                     CommandLine::socketPath().c_str());
        return 1;
    }
    const std::string self = ownPath();
    const std::string instance = instancePath(self);
    if (instance.empty()) {
        std::fprintf(stderr, "pim: programme de l'instance introuvable à côté de %s\n", self.c_str());
        return 1;
    }
    prepareEnvironment(self);
    if (request.command == "show") {
        // This process becomes the instance (same process, same terminal).
        ::execv(instance.c_str(), argv);
        std::perror("pim");
        return 1;
    }
    if (!spawnInstance(instance)) {
        std::fprintf(stderr, "pim: impossible de démarrer Pim\n");
        return 1;
    }
    for (int i = 0; i < 100; ++i) {
        ::usleep(100 * 1000);
        if (const std::optional<int> status = CommandLine::ask(request, patience))
            return *status;
    }
    std::fprintf(stderr, "pim: Pim ne répond pas\n");
    return 1;
}
