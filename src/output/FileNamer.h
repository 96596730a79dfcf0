// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QTimeZone>

// Turns a user's file-name pattern into the base name of a saved capture.
//
// Tokens (case-sensitive): {date} 2026-12-05, {time} 17.51.13, {yyyy}, {MM}, {dd}, {HH}, {mm}, {ss}. Every
// other text stays as written. "/" and ":" become "-", the result is trimmed and never empty ("Capture").
// Control characters (line breaks, tabs, NUL) become spaces and the name is cut to maxBaseNameBytes, so
// the result is always one valid file name in the capture folder, with room for " 123.webp".
namespace FileNamer {

inline constexpr int maxBaseNameBytes = 200;

QString render(const QString &pattern, const QDateTime &date, const QTimeZone &timeZone);

} // namespace FileNamer
