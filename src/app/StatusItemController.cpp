// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StatusItemController.h"

#include "app/AboutWindowController.h"
#include "app/Brand.h"
#include "app/MainMenu.h"
#include "app/WelcomeWindowController.h"
#include "capture/CaptureCoordinator.h"
#include "capture/RecordingController.h"
#include "common/Icons.h"
#include "common/Log.h"
#include "history/HistoryWindowController.h"
#include "imagetools/ColorPickerService.h"
#include "output/VideoProbe.h"
#include "preferences/PreferencesWindowController.h"
#include "preview/PinWindow.h"
#include "settings/AppSettings.h"
#include "shortcuts/MenuBinding.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include <cstdio>

StatusItemController::StatusItemController(CaptureCoordinator *coordinator, RecordingController *recording)
    : m_coordinator(coordinator), m_recording(recording), m_menu(std::make_unique<QMenu>()),
      m_tray(std::make_unique<QSystemTrayIcon>())
{
    using GlobalShortcuts::Name;
    QAction *area =
        m_menu->addAction(QStringLiteral("Capturer une zone"), this, &StatusItemController::captureArea);
    GlobalShortcuts::setShortcut(area, Name::captureArea());
    QAction *full = m_menu->addAction(QStringLiteral("Capturer l'écran complet"), this,
                                      &StatusItemController::captureFullScreen);
    GlobalShortcuts::setShortcut(full, Name::captureFullScreen());
    m_window =
        m_menu->addAction(QStringLiteral("Capturer une fenêtre"), this, &StatusItemController::captureWindow);
    GlobalShortcuts::setShortcut(m_window, Name::captureWindow());
    m_scrolling =
        m_menu->addAction(QStringLiteral("Capture défilante"), this, &StatusItemController::captureScrolling);
    GlobalShortcuts::setShortcut(m_scrolling, Name::captureScrolling());
    m_menu->setToolTipsVisible(true);
    updateScrollingItem();
    connect(m_menu.get(), &QMenu::aboutToShow, this, &StatusItemController::updateScrollingItem);
    connect(m_menu.get(), &QMenu::aboutToShow, this, [this] { updateRecordingState(); });
    m_menu->addSeparator();
    m_recordArea =
        m_menu->addAction(QStringLiteral("Enregistrer une zone"), this, &StatusItemController::recordArea);
    GlobalShortcuts::setShortcut(m_recordArea, Name::recordArea());
    m_recordScreen =
        m_menu->addAction(QStringLiteral("Enregistrer l'écran"), this, &StatusItemController::recordScreen);
    m_stopRecording = m_menu->addAction(QStringLiteral("Arrêter l'enregistrement"), this,
                                        &StatusItemController::stopRecording);
    m_stopRecording->setVisible(false);
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Pipette (copier le code hex)"), this, &StatusItemController::pickColor);
    m_menu->addAction(QStringLiteral("Historique des captures…"), this, &StatusItemController::showHistory);
    m_menu->addAction(QStringLiteral("Ouvrir le dossier des captures"), this,
                      &StatusItemController::openFolder);
    m_menu->addSeparator();
    QAction *preferences =
        m_menu->addAction(QStringLiteral("Préférences…"), this, &StatusItemController::showPreferences);
    preferences->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
    m_menu->addAction(QStringLiteral("Comment ça marche…"), this, &StatusItemController::showWelcome);
    m_menu->addAction(QStringLiteral("À propos de Pim"), this, &StatusItemController::showAbout);
    m_menu->addSeparator();
    m_menu->addAction(QStringLiteral("Fait par ") + Brand::maker, this, &StatusItemController::openSite);
    m_menu->addAction(MainMenu::shared().quit);

    m_tray->setIcon(Icons::icon(QStringLiteral("pim"), m_menu->palette().color(QPalette::WindowText), 22));
    m_tray->setToolTip(QStringLiteral("Pim"));
    m_tray->setContextMenu(m_menu.get());
    // A left click opens the same menu, or stops the recording under way.
    connect(m_tray.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason != QSystemTrayIcon::Trigger)
                    return;
                if (m_recording && m_recording->isRecording())
                    stopRecording();
                else
                    m_menu->popup(QCursor::pos());
            });
    m_recordingClock = new QTimer(this);
    m_recordingClock->setInterval(1000);
    connect(m_recordingClock, &QTimer::timeout, this, &StatusItemController::updateRecordingState);
    if (m_recording) {
        m_recording->onStateChanged = [this] { updateRecordingState(); };
        m_recording->onBusy = [this] {
            m_lastNotification = RecordingController::busyMessage();
            m_tray->showMessage(QStringLiteral("Pim"), m_lastNotification, QSystemTrayIcon::Information,
                                5000);
        };
    }
    updateRecordingState();
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        qCWarning(logApp,
                  "le bureau n'a pas de zone de notification ; les raccourcis globaux restent actifs.");
    }
    m_tray->show();

    // A shortcut another program holds: said once a session for each combination, where the user looks.
    connect(&GlobalShortcuts::Notifier::shared(), &GlobalShortcuts::Notifier::shortcutRefused, this,
            &StatusItemController::tellRefused, Qt::QueuedConnection);
    tellRefused();
}

