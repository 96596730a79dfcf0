// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

// The words in past captures, for finding them again: one row per capture file (its path, size,
// modification time, the recognition languages used and the recognised text) in an SQLite database with
// an FTS5 full-text table beside the history, <data folder>/Pim/text-index.sqlite, in WAL mode. The
// history stays the list of captures; this only adds their text, and is made anew from the history
// whenever it is missing, corrupt or from another version. A lock held by another process is waited for a
// moment; when the index cannot be used at all (the disk is full or read-only, another process keeps it
// locked) search is off and `problem()` says why, and `ensureAvailable()` tries again later; the captures
// and the history are never touched.
class TextIndex {
public:
    struct Record {
        QString path;
        qint64 size = -1;
        qint64 modified = 0; // milliseconds since the epoch
        QStringList languages;
        QString text;
        bool operator==(const Record &) const = default;
    };

    static constexpr int schemaVersion = 1;

    // An empty path means <data folder>/Pim/text-index.sqlite.
    explicit TextIndex(const QString &filePath = QString());
    ~TextIndex();
    TextIndex(const TextIndex &) = delete;
    TextIndex &operator=(const TextIndex &) = delete;

    QString filePath() const { return m_filePath; }
    bool isAvailable() const { return m_available; }
    // Available now, or made so again when the last try is long enough ago: an index that was locked or
    // read-only for a while comes back by itself.
    bool ensureAvailable();
    // How long a lock is waited for, and how long between two tries once the index is out of reach.
    static constexpr int busyMilliseconds = 500;
    int retryMilliseconds = 10000;
    // Why search is off; empty while it works.
    QString problem() const { return m_problem; }

    std::optional<Record> record(const QString &path);
    QStringList paths();
    // Adds or replaces the row of the record's path. False (and search off) when it cannot be written.
    bool store(const Record &record);
    void remove(const QString &path);

    // The captures whose text holds every word of the query (each a prefix, case and accents aside).
    QSet<QString> search(const QString &query);
    // The recognised text of one capture; empty when it has none or is not indexed.
    QString text(const QString &path);
    // The full-text expression for a query typed by a person: its words (runs of letters and digits),
    // each quoted and taken as a prefix, all required; empty when there is no word. Quotes, operators, `*`
    // and NEAR are only words or separators here, never syntax.
    static QString matchExpression(const QString &query);

private:
    bool open();
    // Opens the file, making it anew when it is no index of ours.
    void openOrRemake();
    bool createSchema();
    bool exec(const QString &statement);
    void fail(const QString &why);

    QString m_filePath;
    QString m_connection;
    bool m_available = false;
    bool m_damaged = false; // the file is no usable index of ours (as opposed to out of reach)
    QString m_problem;
    qint64 m_lastTry = 0; // milliseconds since the epoch
};
