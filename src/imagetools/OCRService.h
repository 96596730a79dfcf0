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
};

// Reading order: higher first (centres more than 0.02 apart), else left first; one line per observation,
// observations without a candidate left out, joined with "\n".
QString orderedText(const QList<Observation> &observations);

// Tesseract's code for a language tag ("fr-FR" → "fra", "zh-Hans" → "chi_sim"); empty when unknown.
QString tesseractCode(const QString &languageTag);
// The folder holding the *.traineddata files.
QString dataPath();

// Recognises synchronously on the calling thread (for workers and tests).
Result<QList<Observation>> recognize(const QImage &image, const QStringList &languages);

// Recognises on a worker thread and calls `done` on the thread of `context` with the text or the error;
// nothing is called if `context` is destroyed first.
void recognizeText(const QImage &image, const QStringList &languages, QObject *context,
                   std::function<void(Result<QString>)> done);

} // namespace OCRService
