// SPDX-License-Identifier: GPL-3.0-or-later
#include "preferences/LoginItem.h"

#include "common/ShellQuoting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace LoginItem {

namespace {

// One argument of an Exec line: quoted, with the characters the desktop entry format reserves inside
// quotes escaped; then backslashes doubled again, as every string value of the file needs.
QString execArgument(const QString &argument)
{
    return doubleQuoted(argument).replace(u'\\', QStringLiteral("\\\\"));
}

} // namespace

QString filePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/pim.desktop");
}

bool isEnabled()
{
    const QString path = filePath();
    if (!QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // Only the main group's Hidden key counts.
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine(64 * 1024).trimmed();
        if (line.startsWith('[')) {
            inMainGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inMainGroup || !line.startsWith("Hidden"))
            continue;
        const int equals = line.indexOf('=');
        if (equals > 0 && line.left(equals).trimmed() == "Hidden" && line.mid(equals + 1).trimmed() == "true")
            return false;
    }
    return true;
}

QByteArray desktopEntry(const QString &programPath)
{
    return QByteArrayLiteral("[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Pim\n"
                             "Comment=Captures d'écran et annotations\n"
                             "Icon=pim\n") +
           "Exec=" + execArgument(programPath).toUtf8() + "\n" +
           QByteArrayLiteral("Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n");
}

Result<Done> setEnabled(bool enabled, const QString &programPath)
{
    const QString path = filePath();
    if (!enabled) {
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
            return Done{};
        QFile file(path);
        if (!file.remove())
            return Error{file.errorString()};
        return Done{};
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return Error{QStringLiteral("Impossible de créer le dossier %1.").arg(folder)};
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Error{file.errorString()};
    const QByteArray text = desktopEntry(programPath);
    if (file.write(text) != text.size() || !file.commit())
        return Error{file.errorString()};
    return Done{};
}

} // namespace LoginItem
