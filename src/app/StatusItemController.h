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
class RecordingController;
class HistoryWindowController;
class PreferencesWindowController;
class WelcomeWindowController;
class QAction;
class QMenu;
class QSystemTrayIcon;
class QTimer;

// Pim's item in the desktop's notification area and its menu: the captures (showing their current
// global shortcuts), the recordings, the pipette, the history, the capture folder, the preferences, the
// welcome and About windows, the credit line and Quit. The windows are made on first use and kept.
class StatusItemController : public QObject {
    Q_OBJECT
public:
    StatusItemController(CaptureCoordinator *coordinator, RecordingController *recording = nullptr);
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
    // Recordings: the two items start one, the third (shown while one runs) stops it, as does a click on
    // the icon, which is then a stop square with the time so far in its tooltip.
    void recordArea();
    void recordScreen();
    void stopRecording();
    QAction *stopRecordingItem() const { return m_stopRecording; }
    QList<QAction *> recordingItems() const { return {m_recordArea, m_recordScreen}; }
    // Shows what the recording is doing: the icon, its tooltip and the items.
    void updateRecordingState();
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
    RecordingController *m_recording;
    QAction *m_scrolling = nullptr;
    QAction *m_recordArea = nullptr;
    QAction *m_recordScreen = nullptr;
    QAction *m_stopRecording = nullptr;
    QTimer *m_recordingClock = nullptr;
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
