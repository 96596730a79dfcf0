#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Pim on a real Wayland compositor: headless sway with two outputs (the second at scale 2), the real portal
# frontend in front of the test-double backend, whose screenshots are the compositor's own (grim).
#   sway_e2e.sh BUILD_DIR
# A sway keybinding fired with wtype runs `pim area`; the overlay must cover both outputs, a drag selects an
# area, and the saved file, the clipboard (read with wl-paste) and the compositor's pixels must agree; then
# the same on the scale-2 output, then the full-screen keybinding and the pipette. Headless sway has no input device: drags
# go through a virtual pointer (wlpointer). sway refuses to run as root: as root, everything runs as
# `nobody`. PIM_SWAY_FAILURE_SHOT names a file for a screenshot of the outputs when a step fails.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)

if [ "${2:-}" != "--inside" ]; then
  root=$(mktemp -d "${TMPDIR:-/tmp}/pim-sway.XXXXXX")
  chmod 755 "$root"
  cleanup() {
    pkill -u "$(stat -c %u "$root/runtime" 2>/dev/null || echo none)" -f "$root" 2>/dev/null || true
    rm -rf "$root"
  }
  trap cleanup EXIT
  mkdir -p "$root/runtime"
  chmod 700 "$root/runtime"
  if [ "$(id -u)" -eq 0 ]; then
    # `nobody` may not be able to reach the clone (root's home is 0700): what it runs is copied into the
    # test's own folder first, in the same layout.
    mkdir -p "$root/bin" "$root/build/src/libexec" "$root/build/tests/platform" "$root/build/tests/capture"
    cp "$here/sway_e2e.sh" "$here/portal_session.sh" "$root/bin/"
    cp "$build/src/pim" "$root/build/src/"
    cp "$build/src/libexec/pim" "$root/build/src/libexec/"
    for tool in portal_double imagediff wlpointer pw_screen; do cp "$build/tests/platform/$tool" "$root/build/tests/platform/"; done
    cp "$build/tests/capture/scroll_page" "$root/build/tests/capture/"
    chown -R nobody:nogroup "$root"
    setpriv --reuid=nobody --regid=nogroup --clear-groups \
      env -i PATH=/usr/bin:/bin PIM_ROOT="$root" PIM_SWAY_FAILURE_SHOT="${PIM_SWAY_FAILURE_SHOT:-}" \
      ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" bash "$root/bin/sway_e2e.sh" "$root/build" --inside
  else
    env -i PATH=/usr/bin:/bin PIM_ROOT="$root" PIM_SWAY_FAILURE_SHOT="${PIM_SWAY_FAILURE_SHOT:-}" \
      ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}" bash "$0" "$build" --inside
  fi
  exit $?
fi

# Inside: a private home, runtime folder and bus; sway first, then the portals, then the steps.
root=$PIM_ROOT
export HOME="$root/home" XDG_CONFIG_HOME="$root/config" XDG_DATA_HOME="$root/data" XDG_CACHE_HOME="$root/cache"
export XDG_RUNTIME_DIR="$root/runtime" TMPDIR="$root/tmp" OMP_THREAD_LIMIT=1
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$TMPDIR"

if [ "${3:-}" != "--steps" ]; then
  pim="$build/src/pim"
  cat >"$root/sway.conf" <<CONF
