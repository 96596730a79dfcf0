// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagetools/OCRService.h"

#include "imagetools/TextRegions.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QLocale>
#include <QThread>
#include <QTimer>
#include <QtConcurrent>

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>

#include <algorithm>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <atomic>
#include <memory>
#include <mutex>
#include <numeric>
#include <optional>
#include <thread>

namespace OCRService {

namespace {

bool comesBefore(const Observation &a, const Observation &b)
{
    if (a.block != b.block)
        return a.block < b.block;
    const double midA = a.boundingBox.center().y(), midB = b.boundingBox.center().y();
    if (std::abs(midA - midB) > 0.02)
        return midA > midB;
    return a.boundingBox.left() < b.boundingBox.left();
}

// A stable merge sort that stays well-defined with an ordering test that is not transitive (std::
// stable_sort requires a strict weak ordering, which "same line within 2 %" is not).
void mergeSort(QList<Observation> &items, QList<Observation> &scratch, qsizetype begin, qsizetype end)
{
    if (end - begin < 2)
        return;
    const qsizetype middle = begin + (end - begin) / 2;
    mergeSort(items, scratch, begin, middle);
    mergeSort(items, scratch, middle, end);
    qsizetype left = begin, right = middle, out = begin;
    while (left < middle && right < end)
        scratch[out++] = comesBefore(items[right], items[left]) ? items[right++] : items[left++];
    while (left < middle)
        scratch[out++] = items[left++];
    while (right < end)
        scratch[out++] = items[right++];
    for (qsizetype i = begin; i < end; ++i)
        items[i] = scratch[i];
}

// Words further apart than this many times their height are in different columns: word spaces are a
// fraction of it, gutters between columns and windows several times it.
constexpr double wordGapLimit = 3.0;

Error missingLanguages(const QStringList &tags)
{
    return Error{QStringLiteral("Aucune donnée de reconnaissance installée pour : %1")
                     .arg(tags.join(QStringLiteral(", ")))};
}

// Started engines kept for the next recognitions with the same languages: starting one reads its
// language models, a fifth of a second. Up to one per worker of a recognition.
constexpr size_t keptEngines = 2;
struct EnginePool {
    std::mutex mutex;
    QString key; // data folder and languages of the engines kept
    std::vector<std::unique_ptr<tesseract::TessBaseAPI>> idle;
};

// The engines go a while after the last recognition (a minute unless told otherwise).
std::atomic<int> enginesKeptFor{60000};

// Never destroyed: the engines must not be torn down after the library's own globals at exit.
EnginePool &enginePool()
{
    static EnginePool *pool = new EnginePool;
    return *pool;
}

struct Gap {
    double at = 0;    // where to cut
    double width = 0; // how wide the empty band is
};

// The widest gap in the projection of the boxes on one axis (x when `vertical`), at least `minimum`
// wide, or nothing.
std::optional<Gap> widestGap(const QList<QRectF> &boxes, const QList<int> &members, bool vertical,
                             double minimum)
{
    QList<std::pair<double, double>> spans;
    for (int i : members) {
        const QRectF &b = boxes[i];
        spans.append(vertical ? std::pair{b.left(), b.right()} : std::pair{b.top(), b.bottom()});
    }
    std::sort(spans.begin(), spans.end());
    std::optional<Gap> best;
    double reach = spans.isEmpty() ? 0 : spans.first().second;
    for (qsizetype i = 1; i < spans.size(); ++i) {
        const double width = spans[i].first - reach;
        if (width >= minimum && (!best || width > best->width))
            best = Gap{reach + width / 2, width};
        reach = std::max(reach, spans[i].second);
    }
    return best;
}

// Cuts at an empty band across or along, recursively (left before right, top before bottom); what
// cannot be cut is one block.
void cutIntoBlocks(const QList<QRectF> &boxes, const QList<int> &members, double lineHeight,
                   QList<int> &blocks, int &next)
{
    if (members.size() >= 2) {
        const double minimum = 1.5 * lineHeight;
        const std::optional<Gap> columns = widestGap(boxes, members, true, minimum);
        const std::optional<Gap> rows = widestGap(boxes, members, false, minimum);
        if (columns || rows) {
            // Rows far apart (windows one above the other) come first; otherwise the wider gap, so that
            // columns are not cut at the blank line between two paragraphs.
            const bool farRows = rows && rows->width >= 2.5 * lineHeight;
            const bool vertical = columns && !farRows && (!rows || columns->width >= rows->width);
            const double cut = vertical ? columns->at : rows->at;
            QList<int> before, after;
            for (int i : members) {
                const double start = vertical ? boxes[i].left() : boxes[i].top();
                (start < cut ? before : after).append(i);
            }
            cutIntoBlocks(boxes, before, lineHeight, blocks, next);
            cutIntoBlocks(boxes, after, lineHeight, blocks, next);
            return;
        }
    }
    for (int i : members)
        blocks[i] = next;
    ++next;
}

} // namespace

QList<int> readingBlocks(const QList<QRectF> &boxes)
{
    QList<int> blocks(boxes.size(), 0);
    if (boxes.isEmpty())
        return blocks;
    QList<double> heights;
    QList<int> all;
    for (int i = 0; i < boxes.size(); ++i) {
        heights.append(boxes[i].height());
        all.append(i);
    }
    std::nth_element(heights.begin(), heights.begin() + heights.size() / 2, heights.end());
    const double lineHeight = std::max(1.0, heights[heights.size() / 2]);
    int next = 0;
    cutIntoBlocks(boxes, all, lineHeight, blocks, next);
    return blocks;
}

void releaseEngine()
{
    EnginePool &pool = enginePool();
    std::vector<std::unique_ptr<tesseract::TessBaseAPI>> going;
    {
        const std::lock_guard<std::mutex> lock(pool.mutex);
        going.swap(pool.idle);
        pool.key.clear();
    }
    if (going.empty())
        return;
    going.clear();
#ifdef __GLIBC__
    ::malloc_trim(0); // the models' tens of megabytes go back to the system, not just to the heap
#endif
}

bool holdsEngines()
{
    EnginePool &pool = enginePool();
    const std::lock_guard<std::mutex> lock(pool.mutex);
    return !pool.idle.empty();
}

void setEnginesKeptFor(int milliseconds)
{
    enginesKeptFor = std::max(0, milliseconds);
}

QString orderedText(const QList<Observation> &observations)
{
    QList<Observation> sorted = observations;
    QList<Observation> scratch = observations;
    mergeSort(sorted, scratch, 0, sorted.size());
    QStringList lines;
    for (const Observation &o : sorted) {
        if (!o.candidates.isEmpty())
            lines.append(o.candidates.first());
    }
    return lines.join(u'\n');
}

QString tesseractCode(const QString &tag)
{
    static const QHash<QString, QString> exceptions = {
        {QStringLiteral("zh-hans"), QStringLiteral("chi_sim")},
        {QStringLiteral("zh-cn"), QStringLiteral("chi_sim")},
        {QStringLiteral("zh-hant"), QStringLiteral("chi_tra")},
        {QStringLiteral("zh-tw"), QStringLiteral("chi_tra")},
        {QStringLiteral("nb"), QStringLiteral("nor")},
        {QStringLiteral("no"), QStringLiteral("nor")},
        {QStringLiteral("sr-latn"), QStringLiteral("srp_latn")},
    };
    const QString lower = tag.trimmed().toLower().replace(u'_', u'-');
    for (auto it = exceptions.cbegin(); it != exceptions.cend(); ++it) {
        if (lower == it.key() || lower.startsWith(it.key() + u'-'))
            return it.value();
    }
    const QLocale locale(lower.section(u'-', 0, 0));
    if (locale.language() == QLocale::C || lower.isEmpty())
        return {};
    return QLocale::languageToCode(locale.language(), QLocale::ISO639Part2T);
}

QString dataPath()
{
    const QString fromEnvironment = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return QStringLiteral("/usr/share/tesseract-ocr/5/tessdata");
}

namespace {

// The installed Tesseract codes of the tags, or the error naming the tags none is installed for.
Result<QStringList> languageCodes(const QStringList &languages)
{
    QStringList codes, missing;
    for (const QString &tag : languages) {
        const QString code = tesseractCode(tag);
        if (!code.isEmpty() && QFileInfo::exists(dataPath() + u'/' + code + QStringLiteral(".traineddata"))) {
            if (!codes.contains(code))
                codes.append(code);
        } else {
            missing.append(tag);
        }
    }
    if (codes.isEmpty())
        return missingLanguages(missing.isEmpty() ? languages : missing);
    return codes;
}

QString engineKey(const QStringList &codes)
{
    return dataPath() + u'|' + codes.join(u'+');
}

// An engine for these languages: one the pool keeps, else a new one.
Result<std::unique_ptr<tesseract::TessBaseAPI>> takeEngine(const QStringList &codes)
{
    EnginePool &pool = enginePool();
    const QString key = engineKey(codes);
    {
        const std::lock_guard<std::mutex> lock(pool.mutex);
        if (pool.key != key) {
            pool.idle.clear();
            pool.key = key;
        }
        if (!pool.idle.empty()) {
            std::unique_ptr<tesseract::TessBaseAPI> engine = std::move(pool.idle.back());
            pool.idle.pop_back();
            return engine;
        }
    }
    auto started = std::make_unique<tesseract::TessBaseAPI>();
    if (started->Init(dataPath().toLocal8Bit().constData(), codes.join(u'+').toLatin1().constData(),
                      tesseract::OEM_LSTM_ONLY) != 0)
        return Error{QStringLiteral("Le moteur de reconnaissance n'a pas pu démarrer.")};
    started->SetVariable("debug_file", "/dev/null");
    return started;
}

// Back to the pool, for the next recognition.
void giveBack(std::unique_ptr<tesseract::TessBaseAPI> engine, const QStringList &codes)
{
    EnginePool &pool = enginePool();
    const std::lock_guard<std::mutex> lock(pool.mutex);
    if (pool.key == engineKey(codes) && pool.idle.size() < keptEngines)
        pool.idle.push_back(std::move(engine));
}

// Starts, or starts again, the wait before the kept engines go. Any thread: the timer lives on the
// application's.
void scheduleRelease()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return;
    QMetaObject::invokeMethod(
        app,
        [] {
            static QTimer *release = [] {
                auto *timer = new QTimer(QCoreApplication::instance());
                timer->setSingleShot(true);
                QObject::connect(timer, &QTimer::timeout, [] { (void)QtConcurrent::run(releaseEngine); });
                return timer;
            }();
            release->start(enginesKeptFor.load());
        },
        Qt::QueuedConnection);
}

// The words the engine found, in its order, with the lines of its layout analysis.
QList<Word> wordsOf(tesseract::TessBaseAPI &api)
{
    QList<Word> words;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it || it->Empty(tesseract::RIL_WORD))
        return words;
    do {
        int x1, y1, x2, y2;
        if (!it->BoundingBox(tesseract::RIL_WORD, &x1, &y1, &x2, &y2))
            continue;
        std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
        const QString word = text ? QString::fromUtf8(text.get()).trimmed() : QString();
        if (word.isEmpty())
            continue; // no text: its box says nothing about the layout
        words.append(Word{QRectF(QPointF(x1, y1), QPointF(x2, y2)), word,
                          it->IsAtBeginningOf(tesseract::RIL_TEXTLINE)});
    } while (it->Next(tesseract::RIL_WORD));
    return words;
}

