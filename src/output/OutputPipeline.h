// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/Result.h"

#include <QByteArray>
#include <QDateTime>
#include <QImage>
#include <QString>

#include <functional>

// Writes captures into the capture folder and puts images on the clipboard. Every save reads the settings
// anew; the pipeline holds only whom it tells of the files it writes.
class OutputPipeline {
public:
    // Told of every file this pipeline saves (the app has the history record them).
    std::function<void(const QString &path)> onSaved;

    // Encodes in the configured format and quality, writes a new file under the rendered name (never
    // replacing an existing file), reports it through onSaved and returns its path.
    Result<QString> save(const QImage &image, qreal scale);

    // PNG (with 72 × scale dpi) on the clipboard, then the same picture as TIFF, encoded only when a
    // program asks for it.
    static Result<Done> copyToPasteboard(const QImage &image, qreal scale);
    // The same with the PNG already made from the image.
    static void copyToPasteboard(const QByteArray &pngData, const QImage &image, qreal scale);
    static void copyToPasteboard(const QByteArray &pngData);

    // save() for a picture whose PNG is already made: a PNG capture is written from those bytes.
    Result<QString> save(const QImage &image, qreal scale, const QByteArray &pngData);

    // A new empty file in the capture folder, named by the pattern with this extension, for a recording to
    // fill; told through onSaved once the recording is done (announceSaved).
    Result<QString> reserveNewFile(const QString &extension);
    void announceSaved(const QString &path)
    {
        if (onSaved)
            onSaved(path);
    }
    // The file itself on the clipboard, as a URI list (a file manager, a chat or a mail takes it).
    static void copyFileToPasteboard(const QString &path);

    // Writes the bytes into a new file in the folder named base.ext, base 2.ext, base 3.ext, …: the first
    // name at which nothing exists, created exclusively so that a file appearing meanwhile is never
    // replaced. On failure nothing is left under any of those names.
    static Result<QString> writeNewFile(const QString &folder, const QString &baseName,
                                        const QString &extension, const QByteArray &bytes);

private:
    Result<QString> saveToDisk(const QByteArray &data, const QString &fileExtension);
};
