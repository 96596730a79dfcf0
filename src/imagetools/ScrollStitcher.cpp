// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagetools/ScrollStitcher.h"

#include "common/ImageLimits.h"

#include <QHash>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include <sys/mman.h>

namespace {

QImage opaque(const QImage &frame)
{
    return frame.format() == QImage::Format_RGB32 ? frame : frame.convertToFormat(QImage::Format_RGB32);
}

// Rows of `frame` in memory of their own, given back to the system the moment the strip goes (the heap
// would keep it): the picture is assembled from the strips as they are let go, so that it is not held
// twice.
QImage stripOf(const QImage &frame, int first, int count)
{
    const size_t rowBytes = size_t(frame.width()) * 4;
    const size_t bytes = rowBytes * size_t(count);
    void *memory = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return frame.copy(0, first, frame.width(), count);
    auto *bits = static_cast<uchar *>(memory);
    for (int r = 0; r < count; ++r)
        std::memcpy(bits + size_t(r) * rowBytes, frame.constScanLine(first + r), rowBytes);
    struct Mapping {
        void *address;
        size_t bytes;
    };
    return QImage(
        bits, frame.width(), count, qsizetype(rowBytes), QImage::Format_RGB32,
        [](void *info) {
            auto *mapping = static_cast<Mapping *>(info);
            ::munmap(mapping->address, mapping->bytes);
            delete mapping;
        },
        new Mapping{memory, bytes});
}

} // namespace

ScrollStitcher::ScrollStitcher(const QImage &first)
    : m_first(opaque(first)), m_last(m_first), m_lastHashes(hashesOf(m_first)), m_width(m_first.width()),
      m_rows(m_first.height()), m_height(m_first.height())
{}

int ScrollStitcher::toleratedRows(int overlap)
{
    return overlap / 64;
}

int ScrollStitcher::toleratedPixels(int width)
{
    return std::max(2, width / 40);
}

ScrollStitcher::Hashes ScrollStitcher::hashesOf(const QImage &frame)
{
    Hashes hashes(size_t(frame.height()));
    const qsizetype bytes = qsizetype(frame.width()) * 4;
    for (int y = 0; y < frame.height(); ++y)
        hashes[size_t(y)] = std::uint64_t(qHashBits(frame.constScanLine(y), size_t(bytes), 0x9e3779b9u));
    return hashes;
}

bool ScrollStitcher::rowsAlike(const QImage &first, int a, const QImage &second, int b) const
{
    const auto *p = reinterpret_cast<const quint32 *>(first.constScanLine(a));
    const auto *q = reinterpret_cast<const quint32 *>(second.constScanLine(b));
    const int allowed = toleratedPixels(m_width);
    int differing = 0;
    for (int x = 0; x < m_width; ++x) {
        if (p[x] != q[x] && ++differing > allowed)
            return false;
    }
    return true;
}

bool ScrollStitcher::matchesAt(const Hashes &next, const QImage &frame, int shift) const
{
    const int top = m_header, bottom = m_rows - m_footer;
    const int overlap = bottom - top - shift;
    if (overlap <= 0)
        return false;
    const int allowed = toleratedRows(overlap);
    int differing = 0;
    for (int y = top; y < top + overlap; ++y) {
        if (next[size_t(y)] == m_lastHashes[size_t(y + shift)])
            continue;
        if (!rowsAlike(frame, y, m_last, y + shift) && ++differing > allowed)
            return false;
    }
    return true;
}

int ScrollStitcher::anchorsAt(const Hashes &next, int shift) const
{
    const int top = m_header, bottom = m_rows - m_footer;
    std::unordered_map<std::uint64_t, int> seen;
    seen.reserve(size_t(bottom - top));
    for (int y = top; y < bottom; ++y)
        ++seen[next[size_t(y)]];
    int anchors = 0;
    for (int y = top; y < bottom - shift; ++y) {
        const std::uint64_t h = next[size_t(y)];
        if (seen[h] == 1 && h == m_lastHashes[size_t(y + shift)])
            ++anchors;
    }
    return anchors;
}

