#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The program as the desktop starts it, on a private 3840 × 2160 Xvfb with a tray host:
#   - start: from the exec to the icon embedded in the tray host;
#   - idle memory: the resident set 3 s after the start, no window shown;
#   - `pim full` from the shell to the saved file's path printed, next to `scrot -o` (the instance running).
# Prints "name value unit" lines (medians of RUNS runs, 5 by default).
#   bench/bench_shell.sh PATH_TO_PIM [RUNS]
set -euo pipefail
pim=$(realpath "$1")
runs=${2:-5}

root=$(mktemp -d "${TMPDIR:-/tmp}/pim-bench.XXXXXX")
xvfb=""
tray_host=""
cleanup() {
  pkill -P $$ 2>/dev/null || true
  [ -n "$tray_host" ] && kill "$tray_host" 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT

exec 5> "$root/display"
Xvfb -displayfd 5 -screen 0 3840x2160x24 -noreset -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec 5>&-
for _ in $(seq 1 100); do [ -s "$root/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$root/display")"
export QT_QPA_PLATFORM=xcb OMP_THREAD_LIMIT=1
unset XDG_CURRENT_DESKTOP

trayer --edge top --align right --widthtype pixel --width 200 --height 28 >/dev/null 2>&1 &
tray_host=$!
tray=""
# The host's panel window, into which the icons are embedded.
for _ in $(seq 1 100); do
  for w in $(xdotool search --class trayer 2>/dev/null); do
    [ "$(xdotool getwindowname "$w" 2>/dev/null)" = panel ] && tray=$w
  done
  [ -n "$tray" ] && break
  sleep 0.05
done
[ -n "$tray" ] || { echo "bench_shell: no tray host" >&2; exit 1; }

now_ms() { date +%s%3N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# The programs' windows embedded in the tray host (the host's own have no class).
tray_windows() { xwininfo -tree -id "$tray" 2>/dev/null | grep -c '": ("' || true; }

# A fresh home for every start, so that each one is a first start without a welcome window left over.
fresh_home() {
  local home="$root/home.$1"
  rm -rf "$home"; mkdir -p "$home/Desktop" "$home/config/Pim" "$home/data" "$home/runtime"
  chmod 700 "$home/runtime"
  printf '[General]\nhasSeenWelcome=true\n' > "$home/config/Pim/Pim.conf"
  export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime"
}

# start NAME COMMAND…: the start time and the idle memory of one program, RUNS times.
start_and_idle() {
  local name=$1; shift
  local starts=() rss=()
  for run in $(seq 1 "$runs"); do
    fresh_home "$name.$run"
    local before; before=$(tray_windows)
    local t0; t0=$(now_ms)
    dbus-run-session -- "$@" >/dev/null 2>&1 &
    local session=$!
    local shown=""
    for _ in $(seq 1 1000); do
      if [ "$(tray_windows)" -gt "$before" ]; then shown=$(now_ms); break; fi
      sleep 0.002
    done
    [ -n "$shown" ] || { echo "bench_shell: $name showed no tray icon" >&2; kill $session; return 1; }
    starts+=($((shown - t0)))
    sleep 3
    local pid; pid=$(pgrep -n -x "$name" || true)
    [ -n "$pid" ] && rss+=($(awk '/^VmRSS/ { print int($2 / 1024) }' "/proc/$pid/status"))
    pkill -P "$session" 2>/dev/null || true
    kill "$pid" 2>/dev/null || true
    wait "$session" 2>/dev/null || true
    for _ in $(seq 1 50); do [ "$(tray_windows)" -le "$before" ] && break; sleep 0.05; done
  done
  echo "${name}_start_to_tray_icon $(printf '%s\n' "${starts[@]}" | median) ms"
  echo "${name}_idle_rss $(printf '%s\n' "${rss[@]}" | median) MB"
}

start_and_idle pim "$pim"

# pim full through the running instance, next to scrot, alternating.
fresh_home full
export DBUS_SESSION_BUS_ADDRESS=disabled:
"$pim" >/dev/null 2>&1 &
instance=$!
for _ in $(seq 1 200); do [ -S "$XDG_RUNTIME_DIR/pim.socket" ] && break; sleep 0.02; done
"$pim" full >/dev/null # first capture: buffers made
pim_times=() scrot_times=()
for run in $(seq 1 "$runs"); do
  t0=$(now_ms); path=$("$pim" full); t1=$(now_ms)
  [ -f "$path" ] || { echo "bench_shell: pim full printed '$path'" >&2; exit 1; }
  pim_times+=($((t1 - t0)))
  t0=$(now_ms); scrot -o "$root/scrot.png"; t1=$(now_ms)
  scrot_times+=($((t1 - t0)))
done
kill $instance
pim_full=$(printf '%s\n' "${pim_times[@]}" | median)
scrot_full=$(printf '%s\n' "${scrot_times[@]}" | median)
echo "pim_full_4k $pim_full ms"
echo "scrot_4k $scrot_full ms"
echo "pim_full_over_scrot $(awk -v a="$pim_full" -v b="$scrot_full" 'BEGIN { printf "%.2f", a / b }') x"
