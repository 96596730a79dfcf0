// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

// The persisted list of recent captures: newest first, at most 50, in <data folder>/Pim/history.json as a
// compact JSON array of {"path": string, "date": seconds since 2001-01-01 UTC}. Several processes may
// share it: each change is made on the file's current entries under a lock beside it. Malformed elements
// are skipped; a file that cannot be read at all is kept as history.json.bad when a new one replaces it.
// The list in memory keeps every change, even when the file cannot be written, is deleted or is damaged.
class HistoryStore {
public:
    struct Entry {
        QString path;
        // Seconds since 2001-01-01 00:00:00 UTC, kept as read so it writes back unchanged.
        double date = 0;

        QDateTime dateTime() const;
        static double secondsSinceReferenceDate(const QDateTime &dateTime);
        bool operator==(const Entry &) const = default;
    };

    static constexpr int maxEntries = 50;
    // Files larger than this are not history files.
    static constexpr qint64 maxFileBytes = 4 * 1024 * 1024;

    static HistoryStore &shared();

    // An empty directory means <data folder>/Pim. The folder is created and the file read once.
    explicit HistoryStore(const QString &directory = QString());

    QString fileURL() const { return m_filePath; }
    const QList<Entry> &entries() const { return m_entries; }
    std::function<void()> onChange;
    // Told of the same changes, for the text index (the window holds onChange).
    std::function<void()> onEntriesChanged;

    // Records a written capture at the front; any older entry for the same path goes.
    void add(const QUrl &url);
    void add(const QString &path);
    // Removes every entry with that path, first moving the file to the Trash when asked.
    void remove(const QString &atPath, bool trashFile);
    // Removes entries whose file no longer exists; writes and notifies only when something went.
    void cleanupMissingFiles();

    // The file format, for the store and for tools that check it. Decoding keeps the well-formed entries
    // (at most the first 50); nothing when the text is not a JSON array.
    static std::optional<QList<Entry>> decode(const QByteArray &json);
    static QByteArray encode(const QList<Entry> &entries);

private:
    void load();
    // The file's entries: an empty list when it is missing or unreadable (`unreadable` set then), nothing
    // when it cannot be opened at all.
    std::optional<QList<Entry>> readFile(bool *unreadable) const;
    void mutate(const std::function<void(QList<Entry> &)> &change);
    // Writes the list; false when it could not.
    bool persist();
    void changed();
    // Both lists' entries, one per path with the later date, newest first, at most 50.
    static QList<Entry> merged(const QList<Entry> &ours, const QList<Entry> &theirs);

    QString m_filePath;
    QList<Entry> m_entries;
    // The last change could not be written: the file lacks what the list in memory has.
    bool m_unsaved = false;
};
