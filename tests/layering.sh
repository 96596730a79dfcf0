#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The house's direction: a room of src/ includes its own headers and those of the rooms below it, never a
# room beside or above it; src/platform/ implements interfaces of the rooms below app and is included from
# src/app/ only.
#   layering.sh SOURCE_DIR
set -euo pipefail
cd "$1/src"

# The floor of each room: a room may include rooms on lower floors.
floor() {
  case $1 in
    common) echo 0 ;;
    settings) echo 1 ;;
    output | annotation | shortcuts | imagetools) echo 2 ;;
    capture | editor | history | preview | preferences) echo 3 ;;
    platform) echo 3 ;; # beside the rooms whose interfaces it implements, with leave to include them
    app) echo 4 ;;
    *) echo "" ;;
  esac
}

status=0
while IFS= read -r line; do
  file=${line%%:*}
  included=$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${line#*:}")
  from=${file%%/*}
  to=${included%%/*}
  [ "$to" = "$included" ] && continue # a header beside the file, or a generated one
  [ "$from" = "$to" ] && continue
  from_floor=$(floor "$from")
  to_floor=$(floor "$to")
  if [ -z "$from_floor" ] || [ -z "$to_floor" ]; then
    echo "$file: includes $included, and the check knows no room \"$([ -z "$from_floor" ] && echo "$from" || echo "$to")\""
    status=1
  elif [ "$to" = platform ] && [ "$from" != app ]; then
    echo "$file: includes $included: only src/app/ includes the platform code"
    status=1
  elif [ "$from" = platform ] && [ "$to_floor" -le 3 ]; then
    continue
  elif [ "$to_floor" -ge "$from_floor" ]; then
    echo "$file: includes $included, a room beside or above $from"
    status=1
  fi
done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' --include='*.h' --include='*.cpp' . |
  sed -E 's|^\./||; s|:[0-9]+:|:|')

[ "$status" -eq 0 ] && echo "layering: ok"
exit "$status"
