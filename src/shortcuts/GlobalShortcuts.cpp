// SPDX-License-Identifier: GPL-3.0-or-later
#include "shortcuts/GlobalShortcuts.h"

#include "settings/AppSettings.h"

#include <QList>
#include <QSet>

#include <cstdio>
#include <syslog.h>

namespace GlobalShortcuts {

namespace {

// One registration in the hot-key table, kept through soft unregistering (while disabled or while a menu
// is open).
struct HotKey {
    Shortcut shortcut;
    bool grabbed = false;
};

struct Handlers {
    Name name;
    QList<std::function<void()>> keyDown, keyUp;
};

struct Registry {
    bool enabled = true;
    bool paused = false;
    bool menuOpen = false;
    QSet<Shortcut> registeredShortcuts;
    QSet<Shortcut> refused;   // the system said no at the last try to grab them
    QList<HotKey> hotKeys;    // in the order of registration
    QList<Handlers> handlers; // in the order names were first given a handler
    QList<Name> knownNames;
    std::unique_ptr<HotKeyService> service;
    std::unique_ptr<DesktopShortcutService> desktop;
};

Registry &registry()
{
    static Registry instance;
    return instance;
}

QSettings &store()
{
    return AppSettings::shared().defaults();
}

QString storageKey(const Name &name)
{
    return storageKeyPrefix + name.rawValue;
}

bool grabsAllowed()
{
    return registry().enabled && !registry().menuOpen;
}

// A failure: on standard error (standard output is the command line's answer) and in the system log.
void printRegistrationError(const Shortcut &shortcut, int status)
{
    const QByteArray text = shortcut.presentableDescription().toUtf8();
    std::fprintf(stderr, "Error registering hotkey %s: %d\n", text.constData(), status);
    std::fflush(stderr);
    ::syslog(LOG_WARNING, "Error registering hotkey %s: %d", text.constData(), status);
}

// Grabs through the service; 0 or the failure status. Without a service nothing can be grabbed.
int grab(const Shortcut &shortcut)
{
    HotKeyService *service = registry().service.get();
    return service ? service->grab(shortcut) : -1;
}

// Runs the handlers of the names that match, unless paused.
void runHandlers(const std::function<bool(const Name &)> &matches, bool pressed)
{
    Registry &r = registry();
    if (r.paused)
        return;
    // Copies: a handler may add handlers or change bindings.
    const QList<Handlers> handlers = r.handlers;
    for (const Handlers &entry : handlers) {
        if (!matches(entry.name))
            continue;
        for (const auto &action : pressed ? entry.keyDown : entry.keyUp)
            action();
    }
}

void dispatch(const Shortcut &shortcut, bool pressed)
{
    runHandlers([&shortcut](const Name &name) { return getShortcut(name) == shortcut; }, pressed);
}

void registerHotKey(const Shortcut &shortcut)
{
    Registry &r = registry();
    // Where the desktop owns the shortcuts Pim grabs nothing itself.
    if (r.desktop) {
        r.hotKeys.append(HotKey{shortcut, false});
        return;
    }
    if (!grabsAllowed()) {
        r.hotKeys.append(HotKey{shortcut, false}); // grabbed when the mode allows it again
        return;
    }
    const int status = grab(shortcut);
    if (status != 0) {
        printRegistrationError(shortcut, status);
        if (r.service) {
            r.refused.insert(shortcut);
            emit Notifier::shared().shortcutRefused();
        }
        return;
    }
    r.refused.remove(shortcut);
    r.hotKeys.append(HotKey{shortcut, true});
}

void unregisterHotKey(const Shortcut &shortcut)
{
    Registry &r = registry();
    r.refused.remove(shortcut);
    for (auto it = r.hotKeys.begin(); it != r.hotKeys.end();) {
        if (it->shortcut == shortcut) {
            if (it->grabbed && r.service)
                r.service->ungrab(shortcut);
            it = r.hotKeys.erase(it);
        } else {
            ++it;
        }
    }
}

// Lets go of a combination only when no other name is bound to it: two names may share one, and the
// other must keep working.
void release(const Shortcut &shortcut, const Name &changing)
{
    for (const Name &other : registry().knownNames) {
        if (!(other == changing) && getShortcut(other) == shortcut)
            return;
    }
    unregisterHotKey(shortcut);
    registry().registeredShortcuts.remove(shortcut);
}

void ensureRegistered(const Shortcut &shortcut)
{
    Registry &r = registry();
    if (r.registeredShortcuts.contains(shortcut))
        return;
    registerHotKey(shortcut);
    r.registeredShortcuts.insert(shortcut);
}

void remember(const Name &name)
{
    for (const Name &known : registry().knownNames) {
        if (known == name)
            return;
    }
    registry().knownNames.append(name);
}

// Applies the mode: grabs released while disabled or while a menu is open, taken again otherwise.
void updateGrabs()
{
    Registry &r = registry();
    if (r.desktop)
        return;
    for (HotKey &hotKey : r.hotKeys) {
        if (!grabsAllowed() && hotKey.grabbed) {
            if (r.service)
                r.service->ungrab(hotKey.shortcut);
            hotKey.grabbed = false;
        } else if (grabsAllowed() && !hotKey.grabbed) {
            const int status = grab(hotKey.shortcut);
            if (status != 0) {
                printRegistrationError(hotKey.shortcut, status);
            } else {
                hotKey.grabbed = true;
            }
        }
    }
}

Handlers &handlersFor(const Name &name)
{
    Registry &r = registry();
    for (Handlers &entry : r.handlers) {
        if (entry.name == name)
            return entry;
    }
    r.handlers.append(Handlers{name, {}, {}});
    return r.handlers.last();
}

void addHandler(const Name &name, std::function<void()> action, bool keyDown)
{
    remember(name);
    Handlers &entry = handlersFor(name);
    (keyDown ? entry.keyDown : entry.keyUp).append(std::move(action));
    if (const std::optional<Shortcut> shortcut = getShortcut(name))
        ensureRegistered(*shortcut);
}

} // namespace

Name::Name(const QString &raw, std::optional<Shortcut> defaultBinding)
    : rawValue(raw), defaultShortcut(defaultBinding)
{
    remember(*this);
    if (defaultShortcut && !store().contains(storageKey(*this)))
        GlobalShortcuts::setShortcut(defaultShortcut, *this);
}

std::optional<Shortcut> Name::shortcut() const
{
    return getShortcut(*this);
}

void Name::setShortcut(std::optional<Shortcut> shortcut) const
{
    GlobalShortcuts::setShortcut(shortcut, *this);
}

const Name &Name::captureArea()
{
    static const Name name(QStringLiteral("captureArea"),
                           Shortcut(Key{Key::seven}, Modifier::shift | Modifier::command));
    return name;
}

const Name &Name::captureFullScreen()
{
    static const Name name(QStringLiteral("captureFullScreen"),
                           Shortcut(Key{Key::eight}, Modifier::shift | Modifier::command));
    return name;
}

const Name &Name::captureScrolling()
{
    static const Name name(QStringLiteral("captureScrolling"),
                           Shortcut(Key{Key::nine}, Modifier::shift | Modifier::command));
    return name;
}

const Name &Name::captureWindow()
{
    static const Name name(QStringLiteral("captureWindow"),
                           Shortcut(Key{Key::zero}, Modifier::shift | Modifier::command));
    return name;
}

const Name &Name::recordArea()
{
    static const Name name(QStringLiteral("recordArea"));
    return name;
}

QList<const Name *> Name::captures()
{
    return {&captureArea(), &captureFullScreen(), &captureWindow(), &captureScrolling(), &recordArea()};
}

Notifier &Notifier::shared()
{
    static Notifier instance;
    return instance;
}

std::optional<Shortcut> getShortcut(const Name &name)
{
    return Shortcut::decode(store().value(storageKey(name)));
}

void setShortcut(std::optional<Shortcut> shortcut, const Name &name)
{
    remember(name);
    const std::optional<Shortcut> old = getShortcut(name);
    if (shortcut) {
        const QString encoded = shortcut->encoded();
        if (encoded.isEmpty())
            return;
        if (old)
            release(*old, name);
        ensureRegistered(*shortcut);
        store().setValue(storageKey(name), encoded);
    } else {
        if (!old)
            return;
        if (name.defaultShortcut)
            store().setValue(storageKey(name), false);
        else
            store().remove(storageKey(name));
        release(*old, name);
    }
    store().sync();
    emit Notifier::shared().shortcutByNameDidChange(name.rawValue);
}

void onKeyDown(const Name &name, std::function<void()> action)
{
    addHandler(name, std::move(action), true);
}
void onKeyUp(const Name &name, std::function<void()> action)
{
    addHandler(name, std::move(action), false);
}

bool isEnabled()
{
    return registry().enabled;
}

void setEnabled(bool enabled)
{
    if (registry().enabled == enabled)
        return;
    registry().enabled = enabled;
    updateGrabs();
}

bool isRefused(const Name &name)
{
    const Registry &r = registry();
    const std::optional<Shortcut> shortcut = getShortcut(name);
    return !r.desktop && shortcut && r.registeredShortcuts.contains(*shortcut) &&
           r.refused.contains(*shortcut);
}

bool isEnabled(const Name &name)
{
    const Registry &r = registry();
    if (r.desktop)
        return r.enabled && r.desktop->state() == DesktopShortcutService::State::Bound &&
               !r.desktop->assignedTrigger(name.rawValue).isEmpty();
    const std::optional<Shortcut> shortcut = getShortcut(name);
    if (!r.enabled || !shortcut || !r.registeredShortcuts.contains(*shortcut))
        return false;
    // A combination the system refused has no grab: it is not enabled, whatever was asked. While a menu is
    // open the grabs are let go on purpose and the combination still counts.
    for (const HotKey &hotKey : r.hotKeys) {
        if (hotKey.shortcut == *shortcut && (hotKey.grabbed || !grabsAllowed()))
            return true;
    }
    return false;
}

bool isPaused()
{
    return registry().paused;
}
void setPaused(bool paused)
{
    registry().paused = paused;
}

void setMenuOpen(bool open)
{
    if (registry().menuOpen == open)
        return;
    registry().menuOpen = open;
    updateGrabs();
}

bool isMenuOpen()
{
    return registry().menuOpen;
}

bool handleKeyEvent(const Shortcut &pressed, bool isPress)
{
    const Shortcut shortcut = Shortcut::normalized(pressed.keyCode, pressed.keyModifiers);
    for (const HotKey &hotKey : registry().hotKeys) {
        if (hotKey.shortcut == shortcut) {
            dispatch(shortcut, isPress);
            return true;
        }
    }
    return false;
}

void setHotKeyService(std::unique_ptr<HotKeyService> service)
{
    Registry &r = registry();
    r.service = std::move(service);
    if (r.service) {
        r.service->onHotKey = [](const Shortcut &shortcut, bool pressed) {
            for (const HotKey &hotKey : registry().hotKeys) {
                if (hotKey.grabbed && hotKey.shortcut == shortcut) {
                    dispatch(shortcut, pressed);
                    return;
                }
            }
        };
    }
}

void setDesktopService(std::unique_ptr<DesktopShortcutService> service)
{
    Registry &r = registry();
    r.desktop = std::move(service);
    if (!r.desktop)
        return;
    r.desktop->onActivated = [](const QString &activated, bool pressed) {
        if (registry().enabled)
            runHandlers([&activated](const Name &name) { return name.rawValue == activated; }, pressed);
    };
    r.desktop->onChanged = [] { emit Notifier::shared().desktopShortcutsDidChange(); };
}

DesktopShortcutService *desktopService()
{
    return registry().desktop.get();
}

QString desktopTrigger(const Name &name)
{
    const DesktopShortcutService *desktop = registry().desktop.get();
    if (!desktop || desktop->state() != DesktopShortcutService::State::Bound)
        return QString();
    return desktop->assignedTrigger(name.rawValue);
}

QString desktopGuidance(GuidanceFormat format)
{
    const DesktopShortcutService *desktop = registry().desktop.get();
    if (!desktop || desktop->state() != DesktopShortcutService::State::Unavailable)
        return QString();
    // As rich text, a command is never split across lines (and copies with plain spaces).
    const auto command = [format](const char *name) {
        const QString quoted = QStringLiteral("« pim %1 »").arg(QLatin1String(name));
        return format == GuidanceFormat::richText
                   ? QStringLiteral("<span style=\"white-space:nowrap\">%1</span>")
                         .arg(quoted.toHtmlEscaped())
                   : quoted;
    };
    return QStringLiteral(
               "Le bureau ne donne pas de raccourcis globaux à Pim. Dans les réglages clavier du "
               "bureau, associe la commande %1 à la capture de zone et %2 à la capture plein écran.")
        .arg(command("area"), command("full"));
}

HotKeyService *hotKeyService()
{
    return registry().service.get();
}

bool isInHotKeyTable(const Shortcut &shortcut)
{
    for (const HotKey &hotKey : registry().hotKeys) {
        if (hotKey.shortcut == shortcut)
            return true;
    }
    return false;
}

void resetForTesting()
{
    Registry &r = registry();
    for (const HotKey &hotKey : r.hotKeys) {
        if (hotKey.grabbed && r.service)
            r.service->ungrab(hotKey.shortcut);
    }
    r.hotKeys.clear();
    r.registeredShortcuts.clear();
    r.refused.clear();
    r.handlers.clear();
    r.knownNames.clear();
    r.enabled = true;
    r.paused = false;
    r.menuOpen = false;
    r.service.reset();
    r.desktop.reset();
}

} // namespace GlobalShortcuts
