#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Every source, script and build file of the project says its licence in an SPDX line near its top:
#   source_headers.sh SOURCE_DIR
set -euo pipefail
cd "$1"
missing=$(find src tests bench fuzz scripts resources .ci CMakeLists.txt -type f \
  \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.sh' -o -name 'CMakeLists.txt' -o -name '*.svg' \
     -o -name '*.qrc' -o -name '*.desktop' -o -name '*.xml' -o -name '*.1' -o -name run -o -path '*/completion/*' \) \
  -exec sh -c 'head -n 3 "$1" | grep -q "SPDX-License-Identifier: " || echo "$1"' _ {} \;)
[ -z "$missing" ] || { echo "FAIL: no SPDX line in:"; echo "$missing"; exit 1; }
grep -q 'GNU GENERAL PUBLIC LICENSE' COPYING && grep -q 'Version 3' COPYING || { echo "FAIL: COPYING is not the GPL 3"; exit 1; }
echo "headers: ok"
