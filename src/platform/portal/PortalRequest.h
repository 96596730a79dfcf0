// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <functional>

// A call to a desktop portal method that answers later through a Request object: the Response signal is
// subscribed to on the request's path before the call is made (the path follows from our bus name and the
// token we pass), so an answer cannot be missed, and the request gives up after a timeout.
namespace Portal {

struct Answer {
    // The portal's response: 0 success, 1 cancelled by the user, 2 failed. Meaningless when `errorName` is
    // set.
    uint response = 2;
    QVariantMap results;
    // The D-Bus error's name when the call itself failed ("timeout" when no answer came in time).
    QString errorName;
    QString errorMessage;

    bool ok() const { return errorName.isEmpty() && response == 0; }
};

inline QString timeoutError()
{
    return QStringLiteral("timeout");
}

// What an answer comes to, for the texts each caller shows.
enum class Outcome {
    Success,
    Timeout,     // no answer in time
    NoPortal,    // nobody on the bus answers for the portal
    NoInterface, // the portal does not offer the interface
    CallError,   // the call was refused otherwise (errorMessage says why)
    Cancelled,   // response 1: cancelled or refused on the desktop
    Failed,      // response 2 (or another)
};
Outcome outcome(const Answer &answer);

// A fresh token for handle_token and session_handle_token.
QString newToken();
// The object path of the request a call with that token makes, for the connection's unique name.
QString requestPath(const QString &uniqueName, const QString &token);

// Calls `interface.method(arguments…, options)` on the portal, with `handle_token` added to the options
// (and `extraTokens` too, set to fresh tokens). `done` runs exactly once, on the caller's thread, unless
// `context` is destroyed first.
void request(const QDBusConnection &bus, const QString &service, const QString &interface,
             const QString &method, const QVariantList &arguments, QVariantMap options, int timeoutMs,
             QObject *context, std::function<void(const Answer &)> done);

} // namespace Portal