QString StatusItemController::refusedMessage(const QStringList &keys)
{
    if (keys.size() == 1)
        return QStringLiteral("Le raccourci %1 est déjà utilisé par une autre application. Choisis-en un "
                              "autre dans les Préférences.")
            .arg(keys.first());
    const QString list =
        keys.mid(0, keys.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" et ") + keys.last();
    return QStringLiteral("Les raccourcis %1 sont déjà utilisés par une autre application. Choisis-en "
                          "d'autres dans les Préférences.")
        .arg(list);
}

void StatusItemController::tellRefused()
{
    using GlobalShortcuts::Name;
    QStringList fresh;
    for (const Name *name : Name::captures()) {
        const std::optional<GlobalShortcuts::Shortcut> shortcut = GlobalShortcuts::getShortcut(*name);
        if (!shortcut || !GlobalShortcuts::isRefused(*name))
            continue;
        const QString keys = shortcut->presentableDescription();
        if (!m_toldRefused.contains(keys) && !fresh.contains(keys))
            fresh << keys;
    }
    if (fresh.isEmpty())
        return;
    for (const QString &keys : fresh)
        m_toldRefused.insert(keys);
    // One message for all: a second one would replace the first before it is read.
    const QString message = refusedMessage(fresh);
    m_lastNotification = message;
    qCWarning(logApp, "%s", qPrintable(message));
    m_tray->showMessage(QStringLiteral("Pim"), message, QSystemTrayIcon::Warning, 10000);
}

StatusItemController::~StatusItemController() = default;

bool StatusItemController::isShown() const
{
    return QSystemTrayIcon::isSystemTrayAvailable() && m_tray->isVisible();
}

void StatusItemController::captureArea()
{
    m_coordinator->captureArea();
}

void StatusItemController::captureScrolling()
{
    m_coordinator->captureScrolling();
}

void StatusItemController::captureWindow()
{
    m_coordinator->captureWindow();
}

void StatusItemController::updateScrollingItem()
{
    const QString windowReason = m_coordinator->windowUnavailableReason();
    m_window->setEnabled(windowReason.isEmpty());
    GlobalShortcuts::setTitle(m_window, windowReason.isEmpty()
                                            ? QStringLiteral("Capturer une fenêtre")
                                            : QStringLiteral("Capturer une fenêtre (indisponible ici)"));
    m_window->setToolTip(windowReason);
    const QString reason = m_coordinator->scrollingUnavailableReason();
    m_scrolling->setEnabled(reason.isEmpty());
    GlobalShortcuts::setTitle(m_scrolling, reason.isEmpty()
                                               ? QStringLiteral("Capture défilante")
                                               : QStringLiteral("Capture défilante (indisponible ici)"));
    m_scrolling->setToolTip(reason);
}

void StatusItemController::recordArea()
{
    if (m_recording)
        m_recording->recordArea({});
}

void StatusItemController::recordScreen()
{
    if (m_recording)
        m_recording->recordScreen({});
}

void StatusItemController::stopRecording()
{
    if (m_recording)
        m_recording->stop();
}

namespace {

// The tray's icon while recording: a red square to click to stop.
QIcon stopIcon()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(220, 40, 40));
        const double inset = size * 0.18;
        painter.drawRoundedRect(QRectF(inset, inset, size - 2 * inset, size - 2 * inset), size * 0.1,
                                size * 0.1);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace

