// SPDX-License-Identifier: GPL-3.0-or-later
// File-name patterns: whatever the user typed, the name is one non-empty file name with no "/", no line
// break, no control character, no blank at either end, and short enough for every file system.
#include "FuzzCheck.h"

#include "output/FileNamer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString pattern = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    static const QDateTime date(QDate(2026, 12, 5), QTime(17, 51, 13), QTimeZone::utc());
    const QString name = FileNamer::render(pattern, date, QTimeZone::utc());
    FUZZ_CHECK(!name.isEmpty());
    FUZZ_CHECK(name != QStringLiteral(".") && name != QStringLiteral(".."));
    FUZZ_CHECK(!name.contains(u'/'));
    for (QChar c : name)
        FUZZ_CHECK(c.category() != QChar::Other_Control && c != QChar::LineSeparator &&
                   c != QChar::ParagraphSeparator);
    FUZZ_CHECK(!name.front().isSpace() && !name.back().isSpace());
    FUZZ_CHECK(name.toUtf8().size() <= FileNamer::maxBaseNameBytes);
    return 0;
}
