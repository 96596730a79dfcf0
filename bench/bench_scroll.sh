#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Scrolling capture on a private 1920 × 1080 Xvfb: a 1000 × 800 area (a sticky header and the view of a
# scroll area) over a page 20 screens tall (21 600 rows), from the release of the drag to the saved file.
# Prints "name value unit" lines: seconds per screen of page and in all (medians of RUNS runs, 3 by
# default), each with its goal, and the instance's memory at its peak over what it held before, against
# the final picture's size.
#   bench/bench_scroll.sh PATH_TO_PIM PATH_TO_SCROLL_PAGE PATH_TO_IMAGEDIFF [RUNS]
set -euo pipefail
pim=$(realpath "$1")
page=$(realpath "$2")
imagediff=$(realpath "$3")
runs=${4:-3}
screens=20
page_rows=$((screens * 1080))

root=$(mktemp -d "${TMPDIR:-/tmp}/pim-bench.XXXXXX")
xvfb=""
cleanup() {
  pkill -P $$ 2>/dev/null || true
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT
exec 5>"$root/display"
Xvfb -displayfd 5 -screen 0 1920x1080x24 -noreset -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec 5>&-
for _ in $(seq 1 100); do [ -s "$root/display" ] && break; sleep 0.05; done
export DISPLAY=":$(head -n1 "$root/display")" QT_QPA_PLATFORM=xcb DBUS_SESSION_BUS_ADDRESS=disabled:
export HOME="$root/home" XDG_CONFIG_HOME="$root/home/config" XDG_DATA_HOME="$root/home/data"
export XDG_RUNTIME_DIR="$root/home/runtime"
mkdir -p "$HOME/Desktop" "$XDG_CONFIG_HOME/Pim" "$XDG_DATA_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '[General]\nhasSeenWelcome=true\n' >"$XDG_CONFIG_HOME/Pim/Pim.conf"

now_ms() { date +%s%3N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
kib() { awk -v key="$1:" '$1 == key { print $2 }' "/proc/$2/status"; }

log="$root/pim.log"
"$pim" 2>"$log" &
instance=$!
for _ in $(seq 1 200); do [ -S "$XDG_RUNTIME_DIR/pim.socket" ] && break; sleep 0.05; done
# The command execs into the instance: its process is the one to measure.
times=()
peak_over=0
for run in $(seq 1 "$runs"); do
  out="$root/page.$run"
  mkdir -p "$out"
  "$page" "$out" "$page_rows" 1000 756 &
  page_pid=$!
  for _ in $(seq 1 200); do [ -s "$out/area" ] && break; sleep 0.05; done
  read -r ax ay aw ah <"$out/area"
  before=$(kib VmRSS "$instance")
  count=$(grep -c "capture enregistrée" "$log" || true)
  "$pim" scroll >/dev/null &
  for _ in $(seq 1 200); do
    for w in $(xdotool search --onlyvisible --name '^Pim$' 2>/dev/null); do
      WIDTH=0 # the window may go between the search and the question: no stale size
      eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null)" || continue
      [ "$WIDTH" -ge 1000 ] && break 2
    done
    sleep 0.02
  done
  xdotool mousemove "$ax" "$ay" mousedown 1 mousemove $((ax + 300)) $((ay + 300)) mousemove $((ax + aw)) $((ay + ah))
  # The instance's high-water mark starts from here.
  echo 5 >"/proc/$instance/clear_refs" 2>/dev/null || true
  start=$(now_ms)
  xdotool mouseup 1
  for _ in $(seq 1 3000); do
    [ "$(grep -c "capture enregistrée" "$log" || true)" -gt "$count" ] && break
    sleep 0.01
  done
  end=$(now_ms)
  file=$(grep "capture enregistrée" "$log" | tail -n1 | sed 's/^.*→ //')
  read -r sa sb _ max <<<"$("$imagediff" "$file" "$out/expected.png")"
  [ "$sa" = "$sb" ] && [ "$max" = 0 ] || { echo "bench_scroll: run $run is not the page ($sa, $sb, $max)" >&2; exit 1; }
  peak=$(kib VmHWM "$instance")
  [ $((peak - before)) -gt "$peak_over" ] && peak_over=$((peak - before))
  times+=("$((end - start))")
  kill "$page_pid"; wait "$page_pid" 2>/dev/null || true
done
total=$(printf '%s\n' "${times[@]}" | median)
picture_kib=$((1000 * (page_rows + 44) * 4 / 1024))
awk -v t="$total" -v s="$screens" 'BEGIN {
  printf "scroll_capture_total %.2f s\n", t / 1000
  printf "scroll_capture_total_goal %.2f s\n", s * 0.5
  printf "scroll_capture_per_screen %.3f s\n", t / 1000 / s
  printf "scroll_capture_per_screen_goal 0.500 s\n"
  printf "scroll_fixed_delay_floor %.2f s\n", 0.3 * (s * 1080 / 378)
}'
awk -v p="$peak_over" -v f="$picture_kib" 'BEGIN {
  printf "scroll_memory_peak_over_start %.1f MB\n", p / 1024
  printf "scroll_final_picture %.1f MB\n", f / 1024
  printf "scroll_memory_ratio_to_picture %.2f x\n", p / f
  printf "scroll_memory_ratio_to_picture_goal 2.00 x\n"
}'
"$pim" quit >/dev/null 2>&1 || true
