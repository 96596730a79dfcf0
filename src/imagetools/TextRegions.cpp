// SPDX-License-Identifier: GPL-3.0-or-later
#include "imagetools/TextRegions.h"

#include <QPainter>

#include <algorithm>
#include <numeric>
#include <optional>
#include <vector>

namespace TextRegions {

namespace {

// Colours are compared at 5 bits a channel: a background is one value, anti-aliased text and the grain of
// a photograph are not.
quint16 colourKey(QRgb rgb)
{
    return quint16(((qRed(rgb) >> 3) << 10) | ((qGreen(rgb) >> 3) << 5) | (qBlue(rgb) >> 3));
}

struct DisjointSets {
    std::vector<quint32> parent;
    explicit DisjointSets(size_t n) : parent(n) { std::iota(parent.begin(), parent.end(), 0u); }
    quint32 root(quint32 i)
    {
        while (parent[i] != i) {
            parent[i] = parent[parent[i]];
            i = parent[i];
        }
        return i;
    }
    void join(quint32 a, quint32 b)
    {
        a = root(a);
        b = root(b);
        if (a != b)
            parent[std::max(a, b)] = std::min(a, b);
    }
};

struct Area {
    qint64 count = 0;
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1; // grid cells, inclusive
    QRgb colour = 0;
    quint32 root = 0;
    double edge = 0; // the share of the cells on its bounding box's edges that are its own
};

// Thresholds in points (grid cells at scale 1): the smallest pane that holds a line of text.
constexpr int minimumWidth = 48;
constexpr int minimumHeight = 16;
constexpr qint64 minimumCells = 1500;
constexpr double minimumFill = 0.3;
// A pane's background runs along all four sides of its box; a band of a gradient or a patch of a
// photograph that happens to be flat crosses its box.
constexpr double minimumEdge = 0.85;
// The most regions a picture is cut into.
constexpr qsizetype maximumRegions = 48;
// The part of the picture left to the wallpaper that makes it a region of its own.
constexpr double restShare = 0.03;

double luminance(QColor c)
{
    return 0.299 * c.red() + 0.587 * c.green() + 0.114 * c.blue();
}

// The uniform areas of the picture, sampled every `step` pixels.
std::vector<Area> uniformAreas(const QImage &image, int step)
{
    const int width = image.width() / step, height = image.height() / step;
    std::vector<quint16> keys(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y * step));
        for (int x = 0; x < width; ++x)
            keys[size_t(y) * size_t(width) + size_t(x)] = colourKey(line[x * step]);
    }
    // A cell is flat when its right and lower neighbours have its colour; flat cells of one colour that
    // touch are one area.
    const auto at = [&](int x, int y) { return keys[size_t(y) * size_t(width) + size_t(x)]; };
    std::vector<bool> flat(keys.size(), false);
    for (int y = 0; y + 1 < height; ++y)
        for (int x = 0; x + 1 < width; ++x)
            flat[size_t(y) * size_t(width) + size_t(x)] =
                at(x, y) == at(x + 1, y) && at(x, y) == at(x, y + 1);
    DisjointSets sets(keys.size());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t i = size_t(y) * size_t(width) + size_t(x);
            if (!flat[i])
                continue;
            if (x > 0 && flat[i - 1] && keys[i - 1] == keys[i])
                sets.join(quint32(i), quint32(i - 1));
            if (y > 0 && flat[i - size_t(width)] && keys[i - size_t(width)] == keys[i])
                sets.join(quint32(i), quint32(i - size_t(width)));
        }
    }
    std::vector<qint32> areaOf(keys.size(), -1);
    std::vector<Area> areas;
    for (int y = 0; y < height; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y * step));
        for (int x = 0; x < width; ++x) {
            const size_t i = size_t(y) * size_t(width) + size_t(x);
            if (!flat[i])
                continue;
            const quint32 root = sets.root(quint32(i));
            if (areaOf[root] < 0) {
                areaOf[root] = qint32(areas.size());
                areas.push_back(Area{0, INT_MAX, INT_MAX, -1, -1, line[x * step], root, 0});
            }
            Area &a = areas[size_t(areaOf[root])];
            ++a.count;
            a.left = std::min(a.left, x);
            a.right = std::max(a.right, x);
            a.top = std::min(a.top, y);
            a.bottom = std::max(a.bottom, y);
        }
    }
    for (Area &a : areas) {
        if (a.count < minimumCells)
            continue;
        const auto own = [&](int x, int y) {
            const size_t i = size_t(y) * size_t(width) + size_t(x);
            return flat[i] && sets.root(quint32(i)) == a.root;
        };
        qint64 cells = 0, owned = 0;
        for (int x = a.left; x <= a.right; ++x) {
            owned += own(x, a.top) + own(x, a.bottom);
            cells += 2;
        }
        for (int y = a.top + 1; y < a.bottom; ++y) {
            owned += own(a.left, y) + own(a.right, y);
            cells += 2;
        }
        a.edge = cells ? double(owned) / double(cells) : 0;
    }
    return areas;
}

