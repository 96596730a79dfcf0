#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Window captures under a window manager (run through run-isolated.sh --x11):
#   window_e2e.sh PATH_TO_PIM PATH_TO_SCROLL_PAGE PATH_TO_IMAGEDIFF
# Two windows of ours, one partly over the other. `pim window` and a click on the one below: the file is
# that window with its frame, as the screen showed it (the other's corner included), pixel for pixel
# against scrot's picture of the screen. The shortcut takes the one on top; Escape cancels. Then an area
# chosen with the keyboard only: the arrows, Maj+arrows and Return twice.
set -euo pipefail
pim=$1
page=$2
imagediff=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
log="$PWD/pim.log"
mkdir -p "${XDG_CONFIG_HOME:-$HOME/.config}/Pim"
printf '[General]\nhasSeenWelcome=true\n' >"${XDG_CONFIG_HOME:-$HOME/.config}/Pim/Pim.conf"
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
for _ in $(seq 1 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.05; done
"$pim" 2>"$log" &
pid=$!
pages=()
trap 'kill $pid $wm "${pages[@]}" 2>/dev/null || true; wait 2>/dev/null || true' EXIT
for _ in $(seq 1 200); do [ -S "${XDG_RUNTIME_DIR}/pim.socket" ] && break; sleep 0.05; done

show_page() { # DIR
  mkdir -p "$1"
  "$page" "$1" 2000 &
  pages+=($!)
  for _ in $(seq 1 200); do [ -s "$1/area" ] && break; sleep 0.05; done
  [ -s "$1/area" ] || fail "the page did not show"
}
# The window manager's frame of the page window shown last: X Y W H.
frame_of() { # WINDOW
  local info left right top bottom
  info=$(xwininfo -id "$1")
  X=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
  Y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
  W=$(awk '/^ *Width:/ {print $2}' <<<"$info")
  H=$(awk '/^ *Height:/ {print $2}' <<<"$info")
  read -r left right top bottom < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
  X=$((X - left)); Y=$((Y - top)); W=$((W + left + right)); H=$((H + top + bottom))
}
wait_overlay() {
  for _ in $(seq 1 200); do
    for w in $(xdotool search --onlyvisible --name '^Pim$' 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$w")"
      [ "$WIDTH" -ge 1000 ] && return 0
    done
    sleep 0.05
  done
  fail "no overlay"
}
wait_no_overlay() {
  for _ in $(seq 1 200); do
    local up=""
    for w in $(xdotool search --onlyvisible --name '^Pim$' 2>/dev/null); do
      eval "$(xdotool getwindowgeometry --shell "$w")"
      [ "$WIDTH" -ge 1000 ] && up=1
    done
    [ -z "$up" ] && return 0
    sleep 0.05
  done
  fail "the overlay stays"
}

show_page "$PWD/below"
below=$(xdotool search --onlyvisible --name "Page à faire défiler" | head -n1)
show_page "$PWD/above"
above=""
for w in $(xdotool search --onlyvisible --name "Page à faire défiler"); do [ "$w" != "$below" ] && above=$w; done
[ -n "$above" ] || fail "no second window"
xdotool windowmove "$above" 400 300
for _ in $(seq 1 100); do frame_of "$above"; [ "$X" -ge 390 ] && break; sleep 0.05; done
xdotool mousemove 5 5
sleep 0.3

# The window below, clicked where it shows.
frame_of "$below"
bx=$X by=$Y bw=$W bh=$H
scrot -o "$PWD/screen.png"
"$pim" window >"$PWD/out" &
command=$!
wait_overlay
xdotool mousemove $((bx + 60)) $((by + 120)) click 1
wait $command || fail "pim window failed: $(cat "$log")"
file=$(cat "$PWD/out")
[ -f "$file" ] || fail "no file: $(cat "$log")"
[ "$("$imagediff" --size "$file")" = "${bw}x$bh" ] || fail "the capture is $("$imagediff" --size "$file"), not the frame ${bw}x$bh"
read -r _ _ _ max <<<"$("$imagediff" --at "$bx" "$by" "$file" "$PWD/screen.png")"
[ "$max" = 0 ] || fail "the capture is not the window as the screen showed it"

# The shortcut, on the window above.
wait_no_overlay
frame_of "$above"
count=$(find "$HOME/Desktop" -name '*.png' | wc -l)
xdotool key shift+super+0
wait_overlay
xdotool mousemove $((X + 100)) $((Y + 100)) click 1
for _ in $(seq 1 100); do [ "$(find "$HOME/Desktop" -name '*.png' | wc -l)" -gt "$count" ] && break; sleep 0.05; done
newest=$(ls -t "$HOME/Desktop"/*.png | head -n1)
[ "$("$imagediff" --size "$newest")" = "${W}x$H" ] || fail "the shortcut's capture is not the window above"

# Escape cancels: no file, and the command says so.
wait_no_overlay
count=$(find "$HOME/Desktop" -name '*.png' | wc -l)
"$pim" window >/dev/null 2>&1 &
command=$!
wait_overlay
xdotool key Escape
wait $command && fail "a cancelled window capture succeeded"
[ "$(find "$HOME/Desktop" -name '*.png' | wc -l)" = "$count" ] || fail "Escape saved a file"
# Keyboard only: from the pointer's pixel, Return, 20 × Maj+Right and 3 × Right, 10 × Maj+Down, Return.
wait_no_overlay
xdotool mousemove 300 200
"$pim" area >"$PWD/keyboard" &
command=$!
wait_overlay
xdotool key Return
for _ in $(seq 1 20); do xdotool key shift+Right; done
xdotool key Right Right Right
for _ in $(seq 1 10); do xdotool key shift+Down; done
xdotool key Return
wait $command || fail "the keyboard-only capture failed: $(cat "$log")"
file=$(cat "$PWD/keyboard")
[ "$("$imagediff" --size "$file")" = "203x100" ] || fail "the keyboard-only capture is $("$imagediff" --size "$file"), not 203x100"
"$pim" quit
echo "windows and keyboard: ok"
