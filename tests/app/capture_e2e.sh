#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Pim as a person uses it, on a private X server (run through run-isolated.sh --x11):
#   capture_e2e.sh PATH_TO_PIM
# Starts Pim beside a tray host, presses Shift+Super+7 and drags a rectangle; checks the file, the
# clipboard, the history, the log line and the preview; clicks the preview, draws an arrow in the editor
# and saves; captures with Shift+Super+8; opens the history window and copies both captures from its grid;
# then opens a file with `pim edit` and captures with `pim full`, both carried out by the running instance;
# finds a capture by the words on it with `pim search`.
set -euo pipefail
pim=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

desktop="$HOME/Desktop"
log="$PWD/pim.log"
trayer --edge top --align right --widthtype pixel --width 100 --height 28 >/dev/null 2>&1 &
tray_host=$!
for _ in $(seq 1 100); do xdotool search --class trayer >/dev/null 2>&1 && break; sleep 0.05; done
# The text index reads at the normal priority here: the other suites running beside this one would
# otherwise keep its idle-class readings waiting.
PIM_TEXT_INDEX_PRIORITY=normal "$pim" 2>"$log" &
pid=$!
trap 'kill $pid $tray_host 2>/dev/null || true; wait 2>/dev/null || true' EXIT
history_file="${XDG_DATA_HOME:-$HOME/.local/share}/Pim/history.json"
png_size() { python3 -c "import struct,sys; d=open(sys.argv[1],'rb').read(24); print(*struct.unpack('>II', d[16:24]))" "$1"; }
newest() { ls -t "$desktop"/*.png | head -n1; }
# The window of ours with that title, once it shows.
window_named() {
  for _ in $(seq 1 50); do
    xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 && return 0
    sleep 0.1
  done
  return 1
}

# Ready once its hot keys are grabbed: wait for the process to settle.
for _ in $(seq 1 50); do
  sleep 0.1
  kill -0 $pid 2>/dev/null || fail "pim exited: $(cat "$log")"
  xdotool search --class pim >/dev/null 2>&1 && break
done
sleep 0.5

# The first launch shows the welcome window (480 wide) and records it.
welcome=""
for w in $(xdotool search --onlyvisible --class pim); do
  eval "$(xdotool getwindowgeometry --shell "$w")"
  [ "$WIDTH" -eq 480 ] && welcome=$w
done
[ -n "$welcome" ] || fail "no welcome window at the first launch"
grep -q "hasSeenWelcome=true" "${XDG_CONFIG_HOME:-$HOME/.config}/Pim/Pim.conf" || fail "hasSeenWelcome not stored"

count() { find "$desktop" -maxdepth 1 -name '*.png' 2>/dev/null | wc -l; }

# Area: the shortcut, a drag, the release.
xdotool key shift+super+7
sleep 0.6
xdotool mousemove 300 200 mousedown 1
sleep 0.1
xdotool mousemove 450 300
sleep 0.1
xdotool mousemove 700 450 mouseup 1
for _ in $(seq 1 50); do [ "$(count)" -ge 1 ] && break; sleep 0.1; done
[ "$(count)" -eq 1 ] || fail "no file after the area capture"
area=$(find "$desktop" -maxdepth 1 -name '*.png' | head -n1)
size=$(png_size "$area")
[ "$size" = "400 250" ] || fail "area capture is $size, expected 400 250"

# The clipboard offers the PNG and the TIFF while Pim runs.
targets=$(xclip -selection clipboard -t TARGETS -o)
grep -qx 'image/png' <<<"$targets" || fail "no image/png on the clipboard: $targets"
grep -qx 'image/tiff' <<<"$targets" || fail "no image/tiff on the clipboard: $targets"
cmp -s <(xclip -selection clipboard -t image/png -o) "$area" || fail "the clipboard's PNG is not the file"

# The history holds it and the log line names it.
grep -q "$(basename "$area")" "$history_file" || fail "history.json does not list the capture"
grep -q "^pim: capture enregistrée → $area$" "$log" || fail "no log line: $(cat "$log")"

# The preview shows, bottom-right.
preview=""
for w in $(xdotool search --onlyvisible --class pim); do
  eval "$(xdotool getwindowgeometry --shell "$w")"
  if [ "$X" -gt 1000 ] && [ "$Y" -gt 700 ] && [ "$WIDTH" -le 280 ]; then preview=$w; fi
done
[ -n "$preview" ] || fail "no preview window bottom-right"

# A click on the preview opens the capture in an editor; an arrow drawn across it and saved makes a new
# file of the same size with other pixels.
eval "$(xdotool getwindowgeometry --shell "$preview")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
editor=$(window_named "$(basename "$area" .png)") || fail "no editor window after clicking the preview"
sleep 0.3
eval "$(xdotool getwindowgeometry --shell "$editor")"
cx=$((X + WIDTH / 2)); cy=$((Y + 84 + (HEIGHT - 84) / 2))
xdotool mousemove $((cx - 80)) $((cy - 40)) mousedown 1
sleep 0.1
xdotool mousemove $((cx)) $((cy)) 
sleep 0.1
xdotool mousemove $((cx + 80)) $((cy + 40)) mouseup 1
sleep 0.2
xdotool key ctrl+s
for _ in $(seq 1 50); do [ "$(count)" -ge 2 ] && break; sleep 0.1; done
[ "$(count)" -eq 2 ] || fail "no file after saving the editor"
edited=$(newest)
[ "$(png_size "$edited")" = "400 250" ] || fail "the saved edit is $(png_size "$edited")"
cmp -s "$edited" "$area" && fail "the saved edit has no arrow"
xdotool key ctrl+w

# Full screen: the screen under the pointer.
xdotool key shift+super+8
for _ in $(seq 1 50); do [ "$(count)" -ge 3 ] && break; sleep 0.1; done
[ "$(count)" -eq 3 ] || fail "no file after the full-screen capture"
full=$(newest)
size=$(png_size "$full")
[ "$size" = "1920 1080" ] || fail "full-screen capture is $size"

# The history window shows every capture, newest first: "Copier l'image" on a cell of its grid puts that
# capture on the clipboard.
"$pim" history || fail "pim history failed"
history=$(window_named "Historique des captures") || fail "no history window"
sleep 0.5
copy_cell() { # column of the first row, 0-based
  eval "$(xdotool getwindowgeometry --shell "$history")"
  xdotool mousemove $((X + 12 + 100 + $1 * 212)) $((Y + 12 + 60)) click 3
  sleep 0.4
  xdotool key Down Down Return
  sleep 0.5
}
# (The loaded file encodes back to the same bytes.)
copy_cell 0
cmp -s <(xclip -selection clipboard -t image/png -o) "$full" || fail "the history's first cell is not the full-screen capture"
copy_cell 1
cmp -s <(xclip -selection clipboard -t image/png -o) "$edited" || fail "the history's second cell is not the edit"
copy_cell 2
cmp -s <(xclip -selection clipboard -t image/png -o) "$area" || fail "the history's third cell is not the area capture"

# pim edit: a missing file is an error; a capture opens in an editor titled with its name.
if "$pim" edit "$desktop/nothing-here.png" 2>err.txt; then fail "pim edit accepted a missing file"; fi
grep -q "Fichier introuvable" err.txt || fail "no clear error: $(cat err.txt)"
# The running instance opens it; the command returns once it has.
"$pim" edit "$area" || fail "pim edit of the capture failed"
for _ in $(seq 1 50); do
  xdotool search --onlyvisible --name "$(basename "$area")" >/dev/null 2>&1 && break
  sleep 0.1
done
xdotool search --onlyvisible --name "$(basename "$area")" >/dev/null || fail "no editor window"

# The command line: `pim full` through the running instance prints the new file's path.
printed=$("$pim" full)
[ -f "$printed" ] || fail "pim full printed '$printed'"
[ "$(count)" -eq 4 ] || fail "pim full wrote no file"

# The words in the captures: the welcome window was on the screen during the full-screen capture, and its
# text is recognised in the background; `pim search` prints the matching captures, newest first.
found=""
for _ in $(seq 1 240); do
  found=$("$pim" search partage ECRAN 2>/dev/null || true)
  grep -qxF "$full" <<<"$found" && break
  sleep 0.5
done
grep -qxF "$full" <<<"$found" || fail "pim search did not find the full-screen capture: '$found'"
if "$pim" search zzqqxx 2>err.txt; then fail "pim search found a word no capture shows"; fi
grep -q "aucune capture" err.txt || fail "no clear message when nothing matches: $(cat err.txt)"

# A delay no timer can take, sent raw to the socket: refused with an answer, and the instance goes on.
raw() {
  python3 - "${XDG_RUNTIME_DIR}/pim.socket" "$1" <<'PY'
import socket, sys
s = socket.socket(socket.AF_UNIX)
s.settimeout(10)
s.connect(sys.argv[1])
s.sendall(sys.argv[2].encode() + b'\n')
print(s.makefile().readline().strip())
PY
}
for delay in inf 1e10 -1 nan; do
  answer=$(raw "full"$'\t'"$delay")
  [[ "$answer" == error*"délai invalide"* ]] || fail "a raw delay $delay got '$answer'"
done
"$pim" edit 2>err.txt && fail "pim edit without a file was accepted"
grep -q "fichier manquant" err.txt || fail "pim edit without a file: $(cat err.txt)"
[ -f "$("$pim" full)" ] || fail "no capture after the raw requests"

"$pim" full --delay nonsense 2>/dev/null && fail "a bad delay was accepted"
[ $? -eq 2 ] || true
echo "capture end to end: ok"
