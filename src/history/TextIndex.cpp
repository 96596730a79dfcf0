// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/TextIndex.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUuid>

namespace {

// Enough words for any real search; a longer text is cut there rather than made into a huge query.
constexpr int maxQueryWords = 32;

// Whether an error means the file is not a usable index of ours (damaged, not a database, someone else's
// tables), as opposed to one it cannot reach now (locked by another process, a full or read-only disk).
bool meansDamage(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok) & 0xFF;
    return ok && (code == 1 /* SQLITE_ERROR */ || code == 11 /* SQLITE_CORRUPT */ ||
                  code == 26 /* SQLITE_NOTADB */);
}

void removeDatabaseFiles(const QString &path)
{
    for (const QString &suffix :
         {QString(), QStringLiteral("-wal"), QStringLiteral("-shm"), QStringLiteral("-journal")})
        QFile::remove(path + suffix);
}

} // namespace

TextIndex::TextIndex(const QString &filePath)
    : m_filePath(filePath.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                                          QStringLiteral("/Pim/text-index.sqlite")
                                    : filePath),
      m_connection(QStringLiteral("pim-text-index-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"))) {
        fail(QStringLiteral("le pilote SQLite de Qt n'est pas installé"));
        return;
    }
    openOrRemake();
}

void TextIndex::openOrRemake()
{
    m_lastTry = QDateTime::currentMSecsSinceEpoch();
    QDir().mkpath(QFileInfo(m_filePath).absolutePath());
    if (open() || !m_damaged)
        return;
    // Not a database, damaged, or from another version: it holds nothing that cannot be recognised again.
    const QString first = m_problem;
    QSqlDatabase::database(m_connection, false).close();
    removeDatabaseFiles(m_filePath);
    m_problem.clear();
    m_damaged = false;
    if (!open() && m_problem.isEmpty())
        m_problem = first;
}

bool TextIndex::ensureAvailable()
{
    if (m_available)
        return true;
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")))
        return false;
    if (QDateTime::currentMSecsSinceEpoch() - m_lastTry < retryMilliseconds)
        return false;
    QSqlDatabase::database(m_connection, false).close();
    const QString before = m_problem;
    m_problem.clear();
    m_damaged = false;
    openOrRemake();
    if (!m_available && m_problem.isEmpty())
        m_problem = before;
    return m_available;
}

TextIndex::~TextIndex()
{
    {
        QSqlDatabase db = QSqlDatabase::database(m_connection, false);
        if (db.isValid())
            db.close();
    }
    QSqlDatabase::removeDatabase(m_connection);
}

void TextIndex::fail(const QString &why)
{
    m_available = false;
    m_lastTry = QDateTime::currentMSecsSinceEpoch();
    if (m_problem.isEmpty())
        m_problem = why;
}

bool TextIndex::exec(const QString &statement)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (query.exec(statement))
        return true;
    m_damaged = meansDamage(query.lastError());
    fail(query.lastError().text());
    return false;
}

bool TextIndex::open()
{
    QSqlDatabase db = QSqlDatabase::contains(m_connection)
                          ? QSqlDatabase::database(m_connection, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_filePath);
    // Another process holding the file is waited for a moment, not longer: the program must not stall.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyMilliseconds));
    if (!db.open()) {
        fail(db.lastError().text());
        return false;
    }
    m_available = true;
    QSqlQuery version(db);
    if (!version.exec(QStringLiteral("PRAGMA user_version")) || !version.next()) {
        m_damaged = meansDamage(version.lastError());
        fail(version.lastError().text());
        return false;
    }
    const int found = version.value(0).toInt();
    version.finish();
    if (found == 0) {
        // A new file (or one that is not ours at all: creating the tables then fails).
        if (!exec(QStringLiteral("PRAGMA journal_mode=WAL")) || !createSchema())
            return false;
    } else if (found != schemaVersion) {
        m_damaged = true;
        fail(QStringLiteral("index d'une autre version (%1)").arg(found));
        return false;
    } else {
        QSqlQuery check(db);
        if (!check.exec(QStringLiteral("PRAGMA quick_check")) || !check.next() ||
            check.value(0).toString() != QLatin1String("ok")) {
            m_damaged = !check.lastError().isValid() || meansDamage(check.lastError());
            fail(QStringLiteral("index endommagé"));
            return false;
        }
    }
    return m_available;
}

