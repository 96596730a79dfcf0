#!/usr/bin/env bash
# The tray item, on a private X server with a tray host (trayer), run through run-isolated.sh --x11:
#   tray_e2e.sh PATH_TO_PIM
# The icon appears; a click opens its menu; "Capturer l'écran complet" writes a file a moment later;
# "Quitter Pim" ends the program cleanly (in the sanitized build too).
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
echo "tray: ok"
