// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandLine.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace CommandLine {

namespace {

std::string joined(const std::vector<std::string> &pieces)
{
    std::string text;
    for (const std::string &piece : pieces)
        text += (text.empty() ? "" : " ") + piece;
    return text;
}

// A delay in seconds: a plain decimal number from 0 to `most` ("1.5", "2", ".5", "1e1").
std::optional<double> parseDelay(const std::string &text, double most = 3600)
{
    if (text.empty() || text.find_first_not_of("0123456789.eE+-") != std::string::npos)
        return std::nullopt;
    char *end = nullptr;
    errno = 0;
    const double delay = std::strtod(text.c_str(), &end);
    if (errno != 0 || end != text.c_str() + text.size() || !(delay >= 0) || delay > most)
        return std::nullopt;
    return delay;
}

std::string environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

} // namespace

std::string usage()
{
    return "Usage : pim [commande]\n"
           "  pim                    démarre Pim dans la zone de notification\n"
           "  pim area               capture une zone et affiche le chemin du fichier\n"
           "  pim full [--delay S]   capture l'écran sous le pointeur, après S secondes\n"
           "  pim window             capture la fenêtre choisie d'un clic\n"
           "  pim scroll             capture une zone qui défile, page entière\n"
           "  pim record area|full [--format mp4|webm|gif] [--duration S]\n"
           "                         enregistre une zone ou l'écran en vidéo, jusqu'à pim stop\n"
           "                         (ou S secondes), et affiche le chemin du fichier\n"
           "  pim stop               arrête l'enregistrement en cours\n"
           "  pim edit FICHIER       ouvre une image PNG, JPEG ou WebP dans l'éditeur\n"
           "  pim pin FICHIER        épingle une image à l'écran, au-dessus des fenêtres\n"
           "  pim pick-color         copie le code hex d'une couleur de l'écran\n"
           "  pim history            ouvre l'historique des captures\n"
           "  pim preferences        ouvre les préférences\n"
           "  pim search MOTS…       affiche les captures dont le texte contient ces mots\n"
           "  pim quit               quitte Pim\n"
           "  pim --help | --version\n";
}

Parsed parse(const std::vector<std::string> &arguments, const std::string &workingFolder)
{
    Parsed parsed;
    if (arguments.empty()) {
        parsed.request = Request{"show", {}};
        return parsed;
    }
    const std::string &command = arguments.front();
    const std::vector<std::string> args(arguments.begin() + 1, arguments.end());
    if (command == "--help" || command == "-h") {
        parsed.help = true;
    } else if (command == "--version") {
        parsed.version = true;
    } else if ((command == "area" || command == "window" || command == "scroll" || command == "pick-color" ||
                command == "history" || command == "preferences" || command == "quit" || command == "stop") &&
               args.empty()) {
        parsed.request = Request{command, {}};
    } else if (command == "full") {
        double delay = 0;
        if (args.size() == 2 && args[0] == "--delay") {
            const std::optional<double> given = parseDelay(args[1]);
            if (!given) {
                parsed.error = "délai invalide : " + args[1] + " (de 0 à 3600 secondes)";
                return parsed;
            }
            delay = *given;
        } else if (!args.empty()) {
            parsed.error = "arguments inattendus : " + joined(args);
            return parsed;
        }
        char text[64];
        std::snprintf(text, sizeof text, "%g", delay);
        parsed.request = Request{command, {text}};
    } else if (command == "record") {
        // record KIND [--format F] [--duration S] → "record" KIND FORMAT SECONDS (empty: the settings',
        // none).
        if (args.empty() || (args[0] != "area" && args[0] != "full")) {
            parsed.error = "que faut-il enregistrer ? pim record area|full";
            return parsed;
        }
        std::string format, duration;
        for (size_t i = 1; i < args.size(); i += 2) {
            if (i + 1 >= args.size()) {
                parsed.error = "valeur manquante après " + args[i];
                return parsed;
            }
            const std::string &value = args[i + 1];
            if (args[i] == "--format" && (value == "mp4" || value == "webm" || value == "gif")) {
                format = value;
            } else if (args[i] == "--format") {
                parsed.error = "format vidéo inconnu : " + value + " (mp4, webm ou gif)";
                return parsed;
            } else if (args[i] == "--duration") {
                const std::optional<double> seconds = parseDelay(value, 24 * 3600);
                if (!seconds || *seconds <= 0) {
                    parsed.error = "durée invalide : " + value + " (en secondes, jusqu'à 86400)";
                    return parsed;
                }
                char text[64];
                std::snprintf(text, sizeof text, "%g", *seconds);
                duration = text;
            } else {
                parsed.error = "arguments inattendus : " + joined(args);
                return parsed;
            }
        }
        parsed.request = Request{command, {args[0], format, duration}};
    } else if (command == "search" && !args.empty()) {
        parsed.request = Request{command, args};
    } else if ((command == "edit" || command == "pin") && args.empty()) {
        parsed.error = "fichier manquant : pim " + command + " FICHIER";
    } else if ((command == "edit" || command == "pin") && args.size() == 1) {
        const std::string &file = args[0];
        parsed.request = Request{command, {file.starts_with('/') ? file : workingFolder + "/" + file}};
    } else {
        parsed.error = "commande inconnue : " + joined(arguments);
    }
    return parsed;
}

