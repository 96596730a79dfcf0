// SPDX-License-Identifier: GPL-3.0-or-later
// History file decoding: a decoded history holds only entries with a path and a finite date, and what
// the store writes back decodes to the same entries.
#include "FuzzCheck.h"

#include "history/HistoryStore.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<QList<HistoryStore::Entry>> entries = HistoryStore::decode(bytes);
    if (!entries)
        return 0;
    for (const HistoryStore::Entry &entry : *entries)
        FUZZ_CHECK(std::isfinite(entry.date));
    const std::optional<QList<HistoryStore::Entry>> again =
        HistoryStore::decode(HistoryStore::encode(*entries));
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *entries);
    return 0;
}
