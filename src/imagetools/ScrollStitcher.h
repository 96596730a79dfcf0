// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QList>

#include <cstdint>
#include <vector>

// Joins the successive pictures of an area that scrolls into one tall picture. Each new frame is matched
// against the one before: the rows that stay put at the top and bottom of both (a sticky header, a footer,
// a toolbar) are kept once, at the top and the bottom of the result; between them the frame's content has
// moved up by some rows, found by comparing whole rows, and the rows it brings are added below. A frame
// that matches nowhere is refused rather than glued at a wrong seam.
//
// Repeated content (blank lines, identical table rows) matches at several offsets: the one kept is the
// one that lines up rows found only once in the frame, else the one nearest the offset the steps before
// moved by. A few changed pixels in a row (a blinking caret, a spinner) are tolerated. A frame that
// shows what the one before did is the end of the page: a blank stretch taller than the area, or a step
// that moves a pattern by exactly its period, reads as one.
class ScrollStitcher {
public:
    enum class Step {
        added,     // the frame brought new rows
        unchanged, // the frame shows what the one before did: the end of the page
        noMatch,   // the frame does not continue the one before (nothing was added)
        limit,     // the picture reached the largest size Pim makes (what fitted was added)
    };

    explicit ScrollStitcher(const QImage &first);

    // Takes the next frame, of the first one's size.
    Step add(const QImage &frame);

    // The picture so far: the first frame's header, the content, the last frame's footer.
    QImage result() const;
    // The same, letting go of each frame's rows once copied: the picture is never held twice. Nothing
    // more can be added after it.
    QImage takeResult();
    // Its height in pixels.
    int height() const;
    int frameCount() const { return m_frames; }
    // How far the content moved between the last two frames that matched (0 before the first).
    int lastShift() const { return m_expected; }
    int headerRows() const { return m_header; }
    int footerRows() const { return m_footer; }

    // Most rows of one frame that may differ (beyond a few pixels each) from the frame before, and how
    // many pixels of a row may differ, for the frame to still match.
    static int toleratedRows(int overlap);
    static int toleratedPixels(int width);

private:
    using Hashes = std::vector<std::uint64_t>;
    static Hashes hashesOf(const QImage &frame);
    QImage result(bool release);
    // Whether row `a` of `first` and row `b` of `second` are the same, but for a few pixels.
    bool rowsAlike(const QImage &first, int a, const QImage &second, int b) const;
    // Whether the body of `next` equals that of the last frame moved up by `shift` rows (0: not moved).
    bool matchesAt(const Hashes &next, const QImage &frame, int shift) const;
    int anchorsAt(const Hashes &next, int shift) const;
    void detectStickyRows(const Hashes &next);

    QImage m_first;
    QImage m_last;
    Hashes m_lastHashes;
    QList<QImage> m_strips; // the rows each frame added, in order
    bool m_taken = false;
    int m_width = 0;
    int m_rows = 0; // of a frame
    int m_header = 0, m_footer = 0;
    bool m_stickyKnown = false;
    int m_expected = 0;
    qint64 m_height = 0; // of the result
    int m_frames = 1;
};
