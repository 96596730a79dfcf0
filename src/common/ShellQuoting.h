// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// A text between double quotes as the shell reads it (and as a desktop entry's Exec key does): only
// $ ` " \ are escaped, with a backslash.
inline QString doubleQuoted(const QString &text)
{
    QString quoted;
    for (const QChar c : text) {
        if (c == u'$' || c == u'`' || c == u'"' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return u'"' + quoted + u'"';
}