// One region as the engine reads it: its lines, in the picture's pixels.
Result<QList<Line>> readRegion(tesseract::TessBaseAPI &api, const QImage &picture,
                               const TextRegions::Region &region, const std::function<bool()> &shouldStop)
{
    const TextRegions::Prepared prepared = TextRegions::prepare(picture, region);
    const QImage rgb = prepared.image.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull())
        return Error{QStringLiteral("L'image est trop grande pour la reconnaissance du texte.")};
    // The full layout analysis (the library's default reads the picture as one block of text).
    api.SetPageSegMode(tesseract::PSM_AUTO);
    api.SetImage(rgb.constBits(), rgb.width(), rgb.height(), 3, int(rgb.bytesPerLine()));
    api.SetSourceResolution(144 * prepared.scale);
    tesseract::ETEXT_DESC monitor;
    if (shouldStop) {
        monitor.cancel = [](void *stop, int) {
            return (*static_cast<const std::function<bool()> *>(stop))();
        };
        monitor.cancel_this = const_cast<std::function<bool()> *>(&shouldStop);
    }
    if (api.Recognize(shouldStop ? &monitor : nullptr) != 0) {
        api.Clear();
        if (shouldStop && shouldStop())
            return Error{QStringLiteral("La reconnaissance du texte a été interrompue.")};
        return Error{QStringLiteral("La reconnaissance du texte a échoué.")};
    }
    QList<Word> words = wordsOf(api);
    api.Clear();
    const double scale = prepared.scale;
    for (Word &word : words)
        word.box =
            QRectF(word.box.left() / scale + region.rect.left(), word.box.top() / scale + region.rect.top(),
                   word.box.width() / scale, word.box.height() / scale);
    return linesOf(words);
}

