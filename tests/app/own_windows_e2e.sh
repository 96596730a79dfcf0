#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A capture shows the screen, never Pim's own windows that the request closed, run through
# run-isolated.sh --x11:
#   own_windows_e2e.sh PATH_TO_PIM PATH_TO_IMAGEDIFF
# Beside a tray host: the welcome window's "Capturer une zone", the tray menu's "Capturer une zone", and
# two `pim full` a second apart while the history window lies under the first one's preview. Each capture
# is compared pixel for pixel with scrot's picture of the same rectangle taken once everything has
# settled. Then the full-screen shortcut during a selection, which still captures.
set -euo pipefail
pim=$1
imagediff=$2
fail() { echo "FAIL: $*" >&2; exit 1; }

desktop="$HOME/Desktop"
log="$PWD/pim.log"
# A window manager, as on a desktop: it frames the welcome and history windows, and a frame leaves the
# screen only when the window manager takes it away, after the window itself.
openbox --sm-disable >/dev/null 2>&1 &
wm=$!
for _ in $(seq 1 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.05; done
trayer --edge top --align right --widthtype pixel --width 100 --height 28 >/dev/null 2>&1 &
tray_host=$!
for _ in $(seq 1 100); do xdotool search --class trayer >/dev/null 2>&1 && break; sleep 0.05; done
"$pim" 2>"$log" &
pid=$!
trap 'kill $pid $tray_host $wm 2>/dev/null || true; wait 2>/dev/null || true' EXIT

count() { find "$desktop" -maxdepth 1 -name '*.png' 2>/dev/null | wc -l; }
newest() { ls -t "$desktop"/*.png | head -n1; }
wait_for_count() {
  for _ in $(seq 1 100); do [ "$(count)" -ge "$1" ] && return 0; sleep 0.1; done
  fail "no file number $1: $(cat "$log")"
}
# A window's place on the screen in X, Y, WIDTH, HEIGHT (xdotool's is off by the frame under a window
# manager; xwininfo's absolute corner is not).
geometry() {
  local info
  info=$(xwininfo -id "$1" 2>/dev/null) || return 1
  X=$(awk '/Absolute upper-left X/ {print $4}' <<<"$info")
  Y=$(awk '/Absolute upper-left Y/ {print $4}' <<<"$info")
  WIDTH=$(awk '/^ *Width:/ {print $2}' <<<"$info")
  HEIGHT=$(awk '/^ *Height:/ {print $2}' <<<"$info")
}
# A visible window of ours whose geometry meets the condition, now.
window_now() {
  for w in $(xdotool search --onlyvisible --class pim 2>/dev/null); do
    geometry "$w" || continue
    if eval "$1"; then echo "$w"; return 0; fi
  done
  return 1
}
# The same, once it shows (10 s at most).
find_window() {
  for _ in $(seq 1 100); do
    window_now "$1" && return 0
    sleep 0.1
  done
  return 1
}
# The overlays are up: a window of ours covers the whole screen.
wait_for_overlay() {
  find_window '[ "$WIDTH" -eq 1920 ] && [ "$HEIGHT" -eq 1080 ]' >/dev/null || fail "no overlay"
  sleep 0.2
}
drag() { # x1 y1 x2 y2
  xdotool mousemove "$1" "$2" mousedown 1
  sleep 0.1
  xdotool mousemove $((($1 + $3) / 2)) $((($2 + $4) / 2))
  sleep 0.1
  xdotool mousemove "$3" "$4" mouseup 1
}
# No window of ours covers the screen any more (overlays, pipette).
wait_for_no_overlay() {
  for _ in $(seq 1 100); do
    window_now '[ "$WIDTH" -eq 1920 ] && [ "$HEIGHT" -eq 1080 ]' >/dev/null || return 0
    sleep 0.1
  done
  fail "a window of Pim's still covers the screen"
}
# The file against scrot's picture of the same rectangle of the screen once it has settled (no overlay,
# two pictures in a row alike): not one pixel apart.
same_as_screen() { # file x y w h [region of the file to compare: x y w h]
  local file=$1 reference="$PWD/reference.png" previous="$PWD/previous.png"
  wait_for_no_overlay
  scrot -o -a "$2,$3,$4,$5" "$previous"
  for _ in $(seq 1 50); do
    sleep 0.1
    scrot -o -a "$2,$3,$4,$5" "$reference"
    cmp -s "$previous" "$reference" && break
    cp "$reference" "$previous"
  done
  local result
  result=$("$imagediff" "$file" "$reference" "${@:6}")
  read -r _ _ mean largest <<<"$result"
  [ "${largest:-x}" = 0 ] || fail "$(basename "$file") is not the screen ($result): it shows a window of Pim's"
}

# 1. The first launch shows the welcome window; its button closes it and starts an area selection,
#    dragged over where the window was.
welcome=$(find_window '[ "$WIDTH" -eq 480 ]') || fail "no welcome window"
geometry "$welcome"
wx=$X; wy=$Y; ww=$WIDTH; wh=$HEIGHT
xdotool mousemove $((wx + ww - 60)) $((wy + wh - 37)) click 1
wait_for_overlay
drag $((wx - 20)) $((wy - 20)) $((wx + ww + 20)) $((wy + wh + 20))
wait_for_count 1
same_as_screen "$(newest)" $((wx - 20)) $((wy - 20)) $((ww + 40)) $((wh + 40))

# 2. The tray menu's first item: the menu closes, the selection starts; dragged over where the menu was
#    (below the icon, at the top right), to the screen's last column.
icon=$(find_window '[ "$WIDTH" -le 40 ] && [ "$Y" -lt 40 ] && [ "$X" -gt 1700 ]') || fail "no tray icon"
geometry "$icon"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
find_window '[ "$WIDTH" -gt 200 ] && [ "$Y" -lt 60 ] && [ "$HEIGHT" -gt 150 ]' >/dev/null || fail "no tray menu"
xdotool key Down Return
wait_for_overlay
drag 1400 0 1919 500
wait_for_count 2
same_as_screen "$(newest)" 1400 0 520 500

# 2b. The tray menu's pipette: its frozen picture is taken once the menu has gone, so a click where the
#     menu was picks the screen's own colour there.
pixel_code() { # x y: the screen's colour there now, as scrot sees it
  scrot -o -a "$1,$2,1,1" "$PWD/pixel.png"
  python3 - "$PWD/pixel.png" <<'PY'
import struct, sys, zlib
data = open(sys.argv[1], 'rb').read()
pos, idat, colour = 8, b'', 2
while pos < len(data):
    length, kind = struct.unpack('>I4s', data[pos:pos + 8])
    body = data[pos + 8:pos + 8 + length]
    if kind == b'IHDR':
        colour = body[9]
    elif kind == b'IDAT':
        idat += body
    pos += 12 + length
row = zlib.decompress(idat)
print('#%02X%02X%02X' % tuple(row[1:4]))
PY
}
geometry "$icon"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
find_window '[ "$WIDTH" -gt 200 ] && [ "$Y" -lt 60 ] && [ "$HEIGHT" -gt 150 ]' >/dev/null || fail "no tray menu"
# The pipette follows the four captures and the two recordings.
xdotool key Down Down Down Down Down Down Down Return
wait_for_overlay
xdotool mousemove 1750 30 click 1
picked=""
for _ in $(seq 1 50); do
  picked=$(xclip -selection clipboard -o 2>/dev/null || true)
  [[ "$picked" == \#* ]] && break
  sleep 0.1
done
wait_for_no_overlay
expected=$(pixel_code 1750 30)
[ "$picked" = "$expected" ] || fail "the pipette picked $picked where the screen shows $expected: the tray menu"

# 3. The history window under the preview: the second `pim full` closes the first one's preview, and the
#    history window it uncovered is in the picture as it is.
"$pim" history || fail "pim history failed"
history=$(find_window '[ "$WIDTH" -eq 680 ] && [ "$HEIGHT" -eq 480 ]') || fail "no history window"
xdotool windowmove "$history" 1230 590
xdotool mousemove 10 10
"$pim" full >/dev/null || fail "pim full failed"
preview=$(find_window '[ "$X" -gt 1300 ] && [ "$Y" -gt 700 ] && [ "$WIDTH" -le 300 ]') || fail "no preview"
geometry "$preview"
px=$X; py=$Y; pw=$WIDTH; ph=$HEIGHT
# With the first preview on the screen over the history window, the second capture.
second=$("$pim" full) || fail "the second pim full failed"
# Once the second capture's preview has gone too, the screen there is the history window alone (its grid
# grows by a cell at the left, away from the preview's place). The command answers once the file is
# saved, which may be before that preview shows: it is waited for first, then for its going.
find_window '[ "$X" -gt 1300 ] && [ "$Y" -gt 700 ] && [ "$WIDTH" -le 300 ]' >/dev/null ||
  fail "no preview for the second capture"
for _ in $(seq 1 150); do
  window_now '[ "$X" -gt 1300 ] && [ "$Y" -gt 700 ] && [ "$WIDTH" -le 300 ]' >/dev/null || break
  sleep 0.1
done
same_as_screen "$second" 0 0 1920 1080 "$px" "$py" "$pw" "$ph"

# 4. The full-screen shortcut while a selection is on screen: a capture of the whole screen, and the
#    selection is still there for Escape.
before=$(count)
xdotool key shift+super+7
wait_for_overlay
xdotool key shift+super+8
wait_for_count $((before + 1))
size=$("$imagediff" --size "$(newest)")
[ "$size" = "1920x1080" ] || fail "the full-screen capture during a selection is $size"
find_window '[ "$WIDTH" -eq 1920 ] && [ "$HEIGHT" -eq 1080 ]' >/dev/null || fail "the selection went"
xdotool key Escape
wait_for_no_overlay # the selection has ended…
[ "$(count)" -eq $((before + 1)) ] || fail "Escape after the full-screen capture saved something"
echo "own windows end to end: ok"
