// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shortcuts/GlobalShortcuts.h"

#include <QLineEdit>

#include <functional>
#include <optional>

// The control in which the user records a global shortcut for one name: it shows the current binding,
// records the next combination when clicked (global hot keys paused meanwhile), checks it against Pim's
// menus and the system's grabs, and stores it. A clear button removes the binding.
namespace GlobalShortcuts {

class Recorder : public QLineEdit {
    Q_OBJECT
public:
    static constexpr int minimumWidth = 130;

    explicit Recorder(const Name &name, std::function<void(std::optional<Shortcut>)> onChange = {},
                      QWidget *parent = nullptr);
    ~Recorder() override;

    const Name &shortcutName() const { return m_name; }
    void setShortcutName(const Name &name);
    bool isRecording() const { return m_recording; }

    // How conflicts are put to the user; replaceable for tests. The system alert returns true when the
    // user chose to use the shortcut anyway.
    std::function<void(const QString &message)> showMenuConflict;
    // The application's menus, as the conflict check sees them: the title of the menu item whose key is
    // that sequence, empty when none. Given by the window that shows the recorder; none by default.
    std::function<QString(const QKeySequence &)> menuItemFor;
    std::function<bool()> askSystemConflict;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;

private:
    void showBinding();
    // Where the desktop owns the shortcuts the field shows its keys and records nothing.
    bool desktopOwnsBinding() const;
    void startRecording();
    void endRecording();
    void clearFocusKeepingWindow();
    void refocus();
    void textEdited(const QString &text);
    void preventAutomaticFocus();
    void accept(const Shortcut &shortcut);

    Name m_name;
    std::function<void(std::optional<Shortcut>)> m_onChange;
    bool m_recording = false;
    QWidget *m_watchedWindow = nullptr;
};

} // namespace GlobalShortcuts