struct Gap {
    int at = 0;
    int width = -1;
};

// The widest band between the rectangles along one axis that no rectangle crosses.
std::optional<Gap> widestGap(const QList<QRect> &rects, const QList<int> &members, bool vertical)
{
    QList<std::pair<int, int>> spans;
    for (int i : members) {
        const QRect &r = rects[i];
        spans.append(vertical ? std::pair{r.left(), r.right() + 1} : std::pair{r.top(), r.bottom() + 1});
    }
    std::sort(spans.begin(), spans.end());
    std::optional<Gap> best;
    int reach = spans.first().second;
    for (qsizetype i = 1; i < spans.size(); ++i) {
        const int width = spans[i].first - reach;
        if (width >= 0 && (!best || width > best->width))
            best = Gap{spans[i].first, width};
        reach = std::max(reach, spans[i].second);
    }
    return best;
}

void order(const QList<QRect> &rects, const QList<int> &members, QList<int> &out)
{
    if (members.size() >= 2) {
        const std::optional<Gap> columns = widestGap(rects, members, true);
        const std::optional<Gap> rows = widestGap(rects, members, false);
        if (columns || rows) {
            const bool vertical = columns && (!rows || columns->width >= rows->width);
            const int cut = vertical ? columns->at : rows->at;
            QList<int> before, after;
            for (int i : members)
                ((vertical ? rects[i].left() : rects[i].top()) < cut ? before : after).append(i);
            order(rects, before, out);
            order(rects, after, out);
            return;
        }
    }
    QList<int> sorted = members;
    std::sort(sorted.begin(), sorted.end(), [&](int a, int b) {
        return std::pair(rects[a].top(), rects[a].left()) < std::pair(rects[b].top(), rects[b].left());
    });
    out += sorted;
}

// The height of the picture's lines of text: the median run of rows holding a pixel far from the
// background (runs under 3 pixels, rules and specks, left out); 0 when there is none.
int lineHeight(const QImage &picture, QColor background)
{
    const int ground = qGray(background.rgb());
    QList<int> runs;
    int run = 0;
    for (int y = 0; y <= picture.height(); ++y) {
        bool ink = false;
        if (y < picture.height()) {
            const auto *line = reinterpret_cast<const QRgb *>(picture.constScanLine(y));
            for (int x = 0; x < picture.width() && !ink; ++x)
                ink = std::abs(qGray(line[x]) - ground) > 60;
        }
        if (ink) {
            ++run;
        } else {
            if (run >= 3)
                runs.append(run);
            run = 0;
        }
    }
    if (runs.isEmpty())
        return 0;
    std::nth_element(runs.begin(), runs.begin() + runs.size() / 2, runs.end());
    return runs[runs.size() / 2];
}

} // namespace

QList<int> readingOrder(const QList<QRect> &rects)
{
    QList<int> all(rects.size());
    std::iota(all.begin(), all.end(), 0);
    QList<int> out;
    if (!rects.isEmpty())
        order(rects, all, out);
    return out;
}

