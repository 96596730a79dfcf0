#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Scrolling captures of a tall page of ours with a sticky header (run through run-isolated.sh --x11):
#   scroll_e2e.sh PATH_TO_PIM PATH_TO_SCROLL_PAGE PATH_TO_IMAGEDIFF
# `pim scroll` and the shortcut each give the header once and the whole page, pixel for pixel; Escape
# mid-way keeps what was stitched; a window that closes mid-way ends the capture with what was stitched.
set -euo pipefail
pim=$1
page=$2
imagediff=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
log="$PWD/pim.log"
mkdir -p "${XDG_CONFIG_HOME:-$HOME/.config}/Pim"
printf '[General]\nhasSeenWelcome=true\n' >"${XDG_CONFIG_HOME:-$HOME/.config}/Pim/Pim.conf"
"$pim" 2>"$log" &
instance=$!
page_pid=""
trap 'kill $instance $page_pid 2>/dev/null || true; wait 2>/dev/null || true' EXIT
for _ in $(seq 1 200); do [ -S "${XDG_RUNTIME_DIR}/pim.socket" ] && break; sleep 0.05; done
[ -S "${XDG_RUNTIME_DIR}/pim.socket" ] || fail "no instance: $(cat "$log")"

# Shows the page (its height given) and waits for it to say where it is.
show_page() {
  rm -rf "$PWD/page" && mkdir -p "$PWD/page"
  "$page" "$PWD/page" "$1" &
  page_pid=$!
  for _ in $(seq 1 200); do [ -s page/area ] && break; sleep 0.05; done
  [ -s page/area ] || fail "the page did not show"
  read -r ax ay aw ah <page/area
}
# Waits for the area overlay over the whole screen, then drags the page's header and view.
drag_area() {
  for _ in $(seq 1 200); do
    for w in $(xdotool search --onlyvisible --name '^Pim$' 2>/dev/null); do
      WIDTH=0 # the window may go between the search and the question: no stale size
      eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null)" || continue
      [ "$WIDTH" -ge 1000 ] && break 2
    done
    sleep 0.05
  done
  xdotool mousemove "$ax" "$ay" mousedown 1 mousemove $((ax + 100)) $((ay + 100)) \
    mousemove $((ax + aw)) $((ay + ah)) mouseup 1
}
# Waits until the page has been scrolled past ROWS.
scrolled_past() {
  for _ in $(seq 1 400); do
    [ -s page/scrolled ] && [ "$(cat page/scrolled)" -gt "$1" ] && return 0
    sleep 0.05
  done
  fail "the page was not scrolled past $1 rows"
}
# Waits until the file the command or the log names is written, and prints it.
saved_after() {
  local before=$1
  for _ in $(seq 1 600); do
    local count
    count=$(grep -c "capture enregistrée" "$log" || true)
    [ "$count" -gt "$before" ] && break
    sleep 0.05
  done
  grep "capture enregistrée" "$log" | tail -n1 | sed 's/^.*→ //'
}
same() { # FILE EXPECTED: the same size and pixels
  local diff
  diff=$("$imagediff" "$1" "$2")
  read -r sa sb mean max <<<"$diff"
  [ "$sa" = "$sb" ] && [ "$max" = "0" ] || fail "$(basename "$1") is not the page: $diff"
}
prefix() { # FILE EXPECTED: FILE is the first rows of EXPECTED, more than one screenful and not all
  local size w h full
  size=$("$imagediff" --size "$1")
  w=${size%x*}
  h=${size#*x}
  full=$("$imagediff" --size "$2")
  [ "$h" -gt "$ah" ] || fail "$(basename "$1") has only $h rows"
  [ "$h" -lt "${full#*x}" ] || fail "$(basename "$1") has the whole page: nothing stopped it"
  read -r _ _ _ max <<<"$("$imagediff" "$1" "$2" 0 0 "$w" "$h")"
  [ "$max" = "0" ] || fail "$(basename "$1") is not the top of the page"
}

# The command: the whole page, the header once.
show_page 6000
out=$("$pim" scroll) &
command_pid=$!
drag_area
wait $command_pid || fail "pim scroll failed: $(cat "$log")"
file=$(saved_after 0)
[ -f "$file" ] || fail "no file after pim scroll: $(cat "$log")"
same "$file" page/expected.png
kill $page_pid && wait $page_pid 2>/dev/null || true

# The shortcut.
show_page 4000
count=$(grep -c "capture enregistrée" "$log" || true)
xdotool key shift+super+9
drag_area
file=$(saved_after "$count")
same "$file" page/expected.png
kill $page_pid && wait $page_pid 2>/dev/null || true

# Escape once the panel shows some height: what was stitched is saved.
show_page 30000
count=$(grep -c "capture enregistrée" "$log" || true)
"$pim" scroll >/dev/null &
drag_area
for _ in $(seq 1 200); do
  panel=$(xdotool search --onlyvisible --name '^Capture défilante$' 2>/dev/null | head -n1 || true)
  [ -n "$panel" ] && break
  sleep 0.05
done
[ -n "$panel" ] || fail "no panel beside the area"
scrolled_past 2000
xdotool key Escape
file=$(saved_after "$count")
prefix "$file" page/expected.png

# The window closes mid-way: the capture ends with what was stitched.
kill $page_pid && wait $page_pid 2>/dev/null || true
show_page 30000
count=$(grep -c "capture enregistrée" "$log" || true)
"$pim" scroll >/dev/null &
drag_area
scrolled_past 2000
kill $page_pid && wait $page_pid 2>/dev/null || true
file=$(saved_after "$count")
prefix "$file" page/expected.png
"$pim" quit
echo "scrolling: ok"
