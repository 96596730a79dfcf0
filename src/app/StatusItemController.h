// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include "shortcuts/GlobalShortcuts.h"

#include <functional>

#include <memory>

class AboutWindowController;
class CaptureCoordinator;
class HistoryWindowController;
class PreferencesWindowController;
class WelcomeWindowController;
class QAction;
class QMenu;
class QSystemTrayIcon;

// Pim's item in the desktop's notification area and its menu: the two captures (showing their current
// global shortcuts), the pipette, the history, the capture folder, the preferences, the welcome and About
// windows, the credit line and Quit. The windows are made on first use and kept.
class StatusItemController : public QObject {
    Q_OBJECT
public:
    explicit StatusItemController(CaptureCoordinator *coordinator);
    ~StatusItemController() override;

    QMenu *menu() const { return m_menu.get(); }
    QSystemTrayIcon *trayIcon() const { return m_tray.get(); }
    // Whether the desktop has a notification area to show the item in.
    bool isShown() const;

    void captureArea();
    void captureFullScreen();
    void captureScrolling();
    void captureWindow();
    QAction *scrollingItem() const { return m_scrolling; }
    void pickColor();
    void showHistory();
    void openFolder();
    void showPreferences();
    void showWelcome();
    void showAbout();
    void openSite();
    WelcomeWindowController *welcomeWindow();
    AboutWindowController *aboutWindow();
    HistoryWindowController *historyWindow();
    PreferencesWindowController *preferencesWindow();

    // "Le raccourci Maj+Super+7 est déjà utilisé par une autre application. …", or "Les raccourcis … et …".
    static QString refusedMessage(const QStringList &keys);
    // The last notification shown (for tests).
    QString lastNotification() const { return m_lastNotification; }

    // Told when the history window is made, for the app to give it search.
    std::function<void(HistoryWindowController *window)> onHistoryWindowCreated;
    // Opens a capture from the history in an editor; set by the app.
    std::function<void(const QImage &image, double scale, const QString &path)> onOpenEditor;

private:
    // Tells each refused shortcut once a session.
    void tellRefused();

    // Where this session cannot scroll another program's window, or tell where windows are, the items say
    // why instead.
    void updateScrollingItem();

    CaptureCoordinator *m_coordinator;
    QAction *m_scrolling = nullptr;
    QAction *m_window = nullptr;
    QSet<QString> m_toldRefused;
    QString m_lastNotification;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    std::unique_ptr<WelcomeWindowController> m_welcome;
    std::unique_ptr<AboutWindowController> m_about;
    std::unique_ptr<HistoryWindowController> m_history;
    std::unique_ptr<PreferencesWindowController> m_preferences;
};
