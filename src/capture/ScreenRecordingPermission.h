// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// The desktop's permission to read the screen. X11 has none (the source always grants); a portal fills it
// on other sessions. When it is missing, the guidance alert explains how to grant it, the state is polled
// every 2 seconds, and once granted Pim offers to relaunch itself.
namespace ScreenRecordingPermission {

class Source {
public:
    virtual ~Source() = default;
    // Whether capturing is allowed now.
    virtual bool preflight() = 0;
    // Asks the desktop to prompt for the permission, if it has a prompt.
    virtual void request() {}
    // Whether the desktop has a settings application that Pim knows how to open, and opening it.
    virtual bool canOpenSettings() const { return false; }
    virtual void openSettings() {}
};

// An alert: message, informative text, buttons in order. Returns the index of the chosen button.
struct Alert {
    QString message;
    QString informative;
    QStringList buttons;
};

// The last known answer of the check.
bool isGranted();
void setGranted(bool granted);
// Asks the source and stores the answer.
bool refresh();
void setSource(std::unique_ptr<Source> source);
Source &source();

// The guidance alert, then polling.
void showGuidance();
bool isPolling();
void stopPolling();

// Tests replace how alerts run and how the relaunch happens.
void setAlertRunner(std::function<int(const Alert &)> runner);
void setRelauncher(std::function<void()> relauncher);
// The interval of the polling timer, in milliseconds (2000).
void setPollInterval(int milliseconds);

// The texts of the two alerts; the guidance offers "Ouvrir les Paramètres" only where the source can.
Alert guidanceAlert(bool offerSettings = true);
Alert grantedAlert();
// The shell command of the relaunch for a program path.
QString relaunchCommand(const QString &programPath);

} // namespace ScreenRecordingPermission
