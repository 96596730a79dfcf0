// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QCoreApplication;

// Pim speaks French whatever the system's language: Qt's own windows (colour and folder dialogs, text
// fields' context menus, message boxes' buttons) through Qt's French translations, and dates in the
// system's locale when it is a French one, in French otherwise.
namespace Localization {

// Loads Qt's French translations into the application; false when they are not installed (Debian's
// qt6-translations-l10n), and Qt's own windows then stay in English.
bool install(QCoreApplication &application);

} // namespace Localization
