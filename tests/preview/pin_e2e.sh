#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Pins under a window manager (run through run-isolated.sh --x11):
#   pin_e2e.sh PATH_TO_PIM
# A capture pinned from `pim pin`, from the preview's pin button and from the history's menu: each shows
# above the other windows at the capture's size, moves with a drag, grows with the wheel and closes with
# a double-click or Escape.
set -euo pipefail
pim=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
log="$PWD/pim.log"
mkdir -p "${XDG_CONFIG_HOME:-$HOME/.config}/Pim"
printf '[General]\nhasSeenWelcome=true\n' >"${XDG_CONFIG_HOME:-$HOME/.config}/Pim/Pim.conf"
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
for _ in $(seq 1 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.05; done
"$pim" 2>"$log" &
pid=$!
trap 'kill $pid $wm 2>/dev/null || true; wait 2>/dev/null || true' EXIT
for _ in $(seq 1 200); do [ -S "${XDG_RUNTIME_DIR}/pim.socket" ] && break; sleep 0.05; done

geometry() {
  local info
  info=$(xwininfo -id "$1" 2>/dev/null) || return 1
  X=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
  Y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
  WIDTH=$(awk '/^ *Width:/ {print $2}' <<<"$info")
  HEIGHT=$(awk '/^ *Height:/ {print $2}' <<<"$info")
}
# The visible window of ours with that title, once it shows.
window_named() {
  for _ in $(seq 1 100); do
    local w
    w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  return 1
}
gone() {
  for _ in $(seq 1 100); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}
# Checks a pin: above the others, the capture's size with its border; a drag moves it, the wheel grows it.
check_pin() { # WINDOW
  local w=$1
  xprop -id "$w" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE || fail "the pin is not above the others"
  geometry "$w"
  [ "$WIDTH" = 302 ] && [ "$HEIGHT" = 202 ] || fail "the pin is ${WIDTH}x$HEIGHT, not 302x202"
  local x=$X y=$Y
  xdotool mousemove $((x + 150)) $((y + 100)) mousedown 1 mousemove $((x + 100)) $((y + 80)) \
    mousemove $((x + 40)) $((y + 60)) mouseup 1
  for _ in $(seq 1 50); do geometry "$w"; [ "$X" = $((x - 110)) ] && break; sleep 0.05; done
  [ "$X" = $((x - 110)) ] && [ "$Y" = $((y - 40)) ] || fail "the pin moved to $X,$Y, not $((x - 110)),$((y - 40))"
  xdotool mousemove $((X + 50)) $((Y + 50)) click 4
  for _ in $(seq 1 50); do geometry "$w"; [ "$WIDTH" = 377 ] && break; sleep 0.05; done
  [ "$WIDTH" = 377 ] && [ "$HEIGHT" = 252 ] || fail "the wheel made the pin ${WIDTH}x$HEIGHT, not 377x252"
}

# A 300 × 200 capture to pin.
"$pim" area >"$PWD/area" &
for _ in $(seq 1 100); do
  for w in $(xdotool search --onlyvisible --name '^Pim$' 2>/dev/null); do
    geometry "$w"
    [ "$WIDTH" -ge 1000 ] && break 2
  done
  sleep 0.05
done
xdotool mousemove 200 150 mousedown 1 mousemove 300 250 mousemove 500 350 mouseup 1
for _ in $(seq 1 100); do [ -s "$PWD/area" ] && break; sleep 0.05; done
capture=$(cat "$PWD/area")
[ -f "$capture" ] || fail "no capture: $(cat "$log")"
name=$(basename "$capture")

# 1. The preview's pin button (beside the close button, shown while the pointer is over the preview).
preview=""
for _ in $(seq 1 100); do
  for w in $(xdotool search --onlyvisible --name '^Pim$' 2>/dev/null); do
    geometry "$w"
    [ "$WIDTH" -gt 60 ] && [ "$WIDTH" -lt 400 ] && preview=$w && break 2
  done
  sleep 0.05
done
[ -n "$preview" ] || fail "no preview"
# Once it has slid into place: the same place twice.
last=""
for _ in $(seq 1 100); do
  geometry "$preview"
  [ "$last" = "$X,$Y" ] && break
  last="$X,$Y"
  sleep 0.1
done
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2))
sleep 0.3
xdotool mousemove $((X + 37)) $((Y + 15)) click 1
pin=$(window_named "$name") || fail "the preview's button pinned nothing"
check_pin "$pin"
geometry "$pin"
xdotool mousemove $((X + 60)) $((Y + 60)) click --repeat 2 --delay 80 1
gone "$name" || fail "a double-click did not close the pin"

# 2. The command.
"$pim" pin "$capture" || fail "pim pin failed"
pin=$(window_named "$name") || fail "pim pin showed nothing"
check_pin "$pin"
xdotool windowactivate --sync "$pin" key Escape
gone "$name" || fail "Escape did not close the pin"
"$pim" pin "$PWD/nothing.png" 2>/dev/null && fail "pim pin of a missing file succeeded"

# 3. The history's menu: a right click on the capture's cell, then "Épingler" (the third item).
"$pim" history
history=$(window_named "Historique des captures") || fail "no history window"
geometry "$history"
before=$( (xdotool search --onlyvisible --class pim || true) | wc -l)
xdotool mousemove $((X + 90)) $((Y + 90)) click 3
# The menu is one more window of ours.
for _ in $(seq 1 100); do [ "$( (xdotool search --onlyvisible --class pim || true) | wc -l)" -gt "$before" ] && break; sleep 0.05; done
xdotool key Down Down Down Return
pin=$(window_named "$name") || fail "the history's menu pinned nothing"
check_pin "$pin"
"$pim" quit
echo "pins: ok"