void ScrollStitcher::detectStickyRows(const Hashes &next)
{
    // Rows equal at the same place in both frames, from the top and from the bottom. A body of fewer than
    // eight rows is no body: then nothing is sticky.
    int header = 0;
    while (header < m_rows && next[size_t(header)] == m_lastHashes[size_t(header)])
        ++header;
    int footer = 0;
    while (footer < m_rows - header &&
           next[size_t(m_rows - 1 - footer)] == m_lastHashes[size_t(m_rows - 1 - footer)])
        ++footer;
    if (m_rows - header - footer < 8)
        header = footer = 0;
    m_header = header;
    m_footer = footer;
    m_stickyKnown = true;
}

ScrollStitcher::Step ScrollStitcher::add(const QImage &input)
{
    if (input.size() != m_first.size() || m_rows == 0 || m_taken)
        return Step::noMatch;
    const QImage frame = opaque(input);
    const Hashes next = hashesOf(frame);
    if (matchesAt(next, frame, 0))
        return Step::unchanged;
    if (!m_stickyKnown)
        detectStickyRows(next);

    const int body = m_rows - m_header - m_footer;
    // At least an eighth of the body has to be seen in both frames to trust the seam.
    const int longest = body - std::max(8, body / 8);
    int best = -1, bestAnchors = -1;
    const auto nearer = [&](int shift) {
        if (best < 0)
            return true;
        if (m_expected > 0)
            return std::abs(shift - m_expected) < std::abs(best - m_expected);
        return shift < best;
    };
    // The shift the steps before moved by first: when it lines up a row found once in the frame, it is
    // the one.
    if (m_expected > 0 && m_expected <= longest && matchesAt(next, frame, m_expected)) {
        best = m_expected;
        bestAnchors = anchorsAt(next, m_expected);
    }
    if (bestAnchors <= 0) {
        for (int shift = 1; shift <= longest; ++shift) {
            if (shift == m_expected || !matchesAt(next, frame, shift))
                continue;
            const int anchors = anchorsAt(next, shift);
            if (anchors > bestAnchors || (anchors == bestAnchors && nearer(shift))) {
                best = shift;
                bestAnchors = anchors;
            }
        }
    }
    if (best < 0)
        return Step::noMatch;

    // The new rows are the bottom `best` of the body; the result may not pass the pixel limit.
    const qint64 maxRows = ImageLimits::maxPixels / std::max(1, m_width);
    const int fits = int(std::clamp<qint64>(maxRows - m_height, 0, best));
    const int bottom = m_rows - m_footer;
    if (fits > 0) {
        m_strips << stripOf(frame, bottom - best, fits);
        m_height += fits;
    }
    m_last = frame;
    m_lastHashes = next;
    m_expected = best;
    ++m_frames;
    return fits < best ? Step::limit : Step::added;
}

int ScrollStitcher::height() const
{
    return int(m_height);
}

QImage ScrollStitcher::takeResult()
{
    QImage out = result(true);
    m_strips.clear();
    m_taken = true;
    return out;
}

QImage ScrollStitcher::result() const
{
    return const_cast<ScrollStitcher *>(this)->result(false);
}

QImage ScrollStitcher::result(bool release)
{
    QImage out = ImageLimits::plainImage(QSize(m_width, int(m_height)), QImage::Format_RGB32);
    if (out.isNull())
        return out;
    const size_t rowBytes = size_t(m_width) * 4;
    int y = 0;
    const auto put = [&](const QImage &from, int first, int count) {
        for (int r = 0; r < count; ++r)
            std::memcpy(out.scanLine(y++), from.constScanLine(first + r), rowBytes);
    };
    // The first frame down to its footer, what each frame added, the last frame's footer.
    put(m_first, 0, m_rows - m_footer);
    for (QImage &strip : m_strips) {
        put(strip, 0, strip.height());
        if (release)
            strip = QImage();
    }
    put(m_last, m_rows - m_footer, m_footer);
    out.setDevicePixelRatio(m_first.devicePixelRatio());
    return out;
}
