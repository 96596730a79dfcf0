#pragma once

#include <QObject>

#include <memory>

class AboutWindowController;
class CaptureCoordinator;
class WelcomeWindowController;
class QMenu;
class QSystemTrayIcon;

// Pim's item in the desktop's notification area and its menu: the two captures (showing their current
// global shortcuts), the pipette, the capture folder, the welcome and About windows, and Quit. The windows
// are made on first use and kept.
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
    void pickColor();
    void openFolder();
    void showWelcome();
    void showAbout();
    WelcomeWindowController *welcomeWindow();
    AboutWindowController *aboutWindow();

private:
    CaptureCoordinator *m_coordinator;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    std::unique_ptr<WelcomeWindowController> m_welcome;
    std::unique_ptr<AboutWindowController> m_about;
};
