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

#include <chrono>
#include <cmath>

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
    QList<Entry> entries;
    const QJsonArray array = document.array();
    entries.reserve(array.size());
    for (const QJsonValue &element : array) {
        if (!element.isObject())
            return std::nullopt;
        const QJsonObject object = element.toObject();
        const QJsonValue path = object.value(QStringLiteral("path"));
        const QJsonValue date = object.value(QStringLiteral("date"));
        if (!path.isString() || !date.isDouble() || !std::isfinite(date.toDouble()))
            return std::nullopt;
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

void HistoryStore::load()
{
    QFile file(m_filePath);
    if (QFileInfo(m_filePath).isDir() || !file.open(QIODevice::ReadOnly))
        return;
    if (file.size() > maxFileBytes)
        return;
    const QByteArray bytes = file.read(maxFileBytes + 1);
    if (bytes.size() > maxFileBytes)
        return;
    if (std::optional<QList<Entry>> entries = decode(bytes))
        m_entries = std::move(*entries);
}

void HistoryStore::persist()
{
    // A new file renamed over the old one: a crash or a full disk never leaves a truncated history.
    // Unbuffered, and the result checked: Qt 6.4's QSaveFile commits a short file when the error only
    // shows up while flushing its buffer (a full disk, a file-size limit).
    QSaveFile file(m_filePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return;
    const QByteArray bytes = encode(m_entries);
    if (file.write(bytes) != bytes.size() || file.error() != QFileDevice::NoError) {
        file.cancelWriting();
        return;
    }
    file.commit();
}

void HistoryStore::changed()
{
    if (onChange)
        onChange();
}

void HistoryStore::add(const QUrl &url)
{
    add(url.isLocalFile() ? url.toLocalFile() : url.path());
}

void HistoryStore::add(const QString &path)
{
    const QString key = normalized(path);
    m_entries.removeIf([&](const Entry &entry) { return normalized(entry.path) == key; });
    m_entries.prepend(Entry{path, nowSinceReferenceDate()});
    while (m_entries.size() > maxEntries)
        m_entries.removeLast();
    persist();
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
    m_entries.removeIf([&](const Entry &entry) { return normalized(entry.path) == key; });
    persist();
    changed();
}

void HistoryStore::cleanupMissingFiles()
{
    const qsizetype before = m_entries.size();
    m_entries.removeIf([](const Entry &entry) { return !QFileInfo::exists(entry.path); });
    if (m_entries.size() == before)
        return;
    persist();
    changed();
}
