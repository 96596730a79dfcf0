// SPDX-License-Identifier: GPL-3.0-or-later
#include "shortcuts/ShortcutRecorder.h"

#include "shortcuts/RecorderStrings.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QStyle>
#include <QTimer>

namespace GlobalShortcuts {

namespace {

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock: return true;
    default: return false;
    }
}

const Qt::KeyboardModifiers shortcutModifiers =
    Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier | Qt::MetaModifier;

} // namespace

Recorder::Recorder(const Name &name, std::function<void(std::optional<Shortcut>)> onChange, QWidget *parent)
    : QLineEdit(parent), m_name(name), m_onChange(std::move(onChange))
{
    setPlaceholderText(RecorderStrings::text("record_shortcut"));
    setAlignment(Qt::AlignCenter);
    setReadOnly(true); // typed keys are recorded, never edited; no text cursor
    setContextMenuPolicy(Qt::NoContextMenu);
    setFocusPolicy(Qt::StrongFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    QAction *clear =
        addAction(style()->standardIcon(QStyle::SP_LineEditClearButton), QLineEdit::TrailingPosition);
    clear->setObjectName(QStringLiteral("clearShortcut"));
    clear->setToolTip(QStringLiteral("Effacer"));
    connect(clear, &QAction::triggered, this, [this] { textEdited(QString()); });
    // No clear button while there is nothing to clear.
    connect(this, &QLineEdit::textChanged, this,
            [clear](const QString &text) { clear->setVisible(!text.isEmpty()); });
    clear->setVisible(false);
    connect(&Notifier::shared(), &Notifier::shortcutByNameDidChange, this, [this](const QString &changed) {
        if (changed == m_name.rawValue)
            showBinding();
    });
    connect(&Notifier::shared(), &Notifier::desktopShortcutsDidChange, this, &Recorder::showBinding);
    showMenuConflict = [this](const QString &message) {
        QMessageBox box(QMessageBox::Warning, QString(), message, QMessageBox::Ok, window());
        box.setWindowModality(Qt::WindowModal);
        box.exec();
    };
    askSystemConflict = [this] {
        QMessageBox box(QMessageBox::Warning, QString(),
                        RecorderStrings::text("keyboard_shortcut_used_by_system"), QMessageBox::NoButton,
                        window());
        box.setInformativeText(RecorderStrings::text("keyboard_shortcuts_can_be_changed"));
        box.setWindowModality(Qt::WindowModal);
        QPushButton *ok = box.addButton(RecorderStrings::text("ok"), QMessageBox::AcceptRole);
        QPushButton *force =
            box.addButton(RecorderStrings::text("force_use_shortcut"), QMessageBox::DestructiveRole);
        box.setDefaultButton(ok);
        box.exec();
        return box.clickedButton() == force;
    };
    showBinding();
}

Recorder::~Recorder()
{
    if (m_recording)
        endRecording();
}

QSize Recorder::sizeHint() const
{
    return QSize(minimumWidth, QLineEdit::sizeHint().height());
}

void Recorder::setShortcutName(const Name &name)
{
    if (name == m_name)
        return;
    m_name = name;
    showBinding();
}

bool Recorder::desktopOwnsBinding() const
{
    return desktopService() != nullptr;
}

void Recorder::showBinding()
{
    if (desktopOwnsBinding()) {
        // The desktop's keys, in its own words; they are changed in its settings, not here.
        const QString trigger = desktopTrigger(m_name);
        setPlaceholderText(QStringLiteral("Non attribué"));
        setText(linuxKeyNames(trigger));
        setToolTip(
            QStringLiteral("Le bureau attribue ce raccourci : il se change dans ses réglages clavier."));
        setFocusPolicy(Qt::NoFocus);
        for (QAction *action : actions())
            action->setVisible(false);
        return;
    }
    const std::optional<Shortcut> shortcut = getShortcut(m_name);
    setText(shortcut ? shortcut->presentableDescription() : QString());
}

void Recorder::startRecording()
{
    if (m_recording || desktopOwnsBinding())
        return;
    m_recording = true;
    setPlaceholderText(RecorderStrings::text("press_shortcut"));
    setPaused(true);
    emit Notifier::shared().recorderActiveStatusDidChange(true);
    qApp->installEventFilter(this);
    // The keyboard is ours while recording: a combination another program has grabbed comes here too, so
    // the check below can tell the user it is taken.
    grabKeyboard();
}

void Recorder::endRecording()
{
    if (!m_recording)
        return;
    m_recording = false;
    releaseKeyboard();
    qApp->removeEventFilter(this);
    setPlaceholderText(RecorderStrings::text("record_shortcut"));
    setPaused(false);
    emit Notifier::shared().recorderActiveStatusDidChange(false);
}

void Recorder::clearFocusKeepingWindow()
{
    clearFocus();
    endRecording();
}

void Recorder::refocus()
{
    setFocus(Qt::OtherFocusReason);
}

void Recorder::textEdited(const QString &text)
{
    if (!text.isEmpty())
        return;
    setText(QString());
    GlobalShortcuts::setShortcut(std::nullopt, m_name);
    if (m_onChange)
        m_onChange(std::nullopt);
    refocus(); // ready for a new combination at once
}

void Recorder::preventAutomaticFocus()
{
    // Never focused by a window opening or becoming active; reachable by the user right after.
    setFocusPolicy(Qt::NoFocus);
    QTimer::singleShot(0, this, [this] { setFocusPolicy(Qt::StrongFocus); });
}

void Recorder::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    startRecording();
}

