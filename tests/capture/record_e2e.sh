#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Screen recordings under a private X server (run through run-isolated.sh --x11), read back with FFmpeg's
# own tools, as a player would:
#   record_e2e.sh PATH_TO_PIM
# The whole screen for a set time; an area to GIF with its frame outside it, a second request refused,
# `pim stop`; the pointer alone moving makes frames; Pim killed mid-recording leaves a file that plays;
# Pim quit mid-recording finishes the file and lists it.
set -euo pipefail
pim=$1
fail() { echo "FAIL: $*" >&2; echo "== pim.log" >&2; cat "$log" >&2; exit 1; }
log="$PWD/pim.log"
mkdir -p "${XDG_CONFIG_HOME:-$HOME/.config}/Pim"
printf '[General]\nhasSeenWelcome=true\n' >"${XDG_CONFIG_HOME:-$HOME/.config}/Pim/Pim.conf"
start_pim() {
  rm -f "${XDG_RUNTIME_DIR}/pim.socket" # left by an instance killed before: not an answer
  "$pim" 2>>"$log" &
  instance=$!
  for _ in $(seq 1 200); do [ -S "${XDG_RUNTIME_DIR}/pim.socket" ] && break; sleep 0.05; done
  [ -S "${XDG_RUNTIME_DIR}/pim.socket" ] || fail "no instance"
}
start_pim
trap 'kill $instance 2>/dev/null || true; wait 2>/dev/null || true' EXIT
read -r screen_w screen_h < <(xdpyinfo | sed -n 's/.*dimensions: *\([0-9]*\)x\([0-9]*\) pixels.*/\1 \2/p')

