// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QList>
#include <QRect>

// The parts of a picture of a screen that a person sees as windows and panes, found by their uniform
// backgrounds, so that text recognition reads each on its own: given a whole desktop at once, the
// engine's layout analysis drops whole windows (one threshold for dark and light windows, pictures taken
// for text), while each window cut out reads well.
namespace TextRegions {

struct Region {
    QRect rect;        // pixels of the picture
    QColor background; // its uniform background
    // The parts of other regions that lie inside this one: they are read on their own, so they are painted
    // over with this region's background before it is read.
    QList<QRect> holes;
    // Whether it is the rest of the picture, what no uniform background covers.
    bool rest = false;
};

// The regions of a picture, in reading order (the rest last). A region is the bounding box of a connected
// area of one colour (its background) large enough to hold text and covering a good part of that box; what no
// such area covers (a photograph or a wallpaper, text straight on them) is one more region, the whole picture
// with every other region as a hole, when it is more than a sliver. Every pixel is read by exactly one
// region: the smallest that holds it. A picture with no uniform background is one region, all of it. At
// most 48 regions besides the rest: the largest.
QList<Region> find(const QImage &image);

// The picture of a region as the engine should read it: its holes painted over, dark text on a light
// background (a dark background inverted), and enlarged by `scale`: 2 where its lines are less than 16
// pixels high, 1 otherwise and for the rest (a photograph's rows look like short lines, and the rest is
// read as the whole picture used to be).
struct Prepared {
    QImage image;
    int scale = 1;
};
Prepared prepare(const QImage &image, const Region &region);

// Reading order of rectangles: cut apart recursively at a line that crosses none of them (left before
// right, top before bottom; the wider empty band first), and top to bottom, then left to right, where
// no such line exists. Returns the indices in order.
QList<int> readingOrder(const QList<QRect> &rects);

} // namespace TextRegions