output HEADLESS-1 resolution 1280x720 position 0 0 scale 1
default_border none
bindsym Mod4+Shift+7 exec $pim area
bindsym Mod4+Shift+8 exec $pim full
for_window [title="^Page"] floating enable, move absolute position 1330 40
CONF
  WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 sway -c "$root/sway.conf" >"$root/sway.log" 2>&1 &
  sway_pid=$!
  trap 'kill $sway_pid 2>/dev/null || true' EXIT
  for _ in $(seq 1 100); do
    ls "$XDG_RUNTIME_DIR"/wayland-* >/dev/null 2>&1 && ls "$XDG_RUNTIME_DIR"/sway-ipc.* >/dev/null 2>&1 && break
    sleep 0.05
  done
  export WAYLAND_DISPLAY=$(basename "$(ls "$XDG_RUNTIME_DIR"/wayland-* | grep -v lock | head -n1)")
  export SWAYSOCK=$(ls "$XDG_RUNTIME_DIR"/sway-ipc.* | head -n1)
  export XDG_SESSION_TYPE=wayland
  swaymsg -q create_output
  swaymsg -q output HEADLESS-2 resolution 1280x720 position 1280 0 scale 2
  status=0
  # Screen casts need a session manager to link their streams.
  PIM_PIPEWIRE_LINKS=1 \
    bash "$here/portal_session.sh" "$build/tests/platform/portal_double" bash "$0" "$build" --inside --steps || status=$?
  if [ "$status" -ne 0 ]; then echo "== sway.log"; tail -n 20 "$root/sway.log"; fi >&2
  exit "$status"
fi

# The steps, on the private bus with the portals running.
diff_tool="$build/tests/platform/imagediff"
fail() {
  echo "sway_e2e: $*" >&2
  echo "== pim.log" >&2
  cat "$root/pim.log" >&2
  # What the screens showed, for whoever looks into it (PIM_SWAY_FAILURE_SHOT names the file).
  [ -n "${PIM_SWAY_FAILURE_SHOT:-}" ] && grim "$PIM_SWAY_FAILURE_SHOT" 2>/dev/null
  exit 1
}
control() {
  dbus-send --session --print-reply --dest=org.freedesktop.impl.portal.desktop.pimtest /control \
    "org.pim.test.PortalDouble.$1" "${@:2}" >/dev/null
}
saved_count() { grep -c 'capture enregistrée' "$root/pim.log" || true; }
last_saved() { grep 'capture enregistrée' "$root/pim.log" | tail -n1 | sed 's/.*→ //'; }
wait_for_saved() {
  local want=$1
  for _ in $(seq 1 200); do [ "$(saved_count)" -ge "$want" ] && return 0; sleep 0.05; done
  fail "no capture saved (wanted $want)"
}
# The number of outputs a fullscreen Pim window covers.
fullscreen_outputs() {
  swaymsg -t get_tree | python3 -c '
import json, sys
def walk(node, output, found):
    if node.get("type") == "output":
        output = node["name"]
    if node.get("fullscreen_mode") and node.get("pid") and node.get("visible"):
        found.add(output)
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        walk(child, output, found)
found = set()
walk(json.load(sys.stdin), None, found)
print(len(found))'
}
wait_for_overlays() {
  for _ in $(seq 1 200); do [ "$(fullscreen_outputs)" = 2 ] && return 0; sleep 0.05; done
  swaymsg -t get_tree >"$root/tree.json"
  fail "the overlay does not cover both outputs ($(fullscreen_outputs))"
}
# A left-button drag, in the layout's logical coordinates (1920 × 720): headless sway has no input device,
# so the pointer is a virtual one of ours.
drag() { "$build/tests/platform/wlpointer" 1920 720 drag "$@"; }
# "mean max" of the difference between two pictures of the same size; fails when the sizes differ.
compare() {
  local result
  result=$("$diff_tool" "$1" "$2")
  set -- $result
  [ "$1" = "$2" ] || fail "sizes differ: $result"
  echo "$3 $4"
}

QT_QPA_PLATFORM=wayland PIM_TEXT_INDEX_PRIORITY=normal "$build/src/libexec/pim" >"$root/pim.log" 2>&1 &
pim_pid=$!
for _ in $(seq 1 200); do [ -S "$XDG_RUNTIME_DIR/pim.socket" ] && break; sleep 0.05; done
[ -S "$XDG_RUNTIME_DIR/pim.socket" ] || fail "Pim does not listen"
control SetScreenshot uint32:0 string:grim string: int32:0
sleep 1 # the welcome window settles on the first output

