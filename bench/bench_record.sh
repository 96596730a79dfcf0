#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Screen recording on a private 1920 × 1080 Xvfb whose whole screen is repainted sixty times a second,
# against FFmpeg's own X11 grabber with the same codec and settings, both for SECONDS (10 by default) at
# 30 images a second to MP4. Prints "name value unit" lines: processor time per second recorded, frames
# written and frames late (Pim) or dropped (FFmpeg), and the file's size.
#   bench/bench_record.sh PATH_TO_PIM PATH_TO_ANIMATION [SECONDS]
set -euo pipefail
pim=$(realpath "$1")
animation=$(realpath "$2")
seconds=${3:-10}

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
printf '[General]\nhasSeenWelcome=true\nframesPerSecond=30\nrecordPointer=true\n' >"$XDG_CONFIG_HOME/Pim/Pim.conf"

# Processor time of a process so far, in seconds (user and system).
cpu() { awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) / hz }' "/proc/$1/stat"; }

"$animation" &
for _ in $(seq 1 200); do xdotool search --onlyvisible --name '^Animation$' >/dev/null 2>&1 && break; sleep 0.05; done

log="$root/pim.log"
"$pim" 2>"$log" &
instance=$!
for _ in $(seq 1 200); do [ -S "$XDG_RUNTIME_DIR/pim.socket" ] && break; sleep 0.05; done
before=$(cpu "$instance")
file=$("$pim" record full --format mp4 --duration "$seconds")
after=$(cpu "$instance")
line=$(grep "enregistrement terminé" "$log" | tail -n1)
frames=$(sed -n 's/.*, \([0-9]*\) images, \([0-9]*\) en retard sur \([0-9]*\)).*/\1/p' <<<"$line")
late=$(sed -n 's/.*, \([0-9]*\) images, \([0-9]*\) en retard sur \([0-9]*\)).*/\2/p' <<<"$line")
ticks=$(sed -n 's/.*, \([0-9]*\) images, \([0-9]*\) en retard sur \([0-9]*\)).*/\3/p' <<<"$line")
echo "pim_cpu_per_second $(awk -v a="$before" -v b="$after" -v s="$seconds" 'BEGIN { printf "%.3f", (b - a) / s }') s"
echo "pim_frames $frames frames"
echo "pim_late $late of $ticks ticks"
echo "pim_size $(($(stat -c %s "$file") / 1024)) KiB"
kill "$instance"
wait "$instance" 2>/dev/null || true

# FFmpeg's grabber, H.264 in the same real-time settings.
out="$root/ffmpeg.mp4"
/usr/bin/time -f "%U %S" -o "$root/ffmpeg.time" ffmpeg -v error -nostdin -stats_period 1 -progress "$root/progress" \
  -f x11grab -draw_mouse 1 -framerate 30 -video_size 1920x1080 -i "$DISPLAY" -t "$seconds" \
  -c:v libx264 -preset veryfast -tune zerolatency -crf 23 -g 30 -pix_fmt yuv420p "$out"
read -r user system <"$root/ffmpeg.time"
echo "ffmpeg_cpu_per_second $(awk -v u="$user" -v s="$system" -v d="$seconds" 'BEGIN { printf "%.3f", (u + s) / d }') s"
echo "ffmpeg_frames $(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$out") frames"
echo "ffmpeg_dropped $(grep '^drop_frames=' "$root/progress" | tail -n1 | cut -d= -f2) frames"
echo "ffmpeg_size $(($(stat -c %s "$out") / 1024)) KiB"