bool TextIndex::createSchema()
{
    const QStringList statements{
        QStringLiteral(
            "CREATE TABLE captures(id INTEGER PRIMARY KEY, path TEXT NOT NULL UNIQUE, size INTEGER, "
            "modified INTEGER, languages TEXT, text TEXT)"),
        // Case and accents aside: "ecran" finds "Écran".
        QStringLiteral("CREATE VIRTUAL TABLE captures_text USING fts5(text, content='captures', "
                       "content_rowid='id', tokenize=\"unicode61 remove_diacritics 2\")"),
        QStringLiteral("CREATE TRIGGER captures_added AFTER INSERT ON captures BEGIN INSERT INTO "
                       "captures_text(rowid, text) VALUES (new.id, new.text); END"),
        QStringLiteral("CREATE TRIGGER captures_removed AFTER DELETE ON captures BEGIN INSERT INTO "
                       "captures_text(captures_text, rowid, text) VALUES ('delete', old.id, old.text); END"),
        QStringLiteral("CREATE TRIGGER captures_changed AFTER UPDATE ON captures BEGIN INSERT INTO "
                       "captures_text(captures_text, rowid, text) VALUES ('delete', old.id, old.text); "
                       "INSERT INTO captures_text(rowid, text) VALUES (new.id, new.text); END"),
        QStringLiteral("PRAGMA user_version = %1").arg(schemaVersion),
    };
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    db.transaction();
    for (const QString &statement : statements) {
        if (!exec(statement)) {
            db.rollback();
            return false;
        }
    }
    if (!db.commit()) {
        fail(db.lastError().text());
        return false;
    }
    return true;
}

std::optional<TextIndex::Record> TextIndex::record(const QString &path)
{
    if (!m_available)
        return std::nullopt;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("SELECT size, modified, languages, text FROM captures WHERE path = ?"));
    query.addBindValue(path);
    if (!query.exec() || !query.next())
        return std::nullopt;
    Record found;
    found.path = path;
    found.size = query.value(0).toLongLong();
    found.modified = query.value(1).toLongLong();
    const QString languages = query.value(2).toString();
    found.languages = languages.isEmpty() ? QStringList() : languages.split(u',');
    found.text = query.value(3).toString();
    return found;
}

QStringList TextIndex::paths()
{
    QStringList list;
    if (!m_available)
        return list;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    if (query.exec(QStringLiteral("SELECT path FROM captures"))) {
        while (query.next())
            list << query.value(0).toString();
    }
    return list;
}

bool TextIndex::store(const Record &record)
{
    if (!m_available)
        return false;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(
        QStringLiteral("INSERT INTO captures(path, size, modified, languages, text) VALUES (?, ?, ?, ?, ?) "
                       "ON CONFLICT(path) DO UPDATE SET size = excluded.size, modified = excluded.modified, "
                       "languages = excluded.languages, text = excluded.text"));
    query.addBindValue(record.path);
    query.addBindValue(record.size);
    query.addBindValue(record.modified);
    query.addBindValue(record.languages.join(u','));
    query.addBindValue(record.text);
    if (!query.exec()) {
        fail(query.lastError().text());
        return false;
    }
    return true;
}

void TextIndex::remove(const QString &path)
{
    if (!m_available)
        return;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.prepare(QStringLiteral("DELETE FROM captures WHERE path = ?"));
    query.addBindValue(path);
    if (!query.exec())
        fail(query.lastError().text());
}

QString TextIndex::matchExpression(const QString &query)
{
    QStringList words;
    QString word;
    const auto flush = [&] {
        if (!word.isEmpty() && words.size() < maxQueryWords)
            words << u'"' + word + QStringLiteral("\"*");
        word.clear();
    };
    for (const QChar c : query) {
        if (c.isLetterOrNumber() || c.isMark())
            word += c;
        else
            flush();
    }
    flush();
    return words.join(u' ');
}

QSet<QString> TextIndex::search(const QString &text)
{
    QSet<QString> found;
    const QString expression = matchExpression(text);
    if (!m_available || expression.isEmpty())
        return found;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral("SELECT path FROM captures WHERE id IN (SELECT rowid FROM captures_text WHERE "
                       "captures_text MATCH ?)"));
    query.addBindValue(expression);
    if (!query.exec())
        return found;
    while (query.next())
        found.insert(query.value(0).toString());
    return found;
}

QString TextIndex::text(const QString &path)
{
    const std::optional<Record> found = record(path);
    return found ? found->text : QString();
}
