// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/HistoryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimeZone>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

// 2001-01-01 00:00:00 UTC in seconds since the Unix epoch.
constexpr double referenceDateUnixSeconds = 978307200.0;

double nowSinceReferenceDate()
{
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<microseconds>(system_clock::now().time_since_epoch());
    return double(sinceEpoch.count()) / 1e6 - referenceDateUnixSeconds;
}

QString dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString normalized(const QString &path)
{
    return path.normalized(QString::NormalizationForm_C);
}

} // namespace

QDateTime HistoryStore::Entry::dateTime() const
{
    return QDateTime::fromMSecsSinceEpoch(qint64(std::llround((date + referenceDateUnixSeconds) * 1000.0)),
                                          QTimeZone::utc());
}

double HistoryStore::Entry::secondsSinceReferenceDate(const QDateTime &dateTime)
{
    return double(dateTime.toMSecsSinceEpoch()) / 1000.0 - referenceDateUnixSeconds;
}

HistoryStore &HistoryStore::shared()
{
    static HistoryStore instance;
    return instance;
}

HistoryStore::HistoryStore(const QString &directory)
{
    const QString folder = directory.isEmpty() ? dataFolder() + QStringLiteral("/Pim") : directory;
    QDir().mkpath(folder);
    m_filePath = QDir(folder).filePath(QStringLiteral("history.json"));
    load();
}

std::optional<QList<HistoryStore::Entry>> HistoryStore::decode(const QByteArray &json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isArray())
        return std::nullopt;
    // One malformed element costs that element only: the well-formed ones are kept, in order, at most
    // the first 50.
    QList<Entry> entries;
    const QJsonArray array = document.array();
    for (const QJsonValue &element : array) {
        if (entries.size() == maxEntries)
            break;
        if (!element.isObject())
            continue;
        const QJsonObject object = element.toObject();
        const QJsonValue path = object.value(QStringLiteral("path"));
        const QJsonValue date = object.value(QStringLiteral("date"));
        if (!path.isString() || !date.isDouble() || !std::isfinite(date.toDouble()))
            continue;
        entries.append(Entry{path.toString(), date.toDouble()});
    }
    return entries;
}

QByteArray HistoryStore::encode(const QList<Entry> &entries)
{
    // Written by hand so the members keep their order ("path", then "date"); QJsonObject sorts its keys.
    QByteArray out = "[";
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (i > 0)
            out += ',';
        const QByteArray path = QJsonDocument(QJsonArray{entries[i].path}).toJson(QJsonDocument::Compact);
        out += "{\"path\":";
        out += path.mid(1, path.size() - 2); // the string inside the one-element array
        out += ",\"date\":";
        out += QByteArray::number(entries[i].date, 'g', QLocale::FloatingPointShortest);
        out += '}';
    }
    out += ']';
    return out;
}

std::optional<QList<HistoryStore::Entry>> HistoryStore::readFile(bool *unreadable) const
{
    *unreadable = false;
    QFile file(m_filePath);
    if (QFileInfo(m_filePath).isDir() || !file.exists())
        return QList<Entry>();
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt; // there, but not ours to read: leave it alone
    const QByteArray bytes = file.size() > maxFileBytes ? QByteArray() : file.read(maxFileBytes + 1);
    std::optional<QList<Entry>> entries =
        bytes.isEmpty() || bytes.size() > maxFileBytes ? std::nullopt : decode(bytes);
    if (!entries) {
        *unreadable = true;
        return QList<Entry>();
    }
    return entries;
}

void HistoryStore::load()
{
    bool unreadable = false;
    if (std::optional<QList<Entry>> entries = readFile(&unreadable))
        m_entries = std::move(*entries);
}

