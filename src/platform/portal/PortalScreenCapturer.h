// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "capture/ScreenCapturer.h"

#include <QDBusConnection>
#include <QObject>
#include <QPointer>
#include <QStringList>

namespace Portal {
struct Answer;
}

// Screen pixels through the desktop portal's Screenshot interface, for sessions where a program cannot
// read the screen itself (Wayland). One non-interactive screenshot of the whole desktop serves a request;
// it is cut per screen and the portal's file deleted. The request goes out from the event loop, once the
// windows Pim has just hidden have been taken down by the compositor.
class PortalScreenCapturer : public ScreenCapturer {
public:
    explicit PortalScreenCapturer(const QDBusConnection &bus = QDBusConnection::sessionBus(),
                                  const QString &service = QString());

    void capture(const Request &request, Completion done) override;

    // How long a request waits before it goes out when Pim has just hidden windows, in milliseconds.
    static constexpr int closingDelayMilliseconds = 30;
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
    // The pictures of those screens in an answer of the portal.
    Pictures picturesFrom(const Portal::Answer &answer, const QList<QPointer<QScreen>> &screens);

    // An interactive screenshot, so that the desktop asks the user for the permission in its own dialog;
    // the picture, if any, is thrown away.
    void askPermission();

private:
    QDBusConnection m_bus;
    QString m_service;
    int m_timeout = 10000;
    QStringList m_allowedFolders;
    QStringList m_temporaryFolders;
    QObject m_context; // the requests under way end with the capturer
};
