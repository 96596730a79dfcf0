#pragma once

#include "common/Result.h"
#include "history/HistoryStore.h"
#include "history/TextIndex.h"

#include <QImage>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <functional>

// Keeps the text index in step with the history: each capture's text is recognised in the background,
// one picture at a time on a thread of the lowest priority, never while a capture or a recognition asked
// for by the user runs, and a little after either has ended. Files that leave the history leave the index;
// a file deleted or replaced while it was being read is skipped.
class TextIndexer : public QObject {
    Q_OBJECT
public:
    explicit TextIndexer(TextIndex *index, QObject *parent = nullptr);
    ~TextIndexer() override;

    // Reads a picture's text, on the worker thread, giving up (with an error) as soon as `shouldStop` says
    // so; replaceable for tests. The default loads the file and recognises it with the text-recognition
    // service in reading order.
    std::function<Result<QString>(const QString &path, const QStringList &languages,
                                  const std::function<bool()> &shouldStop)>
        recognize;
    // A picture's text as the index keeps it: the file loaded and recognised in reading order; an error
    // when it cannot be read or `shouldStop` stopped it. What both the in-process and the reader program run.
    static Result<QString> readPicture(const QString &path, const QStringList &languages,
                                       const std::function<bool()> &shouldStop = {});
    // Whether the user's own recognition is under way (then the indexer waits); replaceable for tests.
    std::function<bool()> userRecognitionRunning;
    // How long to stay quiet after a capture or the user's recognition ends, in milliseconds.
    int quietMilliseconds = 2000;
    // Reads each picture in a program of its own instead (`program --read-text PATH LANGUAGES`, the text
    // on its standard output), at the idle scheduling class: a capture stops it on the spot (SIGSTOP) and
    // lets it go on afterwards, so it takes nothing from the capture; its memory goes when it ends.
    void setReaderProgram(const QString &program) { m_program = program; }
    // Readings at the idle scheduling class (the default), or at the normal one: on a machine kept busy by
    // other work an idle-class reading waits for as long as that work lasts.
    void setIdlePriority(bool idle);
    // A reading that has not ended after this long (not counting pauses) is given up.
    int readerTimeoutMilliseconds = 120000;

    // Queues the history's entries not indexed yet (or whose file or languages changed since) and drops
    // the index rows of files no longer in the history.
    void follow(const QList<HistoryStore::Entry> &entries);
    // A capture is being taken: the recognition under way stops at once (its picture is read again
    // later) and nothing starts until the capture has ended.
    void setCaptureRunning(bool running);

    int pending() const { return int(m_queue.size()); }
    bool isWorking() const { return m_working; }

signals:
    // A picture's text is in the index (or the picture was skipped); `idle` when the queue is empty.
    void indexed(const QString &path);
    void idle();

private:
    void schedule(int delay);
    void idleNow();
    void startNext();
    // How a reading ended: with the text (or the reason the picture cannot be read, stored without
    // text), stopped to be read again later, or not done at all (the reader program did not start).
    enum class Ending { read, stopped, notDone };
    void finish(const QString &path, qint64 size, qint64 modified, const QStringList &languages,
                const Result<QString> &text, Ending ending);

    void startReader(const QString &path, qint64 size, qint64 modified, const QStringList &languages);
    void pauseReader(bool pause);

    TextIndex *m_index;
    QString m_program;
    bool m_idlePriority = true;
    bool m_saidReaderFailed = false;
    QProcess *m_reader = nullptr;
    QTimer m_readerTimeout;
    QStringList m_queue;
    QStringList m_history;
    bool m_working = false;
    bool m_captureRunning = false;
    // Read by the worker while it recognises: a capture, or the user's own recognition, wants the machine.
    std::atomic<bool> m_stop{false};
    QThread m_thread;
    QObject *m_worker = nullptr;
    QTimer m_timer;
};
