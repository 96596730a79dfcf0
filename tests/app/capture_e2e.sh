#!/usr/bin/env bash
# Pim as a person uses it, on a private X server (run through run-isolated.sh --x11):
#   capture_e2e.sh PATH_TO_PIM
# Starts Pim, presses Shift+Super+7 and drags a rectangle, then Shift+Super+8; checks the files, the
# clipboard, the history, the log lines and the preview; then opens a file with `pim edit` and captures
# with `pim full`, both carried out by the running instance.
set -euo pipefail
pim=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

desktop="$HOME/Desktop"
log="$PWD/pim.log"
"$pim" 2>"$log" &
pid=$!
trap 'kill $pid 2>/dev/null || true; wait $pid 2>/dev/null || true' EXIT

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
size=$(python3 -c "import struct,sys; d=open(sys.argv[1],'rb').read(24); print(*struct.unpack('>II', d[16:24]))" "$area")
[ "$size" = "400 250" ] || fail "area capture is $size, expected 400 250"

# The clipboard offers the PNG and the TIFF while Pim runs.
targets=$(xclip -selection clipboard -t TARGETS -o)
grep -qx 'image/png' <<<"$targets" || fail "no image/png on the clipboard: $targets"
grep -qx 'image/tiff' <<<"$targets" || fail "no image/tiff on the clipboard: $targets"
cmp -s <(xclip -selection clipboard -t image/png -o) "$area" || fail "the clipboard's PNG is not the file"

# The history holds it and the log line names it.
grep -q "$(basename "$area")" "$HOME/.local/share/Pim/history.json" 2>/dev/null ||
  grep -q "$(basename "$area")" "${XDG_DATA_HOME:-$HOME/.local/share}/Pim/history.json" ||
  fail "history.json does not list the capture"
grep -q "Pim: capture enregistrée → $area" "$log" || fail "no log line: $(cat "$log")"

# The preview shows, bottom-right.
preview=""
for w in $(xdotool search --onlyvisible --class pim); do
  eval "$(xdotool getwindowgeometry --shell "$w")"
  if [ "$X" -gt 1000 ] && [ "$Y" -gt 700 ] && [ "$WIDTH" -le 280 ]; then preview=$w; fi
done
[ -n "$preview" ] || fail "no preview window bottom-right"

# Full screen: the screen under the pointer.
xdotool key shift+super+8
for _ in $(seq 1 50); do [ "$(count)" -ge 2 ] && break; sleep 0.1; done
[ "$(count)" -eq 2 ] || fail "no file after the full-screen capture"
full=$(ls -t "$desktop"/*.png | head -n1)
size=$(python3 -c "import struct,sys; d=open(sys.argv[1],'rb').read(24); print(*struct.unpack('>II', d[16:24]))" "$full")
[ "$size" = "1920 1080" ] || fail "full-screen capture is $size"

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
[ "$(count)" -eq 3 ] || fail "pim full wrote no file"
"$pim" full --delay nonsense 2>/dev/null && fail "a bad delay was accepted"
[ $? -eq 2 ] || true
echo "capture end to end: ok"