# The area keybinding, then a drag between two points; `captured` is the new file, checked for its size.
area_capture() { # number-of-captures-after x1 y1 x2 y2 expected-size
  wtype -M logo -M shift 7 -m shift -m logo
  wait_for_overlays
  drag "$2" "$3" "$4" "$5"
  wait_for_saved "$1"
  captured=$(last_saved)
  local size
  size=$("$diff_tool" --size "$captured")
  [ "$size" = "$6" ] || fail "capture $1 is $size, not $6"
}

# 1. Area on the first output (scale 1), from a keybinding of the desktop's.
grim -s 1 -g "100,100 400x300" "$root/reference-1.png"
area_capture 1 100 100 500 400 400x300
first=$captured
read -r mean max <<<"$(compare "$first" "$root/reference-1.png")"
# The portal drew this output at scale 2 and Pim brought it back to 1: smoothing differs at edges only.
awk -v m="$mean" 'BEGIN { exit !(m < 2.0) }' || fail "first capture differs from the screen (mean $mean, max $max)"
echo "area on output 1: $first, mean difference $mean"

# The clipboard holds that PNG, as other Wayland programs read it.
types=$(wl-paste --list-types 2>/dev/null || true)
grep -qx 'image/png' <<<"$types" || fail "the clipboard offers no image/png (offers: $types)"
wl-paste --type image/png >"$root/clipboard.png"
cmp -s "$root/clipboard.png" "$first" || fail "the clipboard's PNG is not the saved file"
echo "clipboard: image/png, the saved file's bytes"

# 2. Area on the second output (scale 2): twice the pixels of the selection, the compositor's own.
grim -g "1330,50 200x100" "$root/reference-2.png"
area_capture 2 1330 50 1530 150 400x200
read -r mean max <<<"$(compare "$captured" "$root/reference-2.png")"
[ "$max" -le 2 ] || fail "second capture differs from the screen (mean $mean, max $max)"
echo "area on output 2 (scale 2): $captured, largest difference $max"

# 3. The full-screen keybinding.
wtype -M logo -M shift 8 -m shift -m logo
wait_for_saved 3
third=$(last_saved)
[ "$("$diff_tool" --size "$third")" = "1280x720" ] || fail "full capture is $("$diff_tool" --size "$third")"
echo "full screen: $third"

# 4. The pipette: the frozen portal picture under a loupe; a click copies the pixel's code.
expected=$(grim -s 1 -g "50,650 1x1" -t ppm - | tail -c 3 | od -An -tx1 | tr -d ' \n' | tr a-f A-F)
"$build/src/pim" pick-color >"$root/picked.txt" 2>&1 &
picker=$!
wait_for_overlays
drag 50 650 50 650
wait "$picker" || fail "pick-color failed: $(cat "$root/picked.txt")"
[ "$(cat "$root/picked.txt")" = "#$expected" ] || fail "picked $(cat "$root/picked.txt"), the screen shows #$expected"
[ "$(wl-paste --no-newline)" = "#$expected" ] || fail "the clipboard holds $(wl-paste --no-newline), not #$expected"
echo "pipette: #$expected"

