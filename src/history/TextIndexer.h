// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"
#include "history/HistoryStore.h"
#include "history/TextIndex.h"

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <functional>

// Keeps the text index in step with the history: each capture's text is read in the background, one
// picture at a time, by a reader program of its own (`program --read-text PATH LANGUAGES`, the text on
// its standard output) run at the idle scheduling class. Nothing starts while a capture or a recognition
// asked for by the user runs, nor for a little while after either has ended; a reading under way is
// stopped on the spot (SIGSTOP) while either runs and goes on afterwards, so it takes nothing from them.
// Files that leave the history leave the index; a file deleted or replaced while it was being read is
// skipped.
class TextIndexer : public QObject {
    Q_OBJECT
public:
    TextIndexer(TextIndex *index, const QString &readerProgram, QObject *parent = nullptr);
    ~TextIndexer() override;

    // A picture's text as the index keeps it: the file loaded and recognised in reading order; an error
    // when it cannot be read. What the reader program runs.
    static Result<QString> readPicture(const QString &path, const QStringList &languages);

    // Whether the user's own recognition is under way; replaceable for tests.
    std::function<bool()> userRecognitionRunning;
    // How often a reading under way looks whether the user's recognition has started or ended.
    int userWatchMilliseconds = 200;
    // How long to stay quiet after a capture or the user's recognition ends, in milliseconds.
    int quietMilliseconds = 2000;
    // Readings at the idle scheduling class (the default), or at the normal one: on a machine kept busy by
    // other work an idle-class reading waits for as long as that work lasts.
    void setIdlePriority(bool idle) { m_idlePriority = idle; }
    // A reading that has not ended after this long (not counting pauses) is given up.
    int readerTimeoutMilliseconds = 120000;

    // Queues the history's entries not indexed yet (or whose file or languages changed since) and drops
    // the index rows of files no longer in the history.
    void follow(const QList<HistoryStore::Entry> &entries);
    // A capture is being taken: the reading under way is stopped where it is and nothing starts until the
    // capture has ended.
    void setCaptureRunning(bool running);

    int pending() const { return int(m_queue.size()); }
    bool isWorking() const { return m_reader != nullptr; }
    // Whether the reading under way is stopped for a capture or the user's recognition.
    bool isPaused() const { return m_paused; }

signals:
    // A picture's text is in the index (or the picture was skipped); `idle` when the queue is empty.
    void indexed(const QString &path);
    void idle();

private:
    void schedule(int delay);
    void startNext();
    // Stores what a reading found: its text, or, when the reader failed on the picture, no text (so that
    // it is not read again and again); nothing at all when no reader could be started.
    void finish(const QString &path, qint64 size, qint64 modified, const QStringList &languages,
                const Result<QString> &text, bool readerStarted);
    void startReader(const QString &path, qint64 size, qint64 modified, const QStringList &languages);
    // Stops or resumes the reader as a capture or the user's recognition wants.
    void updatePause();
    bool userReading() const { return userRecognitionRunning && userRecognitionRunning(); }

    TextIndex *m_index;
    QString m_program;
    bool m_idlePriority = true;
    bool m_saidReaderFailed = false;
    QProcess *m_reader = nullptr;
    bool m_paused = false;
    QTimer m_readerTimeout;
    QTimer m_userWatch;
    QStringList m_queue;
    QList<HistoryStore::Entry> m_entries;
    QStringList m_history;
    // The index was out of reach when the history was last followed: follow it again once it is back.
    bool m_followAgain = false;
    bool m_captureRunning = false;
    QTimer m_timer;
};
