#include "output/OutputPipeline.h"

#include "history/HistoryStore.h"
#include "output/AppSettings.h"
#include "output/FileNamer.h"
#include "output/ImageWriter.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QMimeData>
#include <QTimeZone>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

Error systemError(int code)
{
    return Error{QString::fromLocal8Bit(std::strerror(code))};
}

// Writes everything, retrying short writes and interruptions. Returns 0 or the error number.
int writeAll(int fd, const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        data += written;
        left -= written;
    }
    return 0;
}

// Creates the folder and its missing parents. Returns 0 or the error number the system gave.
int makeFolders(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.isDir())
        return 0;
    if (info.exists() || info.isSymLink())
        return ENOTDIR;
    const QString parent = info.path();
    if (parent != folder) {
        if (const int error = makeFolders(parent))
            return error;
    }
    if (::mkdir(QFile::encodeName(folder).constData(), 0777) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

} // namespace

Result<QString> OutputPipeline::writeNewFile(const QString &folder, const QString &baseName,
                                             const QString &extension, const QByteArray &bytes)
{
    if (const int error = makeFolders(QDir::cleanPath(QDir(folder).absolutePath())))
        return systemError(error);
    const QDir dir(folder);
    for (quint64 n = 1;; ++n) {
        const QString name =
            n == 1 ? baseName + u'.' + extension : baseName + u' ' + QString::number(n) + u'.' + extension;
        const QString path = dir.filePath(name);
        const QByteArray encoded = QFile::encodeName(path);
        const int fd = ::open(encoded.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return systemError(errno);
        }
        int error = writeAll(fd, bytes);
        if (::close(fd) != 0 && error == 0)
            error = errno;
        if (error != 0) {
            ::unlink(encoded.constData());
            return systemError(error);
        }
        return path;
    }
}

Result<QString> OutputPipeline::saveToDisk(const QByteArray &data, const QString &fileExtension)
{
    AppSettings &settings = AppSettings::shared();
    const QString folder = settings.destinationDirectory();
    const QString baseName = FileNamer::render(settings.filenamePattern(), QDateTime::currentDateTime(),
                                               QTimeZone::systemTimeZone());
    return writeNewFile(folder, baseName, fileExtension, data);
}

Result<QString> OutputPipeline::save(const QImage &image, qreal scale)
{
    AppSettings &settings = AppSettings::shared();
    const ImageFormat format = settings.imageFormat();
    const double quality = settings.imageQuality();
    const Result<QByteArray> encoded = ImageWriter::data(image, scale, format, quality);
    if (!encoded)
        return encoded.error();
    const Result<QString> path = saveToDisk(*encoded, fileExtension(format));
    if (!path)
        return path.error();
    HistoryStore::shared().add(*path);
    return *path;
}

Result<Done> OutputPipeline::copyToPasteboard(const QImage &image, qreal scale)
{
    const Result<QByteArray> png = ImageWriter::data(image, scale, ImageFormat::png, 1.0);
    if (!png)
        return png.error();
    // The bitmap is at hand: the TIFF is made from it rather than from decoding the PNG again.
    setClipboard(*png, image);
    return Done{};
}

void OutputPipeline::copyToPasteboard(const QByteArray &pngData)
{
    setClipboard(pngData, QImage::fromData(pngData, "png"));
}

void OutputPipeline::setClipboard(const QByteArray &pngData, const QImage &picture)
{
    auto *mime = new QMimeData;
    mime->setData(QStringLiteral("image/png"), pngData);
    // The same picture as TIFF for programs that only take that; without it the PNG entry stays alone.
    if (!picture.isNull()) {
        QByteArray tiff;
        QBuffer buffer(&tiff);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "tiff");
        if (writer.write(picture) && !tiff.isEmpty())
            mime->setData(QStringLiteral("image/tiff"), tiff);
    }
    QGuiApplication::clipboard()->setMimeData(mime, QClipboard::Clipboard);
}