// Another process (a second instance, `pim full` beside the tray instance) may change the file at any
// time: every change is made under an advisory lock beside the file, on the entries read again from it,
// and written back before the lock goes. The list in memory keeps the change either way: when the file is
// missing, damaged or not ours to read, the change is made on the list in memory, and while a change
// could not be written the file's entries are merged into it rather than replacing it.
void HistoryStore::mutate(const std::function<void(QList<Entry> &)> &change)
{
    const QByteArray lockPath = QFile::encodeName(m_filePath + QStringLiteral(".lock"));
    const int lock = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock >= 0) {
        while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    bool unreadable = false;
    const std::optional<QList<Entry>> onDisk = readFile(&unreadable);
    if (onDisk && !unreadable && QFileInfo(m_filePath).isFile())
        m_entries = m_unsaved ? merged(m_entries, *onDisk) : *onDisk;
    if (unreadable) {
        // Kept for whoever wants to look at it, instead of being overwritten.
        const QString bad = m_filePath + QStringLiteral(".bad");
        QFile::remove(bad);
        QFile::rename(m_filePath, bad);
    }
    const QList<Entry> before = m_entries;
    change(m_entries);
    while (m_entries.size() > maxEntries)
        m_entries.removeLast();
    if (m_entries != before || unreadable || m_unsaved || !QFileInfo(m_filePath).isFile())
        m_unsaved = !persist();
    if (lock >= 0)
        ::close(lock); // releases the lock
}

QList<HistoryStore::Entry> HistoryStore::merged(const QList<Entry> &ours, const QList<Entry> &theirs)
{
    QList<Entry> all = ours;
    for (const Entry &entry : theirs) {
        const QString key = normalized(entry.path);
        const auto known = std::find_if(all.begin(), all.end(),
                                        [&key](const Entry &e) { return normalized(e.path) == key; });
        if (known == all.end())
            all << entry;
        else
            known->date = std::max(known->date, entry.date);
    }
    std::stable_sort(all.begin(), all.end(), [](const Entry &a, const Entry &b) { return a.date > b.date; });
    while (all.size() > maxEntries)
        all.removeLast();
    return all;
}

bool HistoryStore::persist()
{
    // A new file renamed over the old one: a crash or a full disk never leaves a truncated history.
    // Unbuffered, and the result checked: Qt 6.4's QSaveFile commits a short file when the error only
    // shows up while flushing its buffer (a full disk, a file-size limit).
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const QByteArray bytes = encode(m_entries);
    if (file.write(bytes) != bytes.size() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

void HistoryStore::changed()
{
    if (onChange)
        onChange();
    if (onEntriesChanged)
        onEntriesChanged();
}

void HistoryStore::add(const QUrl &url)
{
    add(url.isLocalFile() ? url.toLocalFile() : url.path());
}

void HistoryStore::add(const QString &path)
{
    const QString key = normalized(path);
    mutate([&](QList<Entry> &entries) {
        entries.removeIf([&](const Entry &entry) { return normalized(entry.path) == key; });
        entries.prepend(Entry{path, nowSinceReferenceDate()});
    });
    changed();
}

void HistoryStore::remove(const QString &atPath, bool trashFile)
{
    if (trashFile) {
        // Qt 6.4 moves the file into ./files under the working folder when the data folder is missing:
        // make sure it exists. A failure (the file is already gone) is ignored; the entry goes anyway.
        QDir().mkpath(dataFolder());
        QFile::moveToTrash(atPath);
    }
    const QString key = normalized(atPath);
    mutate([&](QList<Entry> &entries) {
        entries.removeIf([&](const Entry &entry) { return normalized(entry.path) == key; });
    });
    changed();
}

void HistoryStore::cleanupMissingFiles()
{
    if (std::none_of(m_entries.cbegin(), m_entries.cend(),
                     [](const Entry &entry) { return !QFileInfo::exists(entry.path); }))
        return;
    mutate([](QList<Entry> &entries) {
        entries.removeIf([](const Entry &entry) { return !QFileInfo::exists(entry.path); });
    });
    changed();
}