// The lines of the regions (in reading order) as observations of a picture of that size: the reading
// blocks of each region follow those of the regions before it.
QList<Observation> observationsOf(const QList<QList<Line>> &regions, QSize size)
{
    QList<Observation> observations;
    const double width = size.width(), height = size.height();
    int firstBlock = 0;
    for (const QList<Line> &lines : regions) {
        QList<QRectF> boxes;
        for (const Line &line : lines)
            boxes.append(line.box);
        const QList<int> blocks = readingBlocks(boxes);
        int blockCount = 0;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QRectF &b = lines[i].box;
            Observation o;
            // Pixel rows from the top become 0…1, y up.
            o.boundingBox =
                QRectF(b.left() / width, 1.0 - b.bottom() / height, b.width() / width, b.height() / height);
            o.block = firstBlock + blocks[i];
            blockCount = std::max(blockCount, blocks[i] + 1);
            const QString text = lines[i].words.join(u' ');
            if (!text.isEmpty())
                o.candidates.append(text);
            observations.append(o);
        }
        firstBlock += blockCount;
    }
    return observations;
}

} // namespace

QList<Line> linesOf(const QList<Word> &words)
{
    // Lines from the layout analysis, cut where their words stand a column gap apart (more than 3 word
    // heights): two windows side by side that share a height are not one line.
    QList<Line> lines;
    for (const Word &word : words) {
        if (!word.startsLine && !lines.isEmpty()) {
            Line &last = lines.last();
            const double gap = word.box.left() - last.box.right();
            if (gap <= wordGapLimit * std::max(last.box.height(), word.box.height())) {
                last.box = last.box.united(word.box);
                last.words.append(word.text);
                continue;
            }
        }
        lines.append(Line{word.box, QStringList{word.text}});
    }
    // The layout analysis sometimes ends a line early: pieces on the same row and a word gap apart are one
    // line.
    std::stable_sort(lines.begin(), lines.end(),
                     [](const Line &a, const Line &b) { return a.box.left() < b.box.left(); });
    for (qsizetype i = 0; i < lines.size(); ++i) {
        for (qsizetype j = i + 1; j < lines.size(); ++j) {
            QRectF &a = lines[i].box;
            const QRectF &b = lines[j].box;
            const double height = std::max(a.height(), b.height());
            const double overlap = std::min(a.bottom(), b.bottom()) - std::max(a.top(), b.top());
            const double gap = b.left() - a.right();
            if (overlap > 0.5 * std::min(a.height(), b.height()) && gap <= wordGapLimit * height &&
                gap > -0.5 * height) {
                a = a.united(b);
                lines[i].words += lines[j].words;
                lines.removeAt(j);
                j = i; // look again from the grown line
            }
        }
    }
    return lines;
}

