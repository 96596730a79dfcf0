#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The C++ files follow the project's .clang-format, as Debian 12's clang-format 14 applies it:
#   format.sh SOURCE_DIR [BASE]
# With BASE (a commit), only the files changed since it are checked, the files a change touches; without,
# every file. `clang-format-14 -i FILE` puts a file right.
set -euo pipefail
cd "$1"
formatter=${CLANG_FORMAT:-clang-format-14}
command -v "$formatter" >/dev/null || { echo "FAIL: $formatter is missing (package clang-format-14)"; exit 1; }
if [ $# -ge 2 ]; then
  mapfile -t files < <(git diff --name-only --diff-filter=d "$2" -- '*.cpp' '*.h' '*.c')
else
  mapfile -t files < <(find src tests bench fuzz -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) | sort)
fi
bad=()
for file in "${files[@]}"; do
  "$formatter" --dry-run -Werror "$file" >/dev/null 2>&1 || bad+=("$file")
done
if [ ${#bad[@]} -gt 0 ]; then
  echo "FAIL: not formatted as .clang-format says (run $formatter -i on them):"
  printf '  %s\n' "${bad[@]}"
  exit 1
fi
echo "format: ${#files[@]} files ok"