void Recorder::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    endRecording();
}

bool Recorder::event(QEvent *event)
{
    // While recording, every key is ours: application shortcuts (menu actions) must not fire.
    if (event->type() == QEvent::ShortcutOverride && m_recording) {
        event->accept();
        return true;
    }
    // Only plain Tab moves on; Shift+Tab is a combination like any other (and not a valid one).
    if (event->type() == QEvent::KeyPress && m_recording &&
        static_cast<QKeyEvent *>(event)->key() == Qt::Key_Backtab) {
        keyPressEvent(static_cast<QKeyEvent *>(event));
        return true;
    }
    if (event->type() == QEvent::Show && window() != m_watchedWindow) {
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = window();
        m_watchedWindow->installEventFilter(this);
        preventAutomaticFocus();
    }
    return QLineEdit::event(event);
}

void Recorder::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ParentAboutToChange) {
        endRecording();
        if (m_watchedWindow)
            m_watchedWindow->removeEventFilter(this);
        m_watchedWindow = nullptr;
    }
    QLineEdit::changeEvent(event);
}

bool Recorder::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watchedWindow) {
        if (event->type() == QEvent::WindowDeactivate && m_recording)
            clearFocusKeepingWindow();
        else if (event->type() == QEvent::WindowActivate && !m_recording)
            preventAutomaticFocus();
        return false;
    }
    if (m_recording && event->type() == QEvent::MouseButtonRelease) {
        // A click outside (with 3 points of slack) ends recording; the click itself goes on.
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QRect area = rect().adjusted(-3, -3, 3, 3);
        if (!area.contains(mapFromGlobal(mouse->globalPosition().toPoint())))
            clearFocusKeepingWindow();
    }
    return false;
}

void Recorder::keyPressEvent(QKeyEvent *event)
{
    event->accept();
    if (!m_recording || isModifierKey(event->key()))
        return;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & shortcutModifiers;
    if (modifiers == Qt::NoModifier) {
        switch (event->key()) {
        case Qt::Key_Escape: clearFocusKeepingWindow(); return;
        case Qt::Key_Backspace:
        case Qt::Key_Delete: textEdited(QString()); return;
        default: break;
        }
    }
    const std::optional<Shortcut> shortcut = Shortcut::fromKeyEvent(event);
    // Ctrl, Alt or Super is needed, except for the function keys.
    const bool hasRealModifier = modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (!shortcut || (!hasRealModifier && !shortcut->key().isFunctionKey())) {
        QApplication::beep();
        return;
    }
    if (const QString item = menuItemFor ? menuItemFor(shortcut->menuKeySequence()) : QString();
        !item.isEmpty()) {
        clearFocusKeepingWindow();
        if (showMenuConflict)
            showMenuConflict(RecorderStrings::text("keyboard_shortcut_used_by_menu_item").arg(item));
        refocus();
        return;
    }
    const bool plainF12 = shortcut->keyCode == Key::f12 && shortcut->keyModifiers == 0;
    HotKeyService *service = hotKeyService();
    if (!plainF12 && service && !isInHotKeyTable(*shortcut) && service->isTakenElsewhere(*shortcut)) {
        clearFocusKeepingWindow();
        const bool force = askSystemConflict && askSystemConflict();
        refocus();
        if (!force)
            return;
    }
    accept(*shortcut);
}

void Recorder::accept(const Shortcut &shortcut)
{
    setText(shortcut.presentableDescription());
    GlobalShortcuts::setShortcut(shortcut, m_name);
    if (m_onChange)
        m_onChange(shortcut);
    clearFocusKeepingWindow();
}

} // namespace GlobalShortcuts