# 5. A window on the second output (scale 2): sway's tree says where it is; a click over it takes it as
# the compositor drew it, at twice its size in points.
QT_QPA_PLATFORM=wayland "$build/tests/capture/scroll_page" "$root/page" 3000 300 120 >"$root/page.log" 2>&1 &
page_pid=$!
mkdir -p "$root/page"
floating_page() {
  swaymsg -t get_tree | python3 -c '
import json, sys
def walk(node):
    for child in node.get("nodes", []) + node.get("floating_nodes", []):
        walk(child)
    r = node.get("rect", {})
    if (node.get("name") or "").startswith("Page") and node.get("visible") and node.get("type") == "floating_con":
        print(r["x"], r["y"], r["width"], r["height"])
walk(json.load(sys.stdin))'
}
for _ in $(seq 1 200); do [[ "$(floating_page)" == "1330 40 "* ]] && [ -s "$root/page/area" ] && break; sleep 0.05; done
read -r wx wy ww wh <<<"$(floating_page)"
[ "$wx $wy" = "1330 40" ] || fail "the test window is not floating at 1330,40 on the second output ($(floating_page))"
grim -g "$wx,$wy ${ww}x$wh" "$root/reference-window.png"
"$build/src/pim" window >"$root/window.txt" 2>&1 &
window_client=$!
wait_for_overlays
drag $((wx + ww / 2)) $((wy + wh / 2)) $((wx + ww / 2)) $((wy + wh / 2))
wait "$window_client" || fail "pim window failed: $(cat "$root/window.txt")"
window_file=$(cat "$root/window.txt")
read -r mean max <<<"$(compare "$window_file" "$root/reference-window.png")"
[ "$max" -le 2 ] || fail "the window capture differs from the screen (mean $mean, max $max)"
echo "window: $window_file, $("$diff_tool" --size "$window_file") pixels for ${ww}x$wh points, largest difference $max"
kill "$page_pid" 2>/dev/null || true

# 6. A recording on Wayland: the area overlay, the ScreenCast portal, its PipeWire stream cut to the area,
# `pim stop`. The shared monitor is a PipeWire source of ours standing for the first output (Debian's
# wlroots backend cannot cast without a GPU), with a yellow square at 100,100.
"$build/tests/platform/pw_screen" 1280 720 >"$root/pw_screen.txt" 2>"$root/pw_screen.log" &
screen_pid=$!
for _ in $(seq 1 200); do [ -s "$root/pw_screen.txt" ] && break; sleep 0.05; done
node=$(head -n1 "$root/pw_screen.txt")
[ -n "$node" ] || fail "the test screen has no PipeWire node: $(cat "$root/pw_screen.log")"
control SetScreenCast "uint32:$node" int32:0 int32:0 int32:1280 int32:720 uint32:0
"$build/src/pim" record area --format mp4 >"$root/record.txt" 2>&1 &
recorder=$!
wait_for_overlays
drag 50 50 451 351
for _ in $(seq 1 400); do grep -q "enregistrement de" "$root/pim.log" && break; sleep 0.05; done
grep -q "enregistrement de" "$root/pim.log" || fail "the recording did not start: $(cat "$root/record.txt")"
video=$(grep "enregistrement de" "$root/pim.log" | tail -n1 | sed 's/^.*→ //')
for _ in $(seq 1 400); do [ "$(stat -c %s "$video" 2>/dev/null || echo 0)" -gt 2000 ] && break; sleep 0.05; done
"$build/src/pim" stop || fail "pim stop failed"
wait "$recorder" || fail "pim record failed: $(cat "$root/record.txt")"
kill "$screen_pid" 2>/dev/null || true
[ "$(cat "$root/record.txt")" = "$video" ] || fail "pim record printed $(cat "$root/record.txt")"
video_size=$(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$video")
# 401 × 301 points, made even for H.264.
[ "$video_size" = "402x302" ] || fail "the recording is $video_size, not 402x302"
pixel=$(ffmpeg -v error -i "$video" -vf "select=eq(n\,0),format=rgb24,crop=1:1:100:100" -frames:v 1 -f rawvideo -pix_fmt rgb24 - | od -An -tu1 | xargs)
read -r r g b <<<"$pixel"
[ "$r" -gt 200 ] && [ "$g" -gt 160 ] && [ "$b" -lt 80 ] || fail "the recording shows $pixel where the square is"
echo "recording: $video, $video_size, the square's $pixel"

kill "$pim_pid" 2>/dev/null || true
wait "$pim_pid" 2>/dev/null || true
echo "sway_e2e: passed"