std::string runtimeFolder()
{
    const std::string runtime = environment("XDG_RUNTIME_DIR");
    if (!runtime.empty())
        return runtime;
    std::string temporary = environment("TMPDIR");
    if (temporary.empty())
        temporary = "/tmp";
    const passwd *user = ::getpwuid(::getuid());
    return temporary + "/runtime-" +
           (user && user->pw_name ? std::string(user->pw_name) : std::to_string(::getuid()));
}

std::string folderProblem(const std::string &folder)
{
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0)
        return folder + " : " + std::strerror(errno);
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode))
        return folder + " n'est pas un dossier";
    if (info.st_uid != ::getuid())
        return folder + " appartient à un autre utilisateur : Pim ne s'en sert pas";
    if ((info.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%o", unsigned(info.st_mode & 0777));
        return folder + " est ouvert aux autres utilisateurs (mode " + mode + ") : Pim ne s'en sert pas";
    }
    return {};
}

bool instanceRuns()
{
    const int lock = ::open(lockPath().c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (lock < 0)
        return false;
    const bool held = ::flock(lock, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(lock);
    return held;
}

std::string socketPath()
{
    return runtimeFolder() + "/pim.socket";
}

std::string lockPath()
{
    return socketPath() + ".lock";
}

std::string encode(const std::vector<std::string> &fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += '\t';
        for (const char c : fields[i]) {
            if (c == '\\')
                line += "\\\\";
            else if (c == '\t')
                line += "\\t";
            else if (c == '\n')
                line += "\\n";
            else
                line += c;
        }
    }
    return line + '\n';
}

std::vector<std::string> decode(const std::string &input)
{
    const std::string line =
        !input.empty() && input.back() == '\n' ? input.substr(0, input.size() - 1) : input;
    std::vector<std::string> fields;
    std::string current;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\t') {
            fields.push_back(current);
            current.clear();
        } else if (c == '\\' && i + 1 < line.size()) {
            const char n = line[++i];
            current += n == 't' ? '\t' : n == 'n' ? '\n' : n;
        } else {
            current += c;
        }
    }
    fields.push_back(current);
    return fields;
}

std::optional<int> ask(const Request &request, int timeoutSeconds)
{
    const std::string path = socketPath();
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path))
        return std::nullopt;
    std::memcpy(address.sun_path, path.data(), path.size());
    struct stat folder {};
    if (::lstat(runtimeFolder().c_str(), &folder) != 0)
        return std::nullopt; // no folder yet: no instance
    const std::string problem = folderProblem(runtimeFolder());
    if (!problem.empty()) {
        std::fprintf(stderr, "pim: %s\n", problem.c_str());
        return 1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    // The answer is believed only from a process of this user.
    ucred peer{};
    socklen_t length = sizeof(peer);
    if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 || peer.uid != ::getuid()) {
        ::close(fd);
        std::fprintf(stderr, "pim: %s est tenue par un autre utilisateur : rien n'est demandé\n",
                     path.c_str());
        return 1;
    }
    std::vector<std::string> fields{request.command};
    fields.insert(fields.end(), request.arguments.begin(), request.arguments.end());
    const std::string line = encode(fields);
    if (::send(fd, line.data(), line.size(), MSG_NOSIGNAL) != ssize_t(line.size())) {
        ::close(fd);
        return std::nullopt;
    }
    // The answer: one line, "ok" or "error" and a text. A capture can take as long as the user selects.
    std::string answer;
    pollfd readable{fd, POLLIN, 0};
    while (answer.find('\n') == std::string::npos) {
        const int ready = ::poll(&readable, 1, timeoutSeconds * 1000);
        if (ready <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        answer.append(buffer, size_t(n));
    }
    ::close(fd);
    const size_t end = answer.find('\n');
    const std::vector<std::string> reply =
        decode(end == std::string::npos ? std::string() : answer.substr(0, end));
    if (reply.empty() || (reply[0] != "ok" && reply[0] != "error")) {
        std::fprintf(stderr, "pim: pas de réponse de l'instance en cours\n");
        return 1;
    }
    const std::string text = reply.size() > 1 ? reply[1] : std::string();
    if (reply[0] == "ok") {
        if (!text.empty())
            std::printf("%s\n", text.c_str());
        return 0;
    }
    if (!text.empty())
        std::fprintf(stderr, "pim: %s\n", text.c_str());
    return 1;
}

} // namespace CommandLine
