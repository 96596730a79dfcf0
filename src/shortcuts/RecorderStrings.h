// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The recorder's own string table.
namespace RecorderStrings {

inline QString text(const char *key)
{
    struct Entry {
        const char *key;
        const char16_t *text;
    };
    static const Entry table[] = {
        {"record_shortcut", u"Enregistrer le raccourci"},
        {"press_shortcut", u"Tapez le raccourci"},
        {"keyboard_shortcut_used_by_menu_item",
         u"Ce raccourci est déjà utilisé par l'élément de menu « %1 »."},
        {"keyboard_shortcut_disallowed", u"Ce raccourci n'est pas autorisé."},
        {"keyboard_shortcut_used_by_system",
         u"Ce raccourci est déjà utilisé par le système ou par un autre programme."},
        {"keyboard_shortcuts_can_be_changed",
         u"La plupart des raccourcis du bureau se changent dans les Paramètres du bureau."},
        {"ok", u"OK"},
        {"force_use_shortcut", u"Utiliser quand même"},
    };
    for (const Entry &entry : table) {
        if (qstrcmp(entry.key, key) == 0)
            return QString::fromUtf16(entry.text);
    }
    return QString::fromLatin1(key);
}

} // namespace RecorderStrings
