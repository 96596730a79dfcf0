// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/OutputPipeline.h"

#include "common/Resolution.h"
#include "output/FileNamer.h"
#include "output/ImageWriter.h"
#include "settings/AppSettings.h"

#include <QBuffer>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QImageWriter>
#include <QMimeData>
#include <QTimeZone>
#include <QUrl>

#include <cerrno>
#include <climits>
#include <cmath>
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

// ENAMETOOLONG when the folder, or a file of that name in it, is longer than the system takes (checked
// before anything is made, so that nothing is left behind); 0 otherwise.
int pathTooLong(const QString &folder, const QString &fileName)
{
    const QByteArray whole = QFile::encodeName(folder + u'/' + fileName);
    if (whole.size() >= PATH_MAX)
        return ENAMETOOLONG;
    for (const QByteArray &part : whole.split('/')) {
        if (part.size() > NAME_MAX)
            return ENAMETOOLONG;
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

namespace {

// The clipboard's picture: the PNG as given, and a TIFF of the same picture made only when a program asks
// for it (listing the formats asks for nothing), with the same resolution as the PNG.
class CaptureMimeData : public QMimeData {
public:
    CaptureMimeData(QByteArray png, QImage picture, double scale, bool offerTiff)
        : m_png(std::move(png)), m_picture(std::move(picture)), m_scale(scale), m_offerTiff(offerTiff)
    {}

    QStringList formats() const override
    {
        QStringList list{QStringLiteral("image/png")};
        if (m_offerTiff)
            list << QStringLiteral("image/tiff");
        return list;
    }
    bool hasFormat(const QString &mimeType) const override { return formats().contains(mimeType); }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType) const override
    {
        if (mimeType == QLatin1String("image/png"))
            return m_png;
        if (mimeType == QLatin1String("image/tiff") && m_offerTiff)
            return tiff();
        return {};
    }

private:
    QByteArray tiff() const
    {
        if (!m_tiff.isEmpty())
            return m_tiff;
        QImage picture = m_picture.isNull() ? QImage::fromData(m_png, "png") : m_picture;
        if (picture.isNull())
            return {};
        if (!m_picture.isNull()) {
            // Tagging the picture copies it (it is shared): done here, only when a TIFF is asked for.
            picture.setDotsPerMeterX(Resolution::dotsPerMeter(m_scale));
            picture.setDotsPerMeterY(Resolution::dotsPerMeter(m_scale));
        }
        QBuffer buffer(&m_tiff);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "tiff");
        if (!writer.write(picture))
            m_tiff.clear();
        return m_tiff;
    }

    QByteArray m_png;
    QImage m_picture;
    double m_scale;
    bool m_offerTiff;
    mutable QByteArray m_tiff;
};

} // namespace

Result<QString> OutputPipeline::writeNewFile(const QString &folder, const QString &baseName,
                                             const QString &extension, const QByteArray &bytes)
{
    const QString absolute = QDir::cleanPath(QDir(folder).absolutePath());
    if (const int error = pathTooLong(absolute, baseName + QStringLiteral(" 999999.") + extension))
        return systemError(error);
    if (const int error = makeFolders(absolute))
        return systemError(error);
    const QDir dir(folder);
    const auto nameFor = [&](quint64 n) {
        return dir.filePath(n == 1 ? baseName + u'.' + extension
                                   : baseName + u' ' + QString::number(n) + u'.' + extension);
    };
    // Written first into a file without a name in the folder, and named only once whole: a capture file
    // is complete or absent, even if Pim dies while writing it. Linking never replaces an existing name.
    const int anonymous =
        ::open(QFile::encodeName(absolute).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
    if (anonymous >= 0) {
        int error = writeAll(anonymous, bytes);
        if (error != 0) {
            ::close(anonymous);
            return systemError(error);
        }
        const QByteArray self = "/proc/self/fd/" + QByteArray::number(anonymous);
        for (quint64 n = 1;; ++n) {
            const QString path = nameFor(n);
            if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, QFile::encodeName(path).constData(),
                         AT_SYMLINK_FOLLOW) == 0) {
                ::close(anonymous);
                return path;
            }
            if (errno == EEXIST)
                continue;
            error = errno;
            ::close(anonymous);
            return systemError(error);
        }
    }
    // File systems without anonymous files: the name is taken at once and the file removed on failure.
    for (quint64 n = 1;; ++n) {
        const QString path = nameFor(n);
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

Result<QString> OutputPipeline::reserveNewFile(const QString &extension)
{
    return saveToDisk(QByteArray(), extension);
}

void OutputPipeline::copyFileToPasteboard(const QString &path)
{
    auto *data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(path)});
    // What file managers paste as a copy of the file.
    data->setData(QStringLiteral("x-special/gnome-copied-files"),
                  "copy\n" + QUrl::fromLocalFile(path).toEncoded());
    QGuiApplication::clipboard()->setMimeData(data, QClipboard::Clipboard);
}

Result<QString> OutputPipeline::save(const QImage &image, qreal scale)
{
    return save(image, scale, QByteArray());
}

Result<QString> OutputPipeline::save(const QImage &image, qreal scale, const QByteArray &pngData)
{
    AppSettings &settings = AppSettings::shared();
    const ImageFormat format = settings.imageFormat();
    const double quality = settings.imageQuality();
    const Result<QByteArray> encoded = format == ImageFormat::png && !pngData.isEmpty()
                                           ? Result<QByteArray>(pngData)
                                           : ImageWriter::data(image, scale, format, quality);
    if (!encoded)
        return encoded.error();
    const Result<QString> path = saveToDisk(*encoded, fileExtension(format));
    if (!path)
        return path.error();
    if (onSaved)
        onSaved(*path);
    return *path;
}

Result<Done> OutputPipeline::copyToPasteboard(const QImage &image, qreal scale)
{
    const Result<QByteArray> png = ImageWriter::data(image, scale, ImageFormat::png, 1.0);
    if (!png)
        return png.error();
    copyToPasteboard(*png, image, scale);
    return Done{};
}

void OutputPipeline::copyToPasteboard(const QByteArray &pngData, const QImage &image, qreal scale)
{
    // The bitmap is at hand: a TIFF, if asked for, is made from it rather than from decoding the PNG, and
    // carries the PNG's resolution so that both entries paste at the same size.
    QGuiApplication::clipboard()->setMimeData(new CaptureMimeData(pngData, image, scale, true),
                                              QClipboard::Clipboard);
}

void OutputPipeline::copyToPasteboard(const QByteArray &pngData)
{
    // Only the header is read now; the TIFF, if asked for, is made from the decoded PNG.
    QBuffer buffer;
    buffer.setData(pngData);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "png");
    const bool readable = reader.canRead() && reader.size().isValid();
    QGuiApplication::clipboard()->setMimeData(new CaptureMimeData(pngData, QImage(), 1, readable),
                                              QClipboard::Clipboard);
}
