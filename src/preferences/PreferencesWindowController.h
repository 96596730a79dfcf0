// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/ImageFormat.h"

#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QKeySequence;
class QLabel;
class QLineEdit;
class QSlider;

namespace GlobalShortcuts {
class Recorder;
}

// The preferences window: the two global shortcuts, the capture folder, the image format and its quality,
// the file-name pattern, the recognition languages and launching at login. Every control stores its
// setting as soon as it changes; each opening reads every setting again. Made once and kept.
class PreferencesWindowController : public QWidget {
    Q_OBJECT
public:
    // The slider works in thousandths of the quality, 500 … 1000.
    static constexpr int sliderScale = 1000;

    PreferencesWindowController();

    // Re-reads every setting into the controls, then shows and raises the window.
    void showWindow();
    void syncFromSettings();

    // Asks for a folder, starting in the given one; empty when cancelled. Replaceable for tests.
    std::function<QString(const QString &start)> chooseFolderDialog;
    // Shows an alert with a message and informative text. Replaceable for tests.
    std::function<void(const QString &message, const QString &informative)> showAlert;
    // The program the login item starts; this program by default.
    QString programPath;
    // How the shortcut recorders find the application's menu item that has a key (for their conflict
    // check): the item's title, empty when none.
    void setMenuItemLookup(const std::function<QString(const QKeySequence &)> &lookup);

    // The actions of the controls.
    void chooseFolder();
    void formatChanged();
    void qualityChanged();
    void patternEdited();
    void languagesEdited();
    void loginToggled();

    QLabel *folderLabel() const { return m_folderLabel; }
    QComboBox *formatPopup() const { return m_formatPopup; }
    QSlider *qualitySlider() const { return m_qualitySlider; }
    QLabel *qualityValueLabel() const { return m_qualityValueLabel; }
    QLineEdit *patternField() const { return m_patternField; }
    QLineEdit *ocrField() const { return m_ocrField; }
    QCheckBox *loginCheckbox() const { return m_loginCheckbox; }
    QCheckBox *loupeCheckbox() const { return m_loupeCheckbox; }
    QComboBox *videoFormatPopup() const { return m_videoFormatPopup; }
    QComboBox *frameRatePopup() const { return m_frameRatePopup; }
    QCheckBox *pointerCheckbox() const { return m_pointerCheckbox; }
    // The note under a shortcut row when that shortcut is not registered with the desktop (row 0 or 1).
    QLabel *shortcutStatus(int row) const { return m_shortcutStatus[row]; }
    QLabel *desktopGuidance() const { return m_desktopGuidance; }

    // "sans perte" for PNG, else the slider's value as a whole percentage ("73 %").
    static QString qualityText(ImageFormat format, double quality);

protected:
    void showEvent(QShowEvent *event) override;

private:
    class Form;
    void setUpDialogs();
    void addShortcutRows(Form &form);
    void addOutputRows(Form &form);
    // The recordings' format, frame rate and pointer.
    void addRecordingRows(Form &form);
    void showFolder(const QString &path);
    void updateQualityUI(ImageFormat format);
    void updateShortcutStatus();
    double sliderValue() const;

    QLabel *m_folderLabel = nullptr;
    QComboBox *m_formatPopup = nullptr;
    QSlider *m_qualitySlider = nullptr;
    QLabel *m_qualityValueLabel = nullptr;
    QLineEdit *m_patternField = nullptr;
    QLineEdit *m_ocrField = nullptr;
    QCheckBox *m_loginCheckbox = nullptr;
    QCheckBox *m_loupeCheckbox = nullptr;
    QComboBox *m_videoFormatPopup = nullptr;
    QComboBox *m_frameRatePopup = nullptr;
    QCheckBox *m_pointerCheckbox = nullptr;
    static constexpr int shortcutRows = 5;
    GlobalShortcuts::Recorder *m_recorders[shortcutRows] = {};
    QLabel *m_shortcutStatus[shortcutRows] = {};
    QLabel *m_desktopGuidance = nullptr;
};
