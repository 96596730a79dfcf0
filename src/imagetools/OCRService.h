// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"

#include <QImage>
#include <QList>
#include <QObject>
#include <QRectF>
#include <QStringList>

#include <functional>
#include <optional>

// Text recognition with Tesseract, one observation per line of text, ordered into reading order.
namespace OCRService {

struct Observation {
    QRectF boundingBox;     // normalised 0…1, origin at the bottom-left, y up
    QStringList candidates; // best first; may be empty
    // The text block of the page layout the line belongs to, numbered in reading order: a window, a
    // column, a paragraph apart.
    int block = 0;
};

// Reading order: block by block in the layout's order, and within a block higher first (centres more
// than 0.02 apart), else left first; one line per observation, observations without a candidate left
// out, joined with "\n". Lines of windows side by side are thus not interleaved.
QString orderedText(const QList<Observation> &observations);

// The reading blocks of lines given as boxes in pixels (y down): lines are cut apart recursively at the
// widest empty band across or along all of them (at least 1.5 line heights), left before right and top
// before bottom; what cannot be cut is one block.
// Returns each box's block number, numbered in reading order.
QList<int> readingBlocks(const QList<QRectF> &boxes);

// A word as the engine found it: its box in pixels (y down), its text, and whether the engine's layout
// analysis begins a line with it.
struct Word {
    QRectF box;
    QString text;
    bool startsLine = false;
};
// A line of text: its box in pixels (y down) and its words in order.
struct Line {
    QRectF box;
    QStringList words;
};
// The lines of words in the engine's order: each line of the layout analysis, cut where two words stand
// more than three word heights apart (windows side by side sharing a height), then pieces on the same
// row (overlapping by more than half the smaller height) and a word gap apart joined again, left to
// right (the analysis sometimes ends a line early). The lines come left to right.
QList<Line> linesOf(const QList<Word> &words);

// Tesseract's code for a language tag ("fr-FR" → "fra", "zh-Hans" → "chi_sim"); empty when unknown.
QString tesseractCode(const QString &languageTag);
// The folder holding the *.traineddata files.
QString dataPath();

// Recognises synchronously on the calling thread (for workers and tests). `shouldStop`, when given, is
// asked as the recognition goes (several times a second): true stops it, with an error.
Result<QList<Observation>> recognize(const QImage &image, const QStringList &languages,
                                     const std::function<bool()> &shouldStop = {});

// Frees the recognition engines kept between recognitions. Done by itself a while after the last
// recognition, whichever way it was asked for: a minute, or what setEnginesKeptFor says.
void releaseEngine();
void setEnginesKeptFor(int milliseconds);
// Whether engines are kept.
bool holdsEngines();

// How many recognitions asked through recognizeText are under way.
int activeRecognitions();

// Recognises on a worker thread and calls `done` on the thread of `context` with the text or the error;
// nothing is called if `context` is destroyed first.
void recognizeText(const QImage &image, const QStringList &languages, QObject *context,
                   std::function<void(Result<QString>)> done);

} // namespace OCRService