QList<Region> find(const QImage &source)
{
    if (source.isNull())
        return {};
    const QImage image = source.format() == QImage::Format_RGB32 || source.format() == QImage::Format_ARGB32
                             ? source
                             : source.convertToFormat(QImage::Format_RGB32);
    // A picture of a screen at scale 2 is looked at every other pixel: its panes are as many cells as at
    // scale 1.
    const int step = image.width() > 2600 || image.height() > 1700 ? 2 : 1;
    QList<Region> regions;
    for (const Area &a : uniformAreas(image, step)) {
        const int width = a.right - a.left + 1, height = a.bottom - a.top + 1;
        if (width < minimumWidth || height < minimumHeight || a.count < minimumCells ||
            double(a.count) < minimumFill * double(width) * double(height) || a.edge < minimumEdge)
            continue;
        // The flat test looks right and down: the last row and column of the area belong to it too.
        const QRect rect(a.left * step, a.top * step, (width + 1) * step, (height + 1) * step);
        regions.append(Region{rect.intersected(image.rect()), QColor(a.colour), {}});
    }
    // Each region costs the engine a call of its own: a window of many buttons and fields keeps its
    // largest panes, and the smallest are read with what holds them.
    if (regions.size() > maximumRegions) {
        std::stable_sort(regions.begin(), regions.end(), [](const Region &a, const Region &b) {
            return qint64(a.rect.width()) * a.rect.height() > qint64(b.rect.width()) * b.rect.height();
        });
        regions.resize(maximumRegions);
    }
    // Each region leaves to the smaller ones what they cover.
    for (Region &region : regions) {
        const qint64 area = qint64(region.rect.width()) * region.rect.height();
        for (const Region &other : std::as_const(regions)) {
            const qint64 otherArea = qint64(other.rect.width()) * other.rect.height();
            if (&other != &region && region.rect.intersects(other.rect) &&
                (otherArea < area || (otherArea == area && &other < &region)))
                region.holes.append(region.rect.intersected(other.rect));
        }
    }
    // What no region covers: sampled on a grid of 4-pixel cells.
    constexpr int cell = 4;
    const int columns = (image.width() + cell - 1) / cell, rows = (image.height() + cell - 1) / cell;
    std::vector<bool> covered(size_t(columns) * size_t(rows), false);
    for (const Region &r : std::as_const(regions))
        for (int y = (r.rect.top() + cell - 1) / cell; y * cell <= r.rect.bottom(); ++y)
            for (int x = (r.rect.left() + cell - 1) / cell; x * cell <= r.rect.right(); ++x)
                covered[size_t(y) * size_t(columns) + size_t(x)] = true;
    qint64 uncovered = 0;
    const qint64 samples = qint64(columns) * rows;
    double red = 0, green = 0, blue = 0;
    for (int y = 0; y < rows; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y * cell));
        for (int x = 0; x < columns; ++x) {
            if (covered[size_t(y) * size_t(columns) + size_t(x)])
                continue;
            ++uncovered;
            red += qRed(line[x * cell]);
            green += qGreen(line[x * cell]);
            blue += qBlue(line[x * cell]);
        }
    }
    QList<QRect> rects;
    for (const Region &r : std::as_const(regions))
        rects.append(r.rect);
    QList<Region> ordered;
    for (int i : readingOrder(rects))
        ordered.append(regions[i]);
    // The rest comes last: it spans the whole picture, and ordered with the others it would leave none
    // of them apart.
    if (regions.isEmpty() || double(uncovered) > restShare * double(samples)) {
        Region rest{image.rect(), QColor(255, 255, 255), rects, true};
        if (uncovered > 0)
            rest.background = QColor(int(red / double(uncovered)), int(green / double(uncovered)),
                                     int(blue / double(uncovered)));
        ordered.append(rest);
    }
    return ordered;
}

Prepared prepare(const QImage &image, const Region &region)
{
    QImage picture = image.copy(region.rect).convertToFormat(QImage::Format_RGB32);
    if (!region.holes.isEmpty()) {
        QPainter painter(&picture);
        for (const QRect &hole : region.holes)
            painter.fillRect(hole.translated(-region.rect.topLeft()), region.background);
    }
    QColor ground = region.background;
    if (luminance(ground) < 110) {
        picture.invertPixels();
        ground = QColor(255 - ground.red(), 255 - ground.green(), 255 - ground.blue());
    }
    const int height = region.rest ? 0 : lineHeight(picture, ground);
    if (height > 0 && height < 16)
        return Prepared{picture.scaled(picture.size() * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                        2};
    return Prepared{picture, 1};
}

} // namespace TextRegions
