// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Localization.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace Localization {

bool install(QCoreApplication &application)
{
    // Dates and numbers: the user's own French variant (fr_CA, fr_BE…) when that is what the system
    // uses, French otherwise.
    if (QLocale::system().language() != QLocale::French)
        QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    auto *translator = new QTranslator(&application);
    if (!translator->load(QLocale(QLocale::French, QLocale::France), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace Localization
