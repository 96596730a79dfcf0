// SPDX-License-Identifier: GPL-3.0-or-later
// Stored shortcut bindings: whatever the settings file holds, decoding gives a shortcut or nothing, and a
// decoded shortcut stores and decodes back to itself.
#include "FuzzCheck.h"

#include "shortcuts/Shortcut.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString stored = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<GlobalShortcuts::Shortcut> shortcut = GlobalShortcuts::Shortcut::decode(stored);
    if (!shortcut)
        return 0;
    const std::optional<GlobalShortcuts::Shortcut> again =
        GlobalShortcuts::Shortcut::decode(shortcut->encoded());
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(*again == *shortcut);
    return 0;
}
