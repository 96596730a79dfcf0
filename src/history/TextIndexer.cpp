// SPDX-License-Identifier: GPL-3.0-or-later
#include "history/TextIndexer.h"

#include "common/Log.h"
#include "imagetools/OCRService.h"
#include "output/ImageLoader.h"
#include "settings/AppSettings.h"
#include "settings/VideoFormat.h"

#include <QDateTime>
#include <QFileInfo>

#include <csignal>
#include <cstdio>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>

namespace {

struct FileState {
    qint64 size = -1;
    qint64 modified = 0;
    bool operator==(const FileState &) const = default;
};

// The file as it is now: a regular file's size and modification time; size -1 for anything else.
FileState stateOf(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return {};
    return {info.size(), info.lastModified().toMSecsSinceEpoch()};
}

} // namespace

TextIndexer::TextIndexer(TextIndex *index, const QString &readerProgram, QObject *parent)
    : QObject(parent), m_index(index), m_program(readerProgram)
{
    userRecognitionRunning = [] { return OCRService::activeRecognitions() > 0; };
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &TextIndexer::startNext);
    m_readerTimeout.setSingleShot(true);
    connect(&m_readerTimeout, &QTimer::timeout, this, [this] {
        if (m_reader)
            m_reader->kill();
    });
    connect(&m_userWatch, &QTimer::timeout, this, &TextIndexer::updatePause);
}

Result<QString> TextIndexer::readPicture(const QString &path, const QStringList &languages)
{
    const std::optional<ImageLoader::Loaded> loaded = ImageLoader::load(path);
    if (!loaded)
        return Error{QStringLiteral("image illisible : %1").arg(path)};
    const Result<QList<OCRService::Observation>> observations =
        OCRService::recognize(loaded->image, languages);
    if (!observations)
        return observations.error();
    return OCRService::orderedText(*observations);
}

TextIndexer::~TextIndexer()
{
    m_queue.clear();
    if (m_reader) {
        m_reader->disconnect(this);
        if (m_reader->processId() > 0)
            ::kill(pid_t(m_reader->processId()), SIGCONT);
        m_reader->kill();
        m_reader->waitForFinished(5000);
    }
}

void TextIndexer::follow(const QList<HistoryStore::Entry> &entries)
{
    m_entries = entries;
    m_history.clear();
    // Recordings have no text to read.
    for (const HistoryStore::Entry &entry : entries) {
        if (!videoFormatOfFile(entry.path))
            m_history << entry.path;
    }
    if (!m_index->ensureAvailable()) {
        // Out of reach for now (locked, read-only): followed again once it can be used.
        m_followAgain = true;
        if (!m_reader)
            schedule(m_index->retryMilliseconds);
        return;
    }
    m_followAgain = false;
    for (const QString &path : m_index->paths()) {
        if (!m_history.contains(path))
            m_index->remove(path);
    }
    const QStringList languages = AppSettings::shared().ocrLanguages();
    // Newest first, as the history lists them.
    QStringList wanted;
    for (const QString &path : std::as_const(m_history)) {
        const FileState now = stateOf(path);
        if (now.size < 0)
            continue;
        const std::optional<TextIndex::Record> known = m_index->record(path);
        if (known && known->size == now.size && known->modified == now.modified &&
            known->languages == languages)
            continue;
        wanted << path;
    }
    // What is under way stays; the rest follows the history's order.
    m_queue = wanted;
    if (!m_queue.isEmpty() && !m_reader)
        schedule(quietMilliseconds);
}

void TextIndexer::setCaptureRunning(bool running)
{
    m_captureRunning = running;
    updatePause();
    if (!running && !m_queue.isEmpty() && !m_reader)
        schedule(quietMilliseconds);
}

void TextIndexer::schedule(int delay)
{
    m_timer.start(delay);
}

