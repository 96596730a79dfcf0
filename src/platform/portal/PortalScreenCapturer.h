#pragma once

#include "capture/ScreenCapturer.h"

#include <QDBusConnection>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QStringList>


// Screen pixels through the desktop portal's Screenshot interface, for sessions where a program cannot
// read the screen itself (Wayland). One non-interactive screenshot covers the whole desktop; it is cut
// per screen and the portal's file deleted. The screens of one capture share that screenshot: the pictures
// are kept until control returns to the event loop.
class PortalScreenCapturer : public ScreenCapturer {
public:
    explicit PortalScreenCapturer(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                                  const QString &service = QString());

    Result<QImage> grabScreen(QScreen *screen) override;

    // How long to wait for the portal's answer, in milliseconds (10 s).
    void setTimeout(int milliseconds) { m_timeout = milliseconds; }
    // The folders a screenshot file may be in; the portal's answer is refused otherwise. By default the
    // temporary folders, the runtime and cache folders and the pictures folder.
    void setAllowedFolders(const QStringList &folders) { m_allowedFolders = folders; }
    // The folders whose files are the portal's temporary copies and are deleted once read (the pictures
    // folder is the user's: a file there is left alone).
    void setTemporaryFolders(const QStringList &folders) { m_temporaryFolders = folders; }

    // Reads the screenshot the portal names by URI: checks where it is, loads it, deletes it when it is a
    // temporary copy. Public for tests.
    Result<QImage> loadAnswer(const QString &uri);

private:
    Result<QImage> shoot(QScreen *wanted);

    QDBusConnection m_bus;
    QString m_service;
    int m_timeout = 10000;
    QStringList m_allowedFolders;
    QStringList m_temporaryFolders;
    QHash<QScreen *, QImage> m_pictures;
    bool m_busy = false;
    QObject m_context; // ends the pending clean-up with the capturer
};
