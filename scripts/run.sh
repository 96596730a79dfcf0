#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds the program alone (no tests, no benchmarks) in build-run/ and starts
# it. The folder is configured the first time only; later runs rebuild what changed and start at once.
source "$(dirname "$0")/common.sh"
install_missing "$PIM_ROOT/scripts/packages.txt"
dir="$PIM_ROOT/build-run"
if [ ! -f "$dir/CMakeCache.txt" ]; then
  echo "== Configuring Pim in $dir (once)"
  cmake -S "$PIM_ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPIM_TESTS=OFF -DPIM_BENCH=OFF >/dev/null
  echo "== Building Pim (the first time takes a few minutes)"
fi
# Ninja shows its progress as [done/total]; with nothing to rebuild it says so in a line.
cmake --build "$dir" --target pim pim-instance
[ $# -eq 0 ] && cat <<'TEXT'
== Pim runs in the notification area (tray). This terminal stays with it: its messages appear here.
   By default Maj+Super+7 captures an area, Maj+Super+8 the screen under the pointer.
   To quit: "Quitter Pim" in the tray icon's menu, `build-run/src/pim quit` from another terminal,
   or Ctrl+C here.
TEXT
exec "$dir/src/pim" "$@"
