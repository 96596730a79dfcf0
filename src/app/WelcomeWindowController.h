// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

// The welcome window ("Comment ça marche…"): the screen permission, the two global shortcuts, where Pim
// lives, and a button to capture at once. Shown at first launch and from the menu.
class WelcomeWindowController : public QWidget {
    Q_OBJECT
public:
    WelcomeWindowController();

    std::function<void()> onCaptureNow;
    std::function<void()> onOpenPreferences;

    // Centred on the screen under the pointer; marks the welcome as seen.
    void showWindow();
    bool permissionGranted() const { return m_granted; }
    // Reads the permission and the shortcuts again.
    void refresh();

    QLabel *permissionSubtitle() const { return m_permissionSubtitle; }
    QPushButton *grantButton() const { return m_grant; }
    QPushButton *mainButton() const { return m_main; }
    QPushButton *preferencesButton() const { return m_preferences; }
    QLabel *shortcutLabel(int row) const
    {
        const QLabel *rows[] = {m_areaShortcut, m_fullShortcut, m_windowShortcut, m_scrollShortcut};
        return row >= 0 && row < 4 ? const_cast<QLabel *>(rows[row]) : nullptr;
    }
    QLabel *desktopGuidance() const { return m_desktopGuidance; }

    void grantClicked();
    void mainClicked();

private:
    void showPermission();

    bool m_granted;
    QLabel *m_permissionIcon = nullptr;
    QLabel *m_permissionSubtitle = nullptr;
    QPushButton *m_grant = nullptr;
    QLabel *m_areaShortcut = nullptr;
    QLabel *m_fullShortcut = nullptr;
    QLabel *m_scrollShortcut = nullptr;
    QLabel *m_windowShortcut = nullptr;
    QLabel *m_desktopGuidance = nullptr;
    QPushButton *m_preferences = nullptr;
    QPushButton *m_main = nullptr;
};
