// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/portal/PortalScreenCapturer.h"

#include "capture/CaptureGeometry.h"
#include "output/ImageLoader.h"
#include "platform/portal/PortalRequest.h"
#include "platform/portal/PortalTypes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <unistd.h>

namespace {

QString screenshotInterface()
{
    return QStringLiteral("org.freedesktop.portal.Screenshot");
}

QStringList existing(QStringList folders)
{
    QStringList result;
    for (const QString &folder : folders) {
        if (folder.isEmpty())
            continue;
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        if (!canonical.isEmpty() && !result.contains(canonical))
            result << canonical;
    }
    return result;
}

QStringList defaultTemporaryFolders()
{
    return existing({QDir::tempPath(), QStringLiteral("/tmp"), qEnvironmentVariable("XDG_RUNTIME_DIR"),
                     QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)});
}

bool isInside(const QString &path, const QStringList &folders)
{
    for (const QString &folder : folders) {
        if (path.startsWith(folder + u'/'))
            return true;
    }
    return false;
}

// The texts of the portal's failures, in the capture alert.
Error portalError(const Portal::Answer &answer)
{
    switch (Portal::outcome(answer)) {
    case Portal::Outcome::Timeout:
        return Error{
            QStringLiteral("Le portail du bureau n'a pas répondu à la demande de capture en 10 secondes.")};
    case Portal::Outcome::NoPortal:
        return Error{
            QStringLiteral("Aucun portail de bureau (xdg-desktop-portal) ne répond : la capture d'écran "
                           "est impossible dans cette session Wayland.")};
    case Portal::Outcome::NoInterface:
        return Error{QStringLiteral("Le portail du bureau ne propose pas la capture d'écran (aucun service "
                                    "Screenshot pour ce bureau).")};
    case Portal::Outcome::CallError:
        return Error{
            QStringLiteral("Le portail du bureau a refusé la demande : %1").arg(answer.errorMessage)};
    case Portal::Outcome::Cancelled:
        return Error{QStringLiteral("La capture d'écran a été refusée ou annulée sur le bureau.")};
    case Portal::Outcome::Success:
    case Portal::Outcome::Failed: break;
    }
    return Error{QStringLiteral("Le portail du bureau n'a pas pu capturer l'écran.")};
}

} // namespace

PortalScreenCapturer::PortalScreenCapturer(const QDBusConnection &bus, const QString &service)
    : m_bus(bus), m_service(service.isEmpty() ? Portal::serviceName() : service)
{
    m_temporaryFolders = defaultTemporaryFolders();
    m_allowedFolders =
        m_temporaryFolders + existing({QStandardPaths::writableLocation(QStandardPaths::PicturesLocation)});
}

void PortalScreenCapturer::capture(const Request &request, Completion done)
{
    QList<QPointer<QScreen>> screens;
    for (QScreen *screen : request.screens)
        screens << screen;
    // From the event loop, a moment later when Pim has just hidden windows: Qt hands their removal to the
    // compositor when control returns to the loop, and the compositor draws the screen without them.
    const int delay = request.closing.isEmpty() ? 0 : closingDelayMilliseconds;
    QTimer::singleShot(delay, &m_context, [this, screens, done = std::move(done)] {
        Portal::request(
            m_bus, m_service, screenshotInterface(), QStringLiteral("Screenshot"), {QString()},
            {{QStringLiteral("interactive"), false}, {QStringLiteral("modal"), false}}, m_timeout, &m_context,
            [this, screens, done](const Portal::Answer &answer) { done(picturesFrom(answer, screens)); });
    });
}

void PortalScreenCapturer::askPermission()
{
    Portal::request(m_bus, m_service, screenshotInterface(), QStringLiteral("Screenshot"), {QString()},
                    {{QStringLiteral("interactive"), true}, {QStringLiteral("modal"), false}}, m_timeout,
                    &m_context, [this](const Portal::Answer &answer) {
                        const QString uri = answer.results.value(QStringLiteral("uri")).toString();
                        if (!uri.isEmpty())
                            static_cast<void>(loadAnswer(uri)); // the picture is not wanted: its file goes
                    });
}

ScreenCapturer::Pictures PortalScreenCapturer::picturesFrom(const Portal::Answer &answer,
                                                            const QList<QPointer<QScreen>> &wanted)
{
    if (!answer.ok()) {
        // A failed answer may still name a file: it is not ours to keep.
        const QString uri = answer.results.value(QStringLiteral("uri")).toString();
        if (!uri.isEmpty())
            static_cast<void>(loadAnswer(uri));
        return portalError(answer);
    }
    const Result<QImage> desktop = loadAnswer(answer.results.value(QStringLiteral("uri")).toString());
    if (!desktop)
        return desktop.error();

    const QList<QScreen *> screens = QGuiApplication::screens();
    QList<CaptureGeometry::ScreenArea> areas;
    for (QScreen *screen : screens)
        areas << CaptureGeometry::ScreenArea{screen->geometry(), screen->devicePixelRatio()};
    const Result<QList<QImage>> pictures = CaptureGeometry::splitDesktopPicture(*desktop, areas);
    if (!pictures)
        return pictures.error();
    QList<QImage> result;
    for (const QPointer<QScreen> &screen : wanted) {
        const qsizetype index = screen ? screens.indexOf(screen.data()) : -1;
        if (index < 0)
            return CaptureError::displayNotFound();
        result << pictures->at(index);
    }
    return result;
}

Result<QImage> PortalScreenCapturer::loadAnswer(const QString &uri)
{
    const QUrl url(uri);
    if (!url.isValid() || !url.isLocalFile())
        return Error{
            QStringLiteral("Le portail du bureau a répondu par une adresse inattendue (%1).").arg(uri)};
    const QString path = url.toLocalFile();
    const QFileInfo info(path);
    const QString canonical = info.canonicalFilePath();
    // Only a plain file in one of the expected folders is read (and, when temporary, deleted): never a link,
    // never a file elsewhere that the answer would have us read or remove.
    if (canonical.isEmpty() || !info.exists())
        return Error{QStringLiteral("Le fichier de la capture est introuvable (%1).").arg(path)};
    if (info.isSymLink() || !info.isFile() || !isInside(canonical, m_allowedFolders) ||
        info.ownerId() != ::geteuid())
        return Error{
            QStringLiteral("Le portail du bureau a répondu par un fichier hors des dossiers attendus (%1).")
                .arg(path)};

    // Read within Pim's pixel limit, as every picture Pim opens.
    const bool picture = !QImageReader::imageFormat(canonical).isEmpty();
    std::optional<ImageLoader::Loaded> loaded = ImageLoader::load(canonical);
    // The portal's temporary copy goes, even when it could not be read; a file that is no picture at all
    // is not the portal's and stays.
    if (picture && isInside(canonical, m_temporaryFolders))
        QFile::remove(canonical);
    if (!loaded)
        return Error{QStringLiteral("Impossible de lire la capture du portail (%1) : fichier incomplet, "
                                    "endommagé ou trop grand.")
                         .arg(path)};
    QImage image = std::move(loaded->image);
    if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32 &&
        image.format() != QImage::Format_ARGB32_Premultiplied)
        image = image.convertToFormat(QImage::Format_RGB32);
    return image;
}