void StatusItemController::updateRecordingState()
{
    const bool recording = m_recording && m_recording->isRecording();
    const bool busy = m_recording && m_recording->isBusy();
    // Where this session cannot record, the items say why.
    const QString reason = m_recording ? m_recording->unavailableReason() : QStringLiteral("indisponible");
    for (QAction *item : {m_recordArea, m_recordScreen}) {
        item->setEnabled(reason.isEmpty() && !busy);
        item->setToolTip(reason);
    }
    m_stopRecording->setVisible(recording);
    if (recording) {
        if (!m_recordingClock->isActive()) {
            m_tray->setIcon(stopIcon());
            m_recordingClock->start();
        }
        m_tray->setToolTip(QStringLiteral("Pim — enregistrement en cours (%1) : clique pour l'arrêter")
                               .arg(VideoProbe::durationText(m_recording->elapsedMicroseconds())));
    } else if (m_recordingClock->isActive() || m_tray->toolTip() != QStringLiteral("Pim")) {
        m_recordingClock->stop();
        m_tray->setIcon(
            Icons::icon(QStringLiteral("pim"), m_menu->palette().color(QPalette::WindowText), 22));
        m_tray->setToolTip(QStringLiteral("Pim"));
    }
}

void StatusItemController::captureFullScreen()
{
    // The menu has to be gone from the screen first.
    m_coordinator->captureFullScreen(0.35);
}

void StatusItemController::pickColor()
{
    ColorPickerService::pickAndCopyHex();
}

WelcomeWindowController *StatusItemController::welcomeWindow()
{
    if (!m_welcome) {
        m_welcome = std::make_unique<WelcomeWindowController>();
        CaptureCoordinator *coordinator = m_coordinator;
        m_welcome->onCaptureNow = [coordinator] { coordinator->captureArea(); };
        QPointer<StatusItemController> self(this);
        m_welcome->onOpenPreferences = [self] {
            if (self)
                self->showPreferences();
        };
        m_welcome->addActions(MainMenu::shared().allActions());
    }
    return m_welcome.get();
}

AboutWindowController *StatusItemController::aboutWindow()
{
    if (!m_about) {
        m_about = std::make_unique<AboutWindowController>();
        m_about->addActions(MainMenu::shared().allActions());
    }
    return m_about.get();
}

HistoryWindowController *StatusItemController::historyWindow()
{
    if (!m_history) {
        m_history = std::make_unique<HistoryWindowController>();
        QPointer<StatusItemController> self(this);
        m_history->onPin = [](const QImage &image, double scale, const QString &path) {
            PinWindow::open(image, scale, path);
        };
        m_history->onOpenEditor = [self](const QImage &image, double scale, const QString &path) {
            if (self && self->onOpenEditor)
                self->onOpenEditor(image, scale, path);
        };
        m_history->addActions(MainMenu::shared().allActions());
        if (onHistoryWindowCreated)
            onHistoryWindowCreated(m_history.get());
    }
    return m_history.get();
}

PreferencesWindowController *StatusItemController::preferencesWindow()
{
    if (!m_preferences) {
        m_preferences = std::make_unique<PreferencesWindowController>();
        m_preferences->addActions(MainMenu::shared().allActions());
        // A shortcut being recorded is checked against the menus' keys.
        m_preferences->setMenuItemLookup([](const QKeySequence &keys) {
            const QAction *action = MainMenu::shared().actionWithShortcut(keys);
            return action ? action->text() : QString();
        });
    }
    return m_preferences.get();
}

void StatusItemController::showHistory()
{
    historyWindow()->showWindow();
}

void StatusItemController::showPreferences()
{
    preferencesWindow()->showWindow();
}

void StatusItemController::openSite()
{
    // Pim's page when the build names one; otherwise the About window says who made it.
    if (!Brand::pimURL().isEmpty())
        QDesktopServices::openUrl(QUrl(Brand::pimURL()));
    else
        showAbout();
}

void StatusItemController::showWelcome()
{
    welcomeWindow()->showWindow();
}

void StatusItemController::showAbout()
{
    aboutWindow()->showWindow();
}

void StatusItemController::openFolder()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(AppSettings::shared().destinationDirectory()));
}