void TextIndexer::startNext()
{
    if (m_reader)
        return;
    if (!m_index->ensureAvailable()) {
        if (m_followAgain || !m_queue.isEmpty())
            schedule(m_index->retryMilliseconds);
        return;
    }
    if (m_followAgain) {
        follow(m_entries);
        return;
    }
    if (m_queue.isEmpty()) {
        emit idle();
        return;
    }
    if (m_captureRunning || userReading()) {
        schedule(quietMilliseconds);
        return;
    }
    const QString path = m_queue.takeFirst();
    const FileState before = stateOf(path);
    if (before.size < 0) {
        emit indexed(path);
        schedule(0);
        return;
    }
    startReader(path, before.size, before.modified, AppSettings::shared().ocrLanguages());
}

void TextIndexer::finish(const QString &path, qint64 size, qint64 modified, const QStringList &languages,
                         const Result<QString> &text, bool readerStarted)
{
    // Deleted, replaced or gone from the history meanwhile: what was read is not that file's text.
    const FileState now = stateOf(path);
    if (readerStarted && m_history.contains(path) && now == FileState{size, modified}) {
        // A picture that cannot be read is recorded without text, so that it is not read again and again.
        if (!m_index->store(TextIndex::Record{path, size, modified, languages, text ? *text : QString()})) {
            // The index went out of reach meanwhile: everything is looked at again once it is back.
            m_followAgain = true;
            emit indexed(path);
            schedule(m_index->retryMilliseconds);
            return;
        }
    }
    emit indexed(path);
    if (m_queue.isEmpty())
        emit idle();
    else
        schedule(0);
}

void TextIndexer::startReader(const QString &path, qint64 size, qint64 modified, const QStringList &languages)
{
    auto *reader = new QProcess(this);
    m_reader = reader;
    m_paused = false;
    reader->setProgram(m_program);
    reader->setArguments({QStringLiteral("--read-text"), path, languages.join(u',')});
    reader->setChildProcessModifier([idle = m_idlePriority] {
        // Only time nobody else wants: the idle scheduling class, and the lowest priority besides.
        if (idle) {
            sched_param none{};
            ::sched_setscheduler(0, SCHED_IDLE, &none);
            ::setpriority(PRIO_PROCESS, 0, 19);
        }
        // Ended with this program, even if it goes without a word (a stopped reader would stay forever).
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    });
    const auto done = [this, reader, path, size, modified, languages](bool started) {
        if (m_reader != reader)
            return;
        m_reader = nullptr;
        m_paused = false;
        m_readerTimeout.stop();
        m_userWatch.stop();
        reader->deleteLater();
        Result<QString> text = Error{QString::fromUtf8(reader->readAllStandardError()).trimmed()};
        if (started && reader->exitStatus() == QProcess::NormalExit && reader->exitCode() == 0)
            text = QString::fromUtf8(reader->readAllStandardOutput());
        // A reader that did not start says nothing of the picture: nothing is stored, so that it is read
        // when a reader can be run (a crashed or hung one is recorded without text, not tried again).
        finish(path, size, modified, languages, text, started);
    };
    connect(reader, &QProcess::finished, this, [done] { done(true); });
    connect(reader, &QProcess::errorOccurred, this, [this, reader, done](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        if (!m_saidReaderFailed) {
            m_saidReaderFailed = true;
            qCWarning(logHistory, "impossible de lancer la lecture du texte des captures (%s) : %s",
                      qPrintable(m_program), qPrintable(reader->errorString()));
        }
        done(false);
    });
    reader->start();
    if (!m_reader)
        return; // it could not start, and that has been handled
    m_readerTimeout.start(readerTimeoutMilliseconds);
    m_userWatch.start(userWatchMilliseconds);
    updatePause();
}

void TextIndexer::updatePause()
{
    if (!m_reader || m_reader->processId() <= 0)
        return;
    const bool pause = m_captureRunning || userReading();
    if (pause == m_paused)
        return;
    m_paused = pause;
    ::kill(pid_t(m_reader->processId()), pause ? SIGSTOP : SIGCONT);
    // The time it may take counts only while it runs.
    if (pause)
        m_readerTimeout.stop();
    else
        m_readerTimeout.start(readerTimeoutMilliseconds);
}
