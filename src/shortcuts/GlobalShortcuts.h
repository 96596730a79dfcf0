// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shortcuts/DesktopShortcutService.h"
#include "shortcuts/HotKeyService.h"
#include "shortcuts/Shortcut.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// Named global shortcuts: stored bindings with defaults, grabbed from the system, dispatched to handlers.
namespace GlobalShortcuts {

// A name with its optional default binding. Creating a name with a default stores the default when the
// settings have no entry for it at all.
struct Name {
    QString rawValue;
    std::optional<Shortcut> defaultShortcut;

    explicit Name(const QString &rawValue, std::optional<Shortcut> defaultShortcut = std::nullopt);
    bool operator==(const Name &other) const { return rawValue == other.rawValue; }

    std::optional<Shortcut> shortcut() const;
    void setShortcut(std::optional<Shortcut> shortcut) const;

    // The application's two names: Shift+Super+7 and Shift+Super+8 by default.
    static const Name &captureArea();
    static const Name &captureFullScreen();
    static const Name &captureScrolling();
    static const Name &captureWindow();
    // Starts recording an area, and stops the recording under way: no keys by default.
    static const Name &recordArea();
    // The capture shortcuts, in the order the menu, the preferences and the welcome window list them.
    static QList<const Name *> captures();
};

// Change notifications, as Qt signals of one object.
class Notifier : public QObject {
    Q_OBJECT
public:
    static Notifier &shared();
signals:
    // "GlobalShortcuts_shortcutByNameDidChange": after every stored change of a binding.
    void shortcutByNameDidChange(const QString &name);
    // "GlobalShortcuts_recorderActiveStatusDidChange": a recorder started or stopped recording.
    void recorderActiveStatusDidChange(bool isActive);
    // The desktop's shortcut service changed state or assigned other keys.
    void desktopShortcutsDidChange();
    // The system refused to grab a combination (another program holds it); isRefused tells which names.
    // Sent while the binding is being changed: receivers look once the change is done (queued).
    void shortcutRefused();
};

inline const QString storageKeyPrefix = QStringLiteral("GlobalShortcuts_");

std::optional<Shortcut> getShortcut(const Name &name);
// Stores and grabs a shortcut, or clears the binding (false when the name has a default, else removed).
void setShortcut(std::optional<Shortcut> shortcut, const Name &name);

void onKeyDown(const Name &name, std::function<void()> action);
void onKeyUp(const Name &name, std::function<void()> action);

bool isEnabled();
void setEnabled(bool enabled);
// True when enabled and the name's shortcut is grabbed from the system (or, where the desktop owns the
// shortcuts, when the desktop has assigned keys to it).
bool isEnabled(const Name &name);
// True when the name's combination is stored and wanted but the system refused to grab it (another program
// holds it); the menus then show no key for it.
bool isRefused(const Name &name);
bool isPaused();
void setPaused(bool paused);

// While one of Pim's menus is open it holds the keyboard, so the grabs are released and Pim's own key
// events are matched instead (see handleKeyEvent).
void setMenuOpen(bool open);
bool isMenuOpen();
// A key event received while a menu is open: true when it matched a shortcut (and was dispatched).
bool handleKeyEvent(const Shortcut &shortcut, bool pressed);

// The service the hot keys go to; chosen at start-up. Without one, nothing is grabbed.
void setHotKeyService(std::unique_ptr<HotKeyService> service);
HotKeyService *hotKeyService();
// Where the desktop owns the shortcuts (chosen at start-up instead of a hot-key service): activations are
// dispatched by name and the stored combinations are only the keys Pim asks for.
void setDesktopService(std::unique_ptr<DesktopShortcutService> service);
DesktopShortcutService *desktopService();
// The keys the desktop assigned to the name; empty without a desktop service or when it assigned none.
QString desktopTrigger(const Name &name);
// Where the desktop owns the shortcuts but gives Pim none (no portal for it, refused, session closed): how
// to bind Pim's commands in the desktop's own keyboard settings instead. Empty otherwise.
enum class GuidanceFormat { plainText, richText };
QString desktopGuidance(GuidanceFormat format = GuidanceFormat::plainText);

// Whether the combination is in Pim's own hot-key table (registered and grabbed).
bool isInHotKeyTable(const Shortcut &shortcut);

// For tests: forget every handler, registration and name, and detach the service.
void resetForTesting();

} // namespace GlobalShortcuts
