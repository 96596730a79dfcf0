#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks a Pim package on a clean Debian 12: a bookworm tree made with mmdebstrap (nothing else installed),
# the package installed into it with apt, once without and once with the recommended packages; then, in
# each tree, `pim --version`, Pim started under Xvfb and one `pim full`, whose file must be named with
# today's date. It downloads a whole system: run it by hand (as root), not in CI.
#   sudo bash scripts/check-deb.sh build/pim_0.1.0_amd64.deb
set -euo pipefail
deb=$(realpath "$1")
command -v mmdebstrap >/dev/null || { echo "check-deb: needs mmdebstrap (apt-get install mmdebstrap)" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/pim-deb.XXXXXX")
trap 'rm -rf "$work"' EXIT

# What runs inside the tree once the package is in: Xvfb, Pim in the background, one capture.
cat >"$work/inside.sh" <<'INSIDE'
set -eu
export HOME=/root XDG_RUNTIME_DIR=/tmp/runtime DBUS_SESSION_BUS_ADDRESS=disabled: QT_QPA_PLATFORM=xcb
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
pim --version
# The manual page, the completion, the AppStream description and the licence came with it.
for file in /usr/share/man/man1/pim.1.gz /usr/share/metainfo/org.pim_screenshot.Pim.metainfo.xml \
  /usr/share/doc/pim/copyright /usr/share/applications/pim.desktop; do
  [ -s "$file" ] || { echo "check-deb: no $file" >&2; exit 1; }
done
bash -c '. /usr/share/bash-completion/completions/pim && complete -p pim' || { echo "check-deb: no completion" >&2; exit 1; }
Xvfb :7 -screen 0 1280x800x24 -nolisten tcp -noreset >/tmp/xvfb.log 2>&1 &
for _ in $(seq 1 50); do [ -e /tmp/.X11-unix/X7 ] && break; sleep 0.1; done
export DISPLAY=:7
path=$(timeout 60 pim full)
echo "captured: $path"
case "$(basename "$path")" in
  *"$(date +%Y-%m-%d)"*) ;;
  *) echo "check-deb: the capture is not named with today's date" >&2; exit 1 ;;
esac
[ -s "$path" ] || { echo "check-deb: the capture file is empty" >&2; exit 1; }
# Once more with no time-zone data at all, as on a system without tzdata.
pkill -f /usr/libexec/pim/pim || true
for _ in $(seq 1 50); do [ -e "$XDG_RUNTIME_DIR/pim.socket" ] || break; sleep 0.1; done
rm -f /etc/localtime && mv /usr/share/zoneinfo /usr/share/zoneinfo.away
path=$(timeout 60 pim full)
mv /usr/share/zoneinfo.away /usr/share/zoneinfo
echo "captured without zone data: $path"
case "$(basename "$path")" in
  *"$(date -u +%Y-%m-%d)"*) ;;
  *) echo "check-deb: without zone data the capture is not named with today's date" >&2; exit 1 ;;
esac
pkill -f /usr/libexec/pim/pim || true
pkill Xvfb || true
INSIDE

status=0
for recommends in without with; do
  echo "== Debian 12, the package installed $recommends its recommended packages"
  options="--no-install-recommends"
  [ "$recommends" = with ] && options=""
  mmdebstrap --quiet --variant=apt bookworm "$work/tree-$recommends" \
    --customize-hook="copy-in '$deb' /tmp" \
    --customize-hook="copy-in '$work/inside.sh' /tmp" \
    --customize-hook="chroot \"\$1\" sh -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y -q $options /tmp/$(basename "$deb") xvfb xauth procps >/tmp/apt.log 2>&1 || { tail -20 /tmp/apt.log; exit 1; }'" \
    --customize-hook="chroot \"\$1\" sh /tmp/inside.sh" || status=1
  rm -rf "$work/tree-$recommends"
done
[ "$status" -eq 0 ] && echo "check-deb: ok"
exit "$status"
