#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# A capture of a desktop of many windows is found by the words of each window (run through
# run-isolated.sh --x11):
#   search_e2e.sh PATH_TO_PIM PATH_TO_SCENE_WINDOW
# Shows a drawn dark desktop (a panel, a code editor with its file list, a terminal, a light browser with a
# side menu, prose and a photograph), takes it with `pim full`, and searches for a word of each window.
set -euo pipefail
pim=$1
scene=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
log="$PWD/pim.log"
mkdir -p "${XDG_CONFIG_HOME:-$HOME/.config}/Pim"
# Seen the welcome window already: nothing of Pim's over the desktop.
printf '[General]\nhasSeenWelcome=true\n' >"${XDG_CONFIG_HOME:-$HOME/.config}/Pim/Pim.conf"
PIM_TEXT_INDEX_PRIORITY=normal "$pim" 2>"$log" &
pid=$!
"$scene" dark "$PWD/scene-painted" &
scene_pid=$!
trap 'kill $pid $scene_pid 2>/dev/null || true; wait 2>/dev/null || true' EXIT
# The desktop is on the screen once the window says it painted it, and Pim answers once it runs.
for _ in $(seq 1 200); do [ -f scene-painted ] && break; sleep 0.05; done
[ -f scene-painted ] || fail "the drawn desktop did not show"
for _ in $(seq 1 200); do [ -S "${XDG_RUNTIME_DIR}/pim.socket" ] && break; sleep 0.05; done
capture=$("$pim" full) || fail "pim full: $capture $(cat "$log")"
[ -f "$capture" ] || fail "pim full printed '$capture'"

# The text is read in the background: wait for the first window's words, then every other's.
found=""
for _ in $(seq 1 240); do
  found=$("$pim" search Preamble 2>/dev/null || true)
  grep -qxF "$capture" <<<"$found" && break
  sleep 0.5
done
grep -qxF "$capture" <<<"$found" || fail "the browser's heading was not found: '$found' $(cat "$log")"
for words in "Activités décembre" "EXPLORATEUR README" "réglages fenêtre" "working tree clean" \
  "Téléchargements Documentation" "logiciel libre" "freedom share" "Terminal"; do
  # shellcheck disable=SC2086
  found=$("$pim" search $words 2>&1 || true)
  grep -qxF "$capture" <<<"$found" || fail "'$words' did not find the capture: '$found'"
done
"$pim" quit
