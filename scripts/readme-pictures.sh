#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the README's pictures from a real run: Pim on a private Xvfb with a window manager and a tray
# host, a few captures taken with its own commands, one annotated in the editor, then the editor and the
# history window photographed with scrot. Nothing of the user's is touched (private HOME and display).
#   bash scripts/readme-pictures.sh [PATH_TO_PIM] [SCALE]
# PATH_TO_PIM defaults to build-run/src/pim; SCALE 2 runs a display twice as dense (QT_SCALE_FACTOR=2).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
pim=$(realpath "${1:-$root/build-run/src/pim}")
scale=${2:-1}
out="$root/docs/pictures"
for tool in Xvfb openbox trayer xdotool scrot xwininfo xsetroot; do
  command -v "$tool" >/dev/null || { echo "readme-pictures: needs $tool" >&2; exit 2; }
done
fail() { echo "readme-pictures: $*" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/pim-pictures.XXXXXX")
export HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/home/.config"
export XDG_DATA_HOME="$work/home/.local/share" XDG_CACHE_HOME="$work/home/.cache"
export DBUS_SESSION_BUS_ADDRESS=disabled: QT_QPA_PLATFORM=xcb PIM_TEXT_INDEX_PRIORITY=normal
unset WAYLAND_DISPLAY
mkdir -p "$HOME/Desktop" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/Pim" && chmod 700 "$XDG_RUNTIME_DIR"
# The welcome window has been seen: the pictures show the editor and the history, not a first start.
printf '[General]\nhasSeenWelcome=true\n' >"$XDG_CONFIG_HOME/Pim/Pim.conf"
width=$((1600 * scale)) height=$((1000 * scale))
[ "$scale" -ne 1 ] && export QT_SCALE_FACTOR=$scale
display=:$((200 + RANDOM % 500))
Xvfb "$display" -screen 0 "${width}x${height}x24" -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
pids=($!)
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.05; done
export DISPLAY=$display
xsetroot -solid '#3b4a5a'
openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break; sleep 0.05; done
trayer --edge top --align right --widthtype pixel --width $((100 * scale)) --height $((28 * scale)) >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do xdotool search --class trayer >/dev/null 2>&1 && break; sleep 0.05; done
"$pim" 2>"$work/pim.log" &
pids+=($!)
for _ in $(seq 1 100); do [ -S "$XDG_RUNTIME_DIR/pim.socket" ] && break; sleep 0.1; done
[ -S "$XDG_RUNTIME_DIR/pim.socket" ] || fail "Pim did not start: $(cat "$work/pim.log")"

# A window of ours whose title is the given one, once it shows (10 s at most).
window_titled() {
  local w
  for _ in $(seq 1 100); do
    w=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) && [ -n "$w" ] && { echo "$w"; return 0; }
    sleep 0.1
  done
  fail "no window \"$1\""
}
# X Y WIDTH HEIGHT of a window with its frame, as it is on the screen.
framed_geometry() {
  local frame=$1 parent
  # Up the tree to the window manager's frame, the child of the root.
  while parent=$(xwininfo -tree -id "$frame" | awk '/Parent window id:/ {print $4}') &&
    [ "$parent" != "$(xwininfo -root | awk '/Window id:/ {print $4}')" ]; do
    frame=$parent
  done
  xwininfo -id "$frame" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
    /^ *Width:/ {w=$2} /^ *Height:/ {h=$2} END {print x, y, w, h}'
}
photograph() { # photograph WINDOW FILE: the window and its frame, alone
  local x y w h
  read -r x y w h < <(framed_geometry "$1")
  scrot -o -a "$x,$y,$w,$h" "$2"
}
s() { echo $(($1 * scale)); } # a length in the display's pixels
drag() { # drag X1 Y1 X2 Y2, in pixels
  xdotool mousemove "$1" "$2" mousedown 1
  sleep 0.1
  for step in 1 2 3 4; do
    xdotool mousemove $(($1 + ($3 - $1) * step / 4)) $(($2 + ($4 - $2) * step / 4))
    sleep 0.05
  done
  xdotool mouseup 1
  sleep 0.2
}

# Something to capture: the preferences window, then the About box, each captured twice over.
"$pim" preferences
preferences=$(window_titled "Préférences de Pim")
sleep 0.5
read -r px py pw ph < <(framed_geometry "$preferences")
first=$("$pim" full)
"$pim" area >"$work/area" &
# The overlay is up when a window covers the whole screen.
for _ in $(seq 1 100); do
  xdotool search --onlyvisible --class pim 2>/dev/null | while read -r w; do
    xwininfo -id "$w" | grep -q "^  Width: $width\$"  && echo up
  done | grep -q up && break
  sleep 0.1
done
sleep 0.3
drag $((px - $(s 60))) $((py - $(s 60))) $((px + pw + $(s 60))) $((py + ph + $(s 60)))
wait $!
second=$(cat "$work/area")
[ -s "$first" ] && [ -s "$second" ] || fail "no captures: $(cat "$work/pim.log")"
xdotool windowactivate --sync "$preferences" key Escape 2>/dev/null || true
sleep 0.5

# The editor, with a rectangle, an arrow, two numbered badges and a text on the area capture, saved (the
# marked-up copy joins the history too).
"$pim" edit "$second"
editor=$(window_titled "$(basename "$second")")
xdotool windowsize --sync "$editor" "$(s 1000)" "$(s 640)" 2>/dev/null || true
xdotool windowactivate --sync "$editor" 2>/dev/null || true
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$editor")"
# The picture is at 100 %, centred in the canvas under the two bars.
cx=$((X + WIDTH / 2)) cy=$((Y + $(s 50) + (HEIGHT - $(s 50)) / 2))
at() { echo $((cx + $(s "$1"))) $((cy + $(s "$2"))); } # a point of the picture, from its centre
xdotool key r
drag $(at -105 -138) $(at 45 -66)
xdotool key a
drag $(at 265 140) $(at 185 64)
xdotool key n
xdotool mousemove $(at -105 -138) click 1
sleep 0.2
xdotool mousemove $(at 272 147) click 1
sleep 0.2
xdotool key t
xdotool mousemove $(at -240 200) click 1
sleep 0.3
xdotool type --delay 30 "Les deux raccourcis, puis le nom des fichiers"
xdotool key Return
sleep 0.3
xdotool key v
xdotool mousemove $((X + WIDTH - $(s 5))) $((Y + HEIGHT - $(s 5)))
mkdir -p "$out"
suffix=""
[ "$scale" -ne 1 ] && suffix="@$scale"
photograph "$editor" "$out/editor$suffix.png"
xdotool key ctrl+s
sleep 1

# The history window, with the captures of this run.
"$pim" history
history=$(window_titled "Historique des captures")
xdotool windowactivate --sync "$history" 2>/dev/null || true
sleep 1.5
photograph "$history" "$out/history$suffix.png"
"$pim" quit
echo "readme-pictures: $out/editor$suffix.png $out/history$suffix.png"