duration() { ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$1"; }
size() { ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$1"; }
frames() { ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"; }
# The colour of a pixel of frame N, as "R G B".
pixel() { # FILE N X Y
  ffmpeg -v error -i "$1" -vf "select=eq(n\,$2),format=rgb24,crop=1:1:$3:$4" -frames:v 1 -f rawvideo -pix_fmt rgb24 - |
    od -An -tu1 | xargs
}
near() { # "R G B" "R G B": within 40 per channel (the codecs' rounding)
  local a=($1) b=($2) i
  for i in 0 1 2; do
    local d=$((a[i] - b[i]))
    [ "${d#-}" -le 40 ] || return 1
  done
}
recording_started() { # COUNT: waits until COUNT recordings have started
  for _ in $(seq 1 200); do
    [ "$(grep -c "enregistrement de" "$log" || true)" -ge "$1" ] && return 0
    sleep 0.05
  done
  fail "recording $1 did not start"
}
# Waits for the area overlay over the whole screen, then drags from X1,Y1 to X2,Y2.
drag() {
  for _ in $(seq 1 200); do
    for w in $(xdotool search --onlyvisible --name '^Pim$' 2>/dev/null); do
      # A window may go between the search and the question (the last recording's preview): no stale size.
      WIDTH=0
      eval "$(xdotool getwindowgeometry --shell "$w" 2>/dev/null)" || continue
      [ "$WIDTH" -ge 1000 ] && break 2
    done
    sleep 0.05
  done
  xdotool mousemove "$1" "$2" mousedown 1 mousemove $(($1 + 50)) $(($2 + 50)) mousemove "$3" "$4" mouseup 1
}

# 1. The whole screen, MP4, for 1.5 s while the background changes: the length, the size, the colours.
xsetroot -solid '#2060c0'
"$pim" record full --duration 1.5 --format mp4 >full.txt 2>&1 &
client=$!
recording_started 1
xsetroot -solid '#e0a020'
wait "$client" || fail "record full: $(cat full.txt)"
file=$(cat full.txt)
[ -s "$file" ] || fail "no file: $file"
[[ "$file" == *.mp4 ]] || fail "not an MP4: $file"
[ "$(size "$file")" = "${screen_w}x${screen_h}" ] || fail "the video is $(size "$file"), the screen ${screen_w}x${screen_h}"
awk -v d="$(duration "$file")" 'BEGIN { exit !(d >= 1.4 && d <= 1.7) }' || fail "it lasts $(duration "$file") s, not 1.5"
near "$(pixel "$file" 0 10 10)" "32 96 192" || fail "the first frame is $(pixel "$file" 0 10 10), not the blue background"
last=$(($(frames "$file") - 1))
near "$(pixel "$file" "$last" 10 10)" "224 160 32" || fail "the last frame is $(pixel "$file" "$last" 10 10), not the orange background"
echo "full screen: $file, $(duration "$file") s, $(frames "$file") frames"

# 2. An area, GIF: odd sides kept, a red frame just outside it (never in the picture), a second request
# refused while it runs, `pim stop` ends it.
xsetroot -solid '#2060c0'
"$pim" record area --format gif >area.txt 2>&1 &
client=$!
drag 200 150 501 351
recording_started 2
frame_windows=$(xwininfo -root -tree | grep -c '"Pim — enregistrement"' || true)
[ "$frame_windows" = 4 ] || fail "the frame has $frame_windows sides"
# The frame's sides, two pixels wide, just outside the area (200,150 301x201).
sides=$(xwininfo -root -tree | grep '"Pim — enregistrement"' |
  sed -n 's/.* \([0-9]*\)x\([0-9]*\)+\([0-9-]*\)+\([0-9-]*\) .*/\3,\4 \1x\2/p' | sort | xargs)
[ "$sides" = "198,148 305x2 198,150 2x201 198,351 305x2 501,150 2x201" ] || fail "the frame's sides are $sides"
if "$pim" record full >second.txt 2>&1; then fail "a second recording started"; fi
grep -q "déjà en cours" second.txt || fail "the second request said: $(cat second.txt)"
# Half a second of changes, the last one green.
for i in $(seq 1 10); do xsetroot -solid "#$(printf '%02x' $((i * 20)))6080"; sleep 0.05; done
xsetroot -solid '#20a040'
"$pim" stop || fail "pim stop failed"
wait "$client" || fail "record area: $(cat area.txt)"
file=$(cat area.txt)
[[ "$file" == *.gif ]] || fail "not a GIF: $file"
[ "$(size "$file")" = "301x201" ] || fail "the GIF is $(size "$file"), not 301x201"
[ -z "$(ls "$(dirname "$file")"/.*.spool 2>/dev/null)" ] || fail "the spool is left behind"
near "$(pixel "$file" 0 0 0)" "32 96 192" || fail "the GIF's corner is $(pixel "$file" 0 0 0): the frame is in the picture?"
last=$(($(frames "$file") - 1))
near "$(pixel "$file" "$last" 150 100)" "32 160 64" || fail "the GIF's last frame is $(pixel "$file" "$last" 150 100), not green"
[ "$(frames "$file")" -ge 6 ] || fail "the GIF has $(frames "$file") frames for eleven changes"
awk -v d="$(duration "$file")" 'BEGIN { exit !(d >= 0.45) }' || fail "the GIF lasts $(duration "$file") s"
[ "$(xwininfo -root -tree | grep -c '"Pim — enregistrement"' || true)" = 0 ] || fail "the frame stayed"
if "$pim" stop 2>stop.txt; then fail "pim stop with nothing to stop succeeded"; fi
echo "area: $file, $(frames "$file") frames, $(duration "$file") s"

# 3. A still screen where only the pointer moves: the pointer is drawn in, so its moves are frames.
"$pim" record area --format webm >pointer.txt 2>&1 &
client=$!
drag 100 100 400 300
recording_started 3
for x in $(seq 150 10 350); do xdotool mousemove "$x" 200; sleep 0.05; done
"$pim" stop
wait "$client" || fail "record pointer: $(cat pointer.txt)"
file=$(cat pointer.txt)
count=$(frames "$file")
[ "$count" -ge 8 ] || fail "the pointer's moves gave $count frames"
echo "pointer: $file, $count frames"

# 4. Pim killed mid-recording: the MP4 so far plays, up to about its last second.
"$pim" record full --format mp4 >killed.txt 2>&1 &
client=$!
recording_started 4
file=$(grep "enregistrement de" "$log" | tail -n1 | sed 's/^.*→ //')
for i in $(seq 1 60); do xsetroot -solid "#$(printf '%02x' $((i * 4)))4080"; sleep 0.05; done
kill -9 "$instance"
wait "$client" 2>/dev/null || true
played=$(duration "$file" 2>/dev/null || echo 0)
count=$(frames "$file" 2>/dev/null || echo 0)
[ "${count:-0}" -ge 5 ] || fail "the killed recording has $count frames"
echo "killed mid-recording: $file still plays, $count frames"

# 5. Pim quit mid-recording: the file is finished and listed in the history.
start_pim
"$pim" record full --format webm >quit.txt 2>&1 &
client=$!
recording_started 5
file=$(grep "enregistrement de" "$log" | tail -n1 | sed 's/^.*→ //')
for i in $(seq 1 20); do xsetroot -solid "#$(printf '%02x' $((i * 10)))4080"; sleep 0.05; done
"$pim" quit || fail "pim quit failed"
wait "$instance" || fail "Pim quit with a failure"
wait "$client" 2>/dev/null || true
grep -q "enregistrement terminé → $file" "$log" || fail "quitting did not finish the recording"
awk -v d="$(duration "$file")" 'BEGIN { exit !(d >= 0.9) }' || fail "the recording ended by quitting lasts $(duration "$file") s"
grep -qF "$(basename "$file")" "${XDG_DATA_HOME:-$HOME/.local/share}/Pim/history.json" ||
  fail "the recording ended by quitting is not in the history"
echo "quit mid-recording: $file, $(duration "$file") s, in the history"
echo "record_e2e: passed"
