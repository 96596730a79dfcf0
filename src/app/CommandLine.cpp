#include "app/CommandLine.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace CommandLine {

QString usage()
{
    return QStringLiteral("Usage : pim [commande]\n"
                          "  pim                    démarre Pim dans la zone de notification\n"
                          "  pim area               capture une zone et affiche le chemin du fichier\n"
                          "  pim full [--delay S]   capture l'écran sous le pointeur, après S secondes\n"
                          "  pim edit FICHIER       ouvre une image PNG, JPEG ou WebP dans l'éditeur\n"
                          "  pim pick-color         copie le code hex d'une couleur de l'écran\n"
                          "  pim history            ouvre l'historique des captures\n"
                          "  pim preferences        ouvre les préférences\n"
                          "  pim --help | --version\n");
}

Parsed parse(const std::vector<std::string> &arguments, const QString &workingFolder)
{
    Parsed parsed;
    QStringList args;
    for (const std::string &a : arguments)
        args << QString::fromLocal8Bit(a.c_str());
    if (args.isEmpty()) {
        parsed.request = Request{QStringLiteral("show"), {}};
        return parsed;
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("--help") || command == QLatin1String("-h")) {
        parsed.help = true;
    } else if (command == QLatin1String("--version")) {
        parsed.version = true;
    } else if ((command == QLatin1String("area") || command == QLatin1String("pick-color") ||
                command == QLatin1String("history") || command == QLatin1String("preferences")) &&
               args.isEmpty()) {
        parsed.request = Request{command, {}};
    } else if (command == QLatin1String("full")) {
        double delay = 0;
        if (args.size() == 2 && args[0] == QLatin1String("--delay")) {
            bool ok = false;
            delay = args[1].toDouble(&ok);
            if (!ok || !(delay >= 0) || delay > 3600) {
                parsed.error = QStringLiteral("délai invalide : %1 (de 0 à 3600 secondes)").arg(args[1]);
                return parsed;
            }
        } else if (!args.isEmpty()) {
            parsed.error = QStringLiteral("arguments inattendus : %1").arg(args.join(u' '));
            return parsed;
        }
        parsed.request = Request{command, {QString::number(delay)}};
    } else if (command == QLatin1String("edit") && args.size() == 1) {
        parsed.request = Request{command, {QDir(workingFolder).absoluteFilePath(args[0])}};
    } else {
        parsed.error =
            QStringLiteral("commande inconnue : %1")
                .arg(QStringList{command}.join(u' ') + (args.isEmpty() ? QString() : u' ' + args.join(u' ')));
    }
    return parsed;
}

QString socketPath()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir(folder).filePath(QStringLiteral("pim.socket"));
}

QString lockPath()
{
    return socketPath() + QStringLiteral(".lock");
}

QByteArray encode(const QStringList &fields)
{
    QStringList escaped;
    for (QString f : fields) {
        f.replace(u'\\', QStringLiteral("\\\\"))
            .replace(u'\t', QStringLiteral("\\t"))
            .replace(u'\n', QStringLiteral("\\n"));
        escaped << f;
    }
    return escaped.join(u'\t').toUtf8() + '\n';
}

QStringList decode(const QByteArray &line)
{
    QStringList fields;
    QString current;
    const QString text = QString::fromUtf8(line.endsWith('\n') ? line.chopped(1) : line);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\t') {
            fields << current;
            current.clear();
        } else if (c == u'\\' && i + 1 < text.size()) {
            const QChar n = text[++i];
            current += n == u't' ? u'\t' : n == u'n' ? u'\n' : n;
        } else {
            current += c;
        }
    }
    fields << current;
    return fields;
}

std::optional<int> ask(const Request &request, int timeoutSeconds)
{
    const QByteArray path = QFile::encodeName(socketPath());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(path.size()) >= sizeof(address.sun_path))
        return std::nullopt;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    const QByteArray line = encode(QStringList{request.command} + request.arguments);
    if (::send(fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL) != line.size()) {
        ::close(fd);
        return std::nullopt;
    }
    // The answer: one line, "ok" or "error" and a text. A capture can take as long as the user selects.
    QByteArray answer;
    pollfd readable{fd, POLLIN, 0};
    while (!answer.contains('\n')) {
        const int ready = ::poll(&readable, 1, timeoutSeconds * 1000);
        if (ready <= 0)
            break;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        answer.append(buffer, n);
    }
    ::close(fd);
    const QStringList fields = decode(answer.left(answer.indexOf('\n') + 1));
    if (fields.isEmpty() || (fields[0] != QLatin1String("ok") && fields[0] != QLatin1String("error"))) {
        std::fprintf(stderr, "pim: pas de réponse de l'instance en cours\n");
        return 1;
    }
    const QString text = fields.value(1);
    if (fields[0] == QLatin1String("ok")) {
        if (!text.isEmpty())
            std::printf("%s\n", text.toLocal8Bit().constData());
        return 0;
    }
    if (!text.isEmpty())
        std::fprintf(stderr, "pim: %s\n", text.toLocal8Bit().constData());
    return 1;
}

} // namespace CommandLine