Result<QList<Observation>> recognize(const QImage &image, const QStringList &languages,
                                     const std::function<bool()> &shouldStop)
{
    if (image.isNull())
        return Error{QStringLiteral("L'image est vide.")};
    const Result<QStringList> codes = languageCodes(languages);
    if (!codes)
        return codes.error();
    const QImage picture = image.convertToFormat(QImage::Format_RGB32);
    if (picture.isNull())
        return Error{QStringLiteral("L'image est trop grande pour la reconnaissance du texte.")};

    // The windows and panes are read one by one, on two engines where there are two cores, the largest
    // first so that both end together.
    const QList<TextRegions::Region> regions = TextRegions::find(picture);
    QList<int> queue(regions.size());
    std::iota(queue.begin(), queue.end(), 0);
    const auto area = [&](int i) { return qint64(regions[i].rect.width()) * regions[i].rect.height(); };
    std::stable_sort(queue.begin(), queue.end(), [&](int a, int b) { return area(a) > area(b); });
    std::vector<std::optional<Result<QList<Line>>>> readings(size_t(regions.size()));
    std::atomic<qsizetype> next{0};
    const auto work = [&] {
        Result<std::unique_ptr<tesseract::TessBaseAPI>> engine = takeEngine(*codes);
        for (qsizetype i = next++; i < queue.size(); i = next++) {
            const int region = queue[i];
            readings[size_t(region)] =
                engine ? readRegion(*engine.value(), picture, regions[region], shouldStop) : engine.error();
        }
        if (engine)
            giveBack(std::move(engine.value()), *codes);
        scheduleRelease();
    };
    const int workers = int(std::clamp<qsizetype>(std::min(QThread::idealThreadCount(), 2), 1,
                                                  std::max<qsizetype>(1, regions.size())));
    std::vector<std::thread> helpers;
    for (int i = 1; i < workers; ++i)
        helpers.emplace_back(work);
    work();
    for (std::thread &helper : helpers)
        helper.join();

    QList<QList<Line>> lines;
    for (const std::optional<Result<QList<Line>>> &reading : readings) {
        if (!*reading)
            return reading->error();
        lines.append(**reading);
    }
    return observationsOf(lines, picture.size());
}

namespace {
std::atomic<int> running{0};
}

int activeRecognitions()
{
    return running.load();
}

void recognizeText(const QImage &image, const QStringList &languages, QObject *context,
                   std::function<void(Result<QString>)> done)
{
    ++running;
    // The watcher lives in the caller's thread as a child of the context: its signal arrives there, and
    // not at all once the context is gone. QImage is shared copy-on-write; the worker only reads it.
    auto *watcher = new QFutureWatcher<Result<QString>>(context);
    QObject::connect(watcher, &QFutureWatcherBase::finished, watcher, [watcher, done = std::move(done)] {
        done(watcher->result());
        watcher->deleteLater();
    });
    watcher->setFuture(QtConcurrent::run([image, languages]() -> Result<QString> {
        const Result<QList<Observation>> observations = recognize(image, languages);
        --running;
        if (!observations)
            return observations.error();
        return orderedText(*observations);
    }));
}

} // namespace OCRService
