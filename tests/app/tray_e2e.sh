#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The tray item, on a private X server with a tray host (trayer), run through run-isolated.sh --x11:
#   tray_e2e.sh PATH_TO_PIM
# The icon appears; a click opens its menu; "Capturer l'écran complet" writes a file a moment later;
# "Quitter Pim" ends the program cleanly (in the sanitized build too), and so do `pim quit` and Ctrl+C
# (SIGINT) in the terminal that started it; `pim quit` with nothing running says so.
set -euo pipefail
pim=$1
fail() { echo "FAIL: $*" >&2; exit 1; }

trayer --edge top --align right --widthtype pixel --width 100 --height 28 >/dev/null 2>&1 &
tray_host=$!
# The tray host must be up before Pim looks for it.
for _ in $(seq 1 100); do xdotool search --class trayer >/dev/null 2>&1 && break; sleep 0.05; done
log="$PWD/pim.log"
"$pim" 2>"$log" &
pid=$!
trap 'kill $pid $tray_host 2>/dev/null || true; wait 2>/dev/null || true' EXIT

# The icon: a window of ours embedded in the tray host, at the top right.
icon=""
for _ in $(seq 1 100); do
  sleep 0.1
  kill -0 $pid 2>/dev/null || fail "pim exited: $(cat "$log")"
  for w in $(xdotool search --class pim 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    if [ "$WIDTH" -le 40 ] && [ "$Y" -lt 40 ] && [ "$X" -gt 1700 ]; then icon=$w; break 2; fi
  done
done
[ -n "$icon" ] || fail "no tray icon"
grep -q "zone de notification" "$log" && fail "said there is no tray with a tray host running"

count() { find "$HOME/Desktop" -maxdepth 1 -name '*.png' 2>/dev/null | wc -l; }

# The menu, then its second item with the keyboard.
eval "$(xdotool getwindowgeometry --shell "$icon")"
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
sleep 0.6
xdotool key Down Down Return
sleep 0.2
[ "$(count)" -eq 0 ] || fail "captured before the menu's delay"
for _ in $(seq 1 30); do [ "$(count)" -ge 1 ] && break; sleep 0.1; done
[ "$(count)" -eq 1 ] || fail "no capture from the menu"

# Quit from the menu: the last item.
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
sleep 0.6
xdotool key Up Return
for _ in $(seq 1 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
kill -0 $pid 2>/dev/null && fail "still running after Quitter Pim"
wait $pid || fail "pim ended with status $? after Quitter Pim: $(cat "$log")"

# `pim quit`, then SIGINT as Ctrl+C sends it: each ends Pim with status 0 and takes its socket away.
socket="$XDG_RUNTIME_DIR/pim.socket"
start_again() {
  "$pim" 2>"$log" &
  pid=$!
  for _ in $(seq 1 100); do [ -S "$socket" ] && break; sleep 0.1; done
  [ -S "$socket" ] || fail "pim did not start again: $(cat "$log")"
}
ended() { # ended HOW: Pim stopped within 5 s, with status 0 and no socket left
  for _ in $(seq 1 50); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  kill -0 $pid 2>/dev/null && fail "still running after $1"
  wait $pid || fail "pim ended with status $? after $1: $(cat "$log")"
  [ -e "$socket" ] && fail "the socket is left after $1"
  return 0
}
start_again
"$pim" quit || fail "pim quit failed"
ended "pim quit"
start_again
kill -INT $pid
ended "SIGINT"
"$pim" quit 2>quit.err && fail "pim quit succeeded with no Pim running"
grep -q "ne tourne pas" quit.err || fail "pim quit said: $(cat quit.err)"
[ -e "$socket" ] && fail "pim quit started Pim"
echo "tray: ok"
