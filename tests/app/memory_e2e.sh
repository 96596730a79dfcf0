#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Memory after a burst of captures is given back, on a 4K private X server (run through
# run-isolated.sh --x11 with PIM_XVFB_SCREEN=3840x2160x24):
#   memory_e2e.sh PATH_TO_PIM
# Eight `pim full` in a row; within 20 s (the last preview goes after 6 s, the screen reader lets its
# buffers go after 2 s here instead of a minute) the instance holds no more than 16 MB over what it held
# before the first capture (a 4K picture is 32 MB).
set -euo pipefail
pim=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
log="$PWD/pim.log"
mkdir -p "${XDG_CONFIG_HOME:-$HOME/.config}/Pim"
printf '[General]\nhasSeenWelcome=true\n' >"${XDG_CONFIG_HOME:-$HOME/.config}/Pim/Pim.conf"
PIM_CAPTURE_BUFFERS_MS=2000 "$pim" 2>"$log" &
instance=$! # the command becomes the instance (exec)
trap 'kill $(jobs -p) 2>/dev/null || true; wait 2>/dev/null || true' EXIT
socket="$XDG_RUNTIME_DIR/pim.socket"
for _ in $(seq 1 100); do [ -S "$socket" ] && break; sleep 0.1; done
[ -S "$socket" ] || fail "no instance: $(cat "$log")"
rss() { awk '/^VmRSS/ {print $2}' "/proc/$instance/status"; }
# Settled after start: the same figure five times in a row.
before=$(rss)
steady=0
for _ in $(seq 1 100); do
  sleep 0.1
  now=$(rss)
  if [ "$now" = "$before" ]; then steady=$((steady + 1)); else steady=0; before=$now; fi
  [ "$steady" -ge 5 ] && break
done
for _ in $(seq 1 8); do
  [ -f "$("$pim" full)" ] || fail "a capture failed: $(cat "$log")"
done
during=$(rss)
# The positive control: the burst does hold its pictures while it lasts.
[ $((during - before)) -gt 16384 ] || fail "the burst held only $(( (during - before) / 1024 )) MB: nothing to measure"
# The last preview goes after 6 s, the buffers 2 s after the last capture: wait for the memory to go.
after=$during
for _ in $(seq 1 200); do
  after=$(rss)
  [ $((after - before)) -lt 16384 ] && break
  sleep 0.1
done
echo "RSS before $before kB, after the burst $during kB, once it is over $after kB"
[ $((after - before)) -lt 16384 ] || fail "the instance keeps $(( (after - before) / 1024 )) MB after the captures"
echo "memory: ok"
