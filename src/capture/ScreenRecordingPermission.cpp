// SPDX-License-Identifier: GPL-3.0-or-later
#include "capture/ScreenRecordingPermission.h"

#include "common/ShellQuoting.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

namespace ScreenRecordingPermission {

namespace {

class AlwaysGranted : public Source {
public:
    bool preflight() override { return true; }
};

struct Shared {
    bool granted = true;
    std::unique_ptr<Source> source = std::make_unique<AlwaysGranted>();
    QTimer *pollTimer = nullptr;
    int pollInterval = 2000;
    std::function<int(const Alert &)> alertRunner;
    std::function<void()> relauncher;
};

Shared &shared()
{
    static Shared instance;
    return instance;
}

int runAlert(const Alert &alert)
{
    if (shared().alertRunner)
        return shared().alertRunner(alert);
    QApplication::setActiveWindow(nullptr);
    QMessageBox box;
    box.setIcon(QMessageBox::Information);
    box.setText(alert.message);
    box.setInformativeText(alert.informative);
    QList<QPushButton *> buttons;
    for (const QString &title : alert.buttons)
        buttons << box.addButton(title,
                                 buttons.isEmpty() ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
    if (!buttons.isEmpty())
        box.setDefaultButton(buttons.first());
    box.raise();
    box.activateWindow();
    box.exec();
    return int(buttons.indexOf(static_cast<QPushButton *>(box.clickedButton())));
}

void relaunch()
{
    if (shared().relauncher) {
        shared().relauncher();
        return;
    }
    // A failure to start the shell is ignored: Pim quits either way.
    QProcess::startDetached(QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"), relaunchCommand(QCoreApplication::applicationFilePath())});
    QCoreApplication::quit();
}

void offerRelaunch()
{
    if (runAlert(grantedAlert()) == 0)
        relaunch();
}

void checkAfterGrant()
{
    if (!shared().source->preflight())
        return;
    stopPolling();
    shared().granted = true;
    offerRelaunch();
}

void startPolling()
{
    stopPolling();
    auto *timer = new QTimer;
    timer->setInterval(shared().pollInterval);
    QObject::connect(timer, &QTimer::timeout, timer, [] { QTimer::singleShot(0, checkAfterGrant); });
    shared().pollTimer = timer;
    timer->start();
}

} // namespace

bool isGranted()
{
    return shared().granted;
}

void setGranted(bool granted)
{
    shared().granted = granted;
}

bool refresh()
{
    shared().granted = shared().source->preflight();
    return shared().granted;
}

void setSource(std::unique_ptr<Source> source)
{
    shared().source = source ? std::move(source) : std::make_unique<AlwaysGranted>();
}

Source &source()
{
    return *shared().source;
}

void showGuidance()
{
    const bool settings = shared().source->canOpenSettings();
    if (runAlert(guidanceAlert(settings)) == 0 && settings)
        shared().source->openSettings();
    startPolling();
}

bool isPolling()
{
    return shared().pollTimer != nullptr;
}

void stopPolling()
{
    if (QTimer *timer = std::exchange(shared().pollTimer, nullptr)) {
        timer->stop();
        timer->deleteLater();
    }
}

void setAlertRunner(std::function<int(const Alert &)> runner)
{
    shared().alertRunner = std::move(runner);
}

void setRelauncher(std::function<void()> relauncher)
{
    shared().relauncher = std::move(relauncher);
}

void setPollInterval(int milliseconds)
{
    shared().pollInterval = milliseconds;
}

Alert guidanceAlert(bool offerSettings)
{
    Alert alert{QStringLiteral("Pim a besoin de la permission « Enregistrement d'écran »"),
                QStringLiteral("Le bureau exige cette permission pour capturer l'écran.\n\n"
                               "1. Ouvre les Paramètres du bureau → Confidentialité → Capture d'écran\n"
                               "2. Active « Pim »\n"
                               "3. Reviens ici: Pim va détecter la permission et proposer de se relancer."),
                {QStringLiteral("Ouvrir les Paramètres"), QStringLiteral("Plus tard")}};
    if (!offerSettings)
        alert.buttons.removeFirst();
    return alert;
}

Alert grantedAlert()
{
    return Alert{QStringLiteral("Permission accordée"),
                 QStringLiteral("La permission s'applique au prochain lancement. Relancer Pim maintenant ?"),
                 {QStringLiteral("Relancer Pim"), QStringLiteral("Plus tard")}};
}

QString relaunchCommand(const QString &programPath)
{
    return QStringLiteral("sleep 0.4; exec ") + doubleQuoted(programPath);
}

} // namespace ScreenRecordingPermission
