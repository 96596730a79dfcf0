#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one test program with private HOME and XDG folders, so nothing touches the user's own files.
#   run-isolated.sh [--x11] program [arguments…]
# With --x11 the program gets a private Xvfb display, started here and stopped afterwards; otherwise it
# uses Qt's offscreen platform. PIM_XVFB_SCREEN sets the root size (1920x1080x24 by default).
set -euo pipefail

x11=0
if [ "${1:-}" = "--x11" ]; then
  x11=1
  shift
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/pim-test.XXXXXX")
xvfb_pid=""
cleanup() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
  rm -rf "$root"
}
trap cleanup EXIT

mkdir -p "$root/home" "$root/config" "$root/data" "$root/cache" "$root/runtime"
chmod 700 "$root/runtime"
export HOME="$root/home"
export XDG_CONFIG_HOME="$root/config"
export XDG_DATA_HOME="$root/data"
export XDG_CACHE_HOME="$root/cache"
export XDG_RUNTIME_DIR="$root/runtime"
export DBUS_SESSION_BUS_ADDRESS="disabled:"
export OMP_THREAD_LIMIT=1
unset XDG_CURRENT_DESKTOP

if [ "$x11" = 1 ]; then
  # Xvfb picks a free display number itself and writes it to the file descriptor we give it.
  exec 5> "$root/display"
  Xvfb -displayfd 5 -screen 0 "${PIM_XVFB_SCREEN:-1920x1080x24}" -noreset -nolisten tcp >"$root/xvfb.log" 2>&1 &
  xvfb_pid=$!
  exec 5>&-
  for _ in $(seq 1 100); do
    [ -s "$root/display" ] && break
    sleep 0.05
  done
  if [ ! -s "$root/display" ]; then
    echo "run-isolated: Xvfb did not start" >&2
    cat "$root/xvfb.log" >&2
    exit 1
  fi
  export DISPLAY=":$(head -n1 "$root/display")"
  export QT_QPA_PLATFORM=xcb
else
  unset DISPLAY
  export QT_QPA_PLATFORM=offscreen
fi

cd "$root"
"$@"
