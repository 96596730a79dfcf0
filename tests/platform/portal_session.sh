#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a program on a private session bus with the real portal frontend (xdg-desktop-portal) in front of a
# test-double desktop backend. Meant to run inside run-isolated.sh (private HOME and runtime folder).
#   portal_session.sh PORTAL_DOUBLE program [arguments…]
# The frontend picks the backend from XDG_DESKTOP_PORTAL_DIR by matching UseIn= to XDG_CURRENT_DESKTOP, and
# offers Screenshot only next to a backend that also provides Access. Every process on the bus is killed
# by its PID at the end: the portals would outlive the bus.
set -euo pipefail

double=$1
shift
frontend=/usr/libexec/xdg-desktop-portal
[ -x "$frontend" ] || { echo "portal_session: $frontend is missing (package xdg-desktop-portal)" >&2; exit 1; }

runtime=${XDG_RUNTIME_DIR:?}
portals="$runtime/portals"
mkdir -p "$portals"
cat >"$portals/pimtest.portal" <<PORTAL
[portal]
DBusName=org.freedesktop.impl.portal.desktop.pimtest
Interfaces=org.freedesktop.impl.portal.Access;org.freedesktop.impl.portal.Screenshot;org.freedesktop.impl.portal.GlobalShortcuts;org.freedesktop.impl.portal.ScreenCast;
UseIn=pimtest
PORTAL
export XDG_DESKTOP_PORTAL_DIR="$portals"
export XDG_CURRENT_DESKTOP=pimtest
# The backend's temporary screenshots go here, where the tests look for leftovers.
export TMPDIR="$runtime/tmp"
mkdir -p "$TMPDIR"

pids=()
bus_pid=""
cleanup() {
  set +e +o pipefail
  if [ -n "$bus_pid" ]; then
    # Everything that joined the bus, started by us or by the bus itself.
    for name in $(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
                    org.freedesktop.DBus.ListNames 2>/dev/null | grep -o '":[0-9.]*"' | tr -d '"'); do
      pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
              org.freedesktop.DBus.GetConnectionUnixProcessID "string:$name" 2>/dev/null | awk '/uint32/ {print $2}')
      [ -n "$pid" ] && [ "$pid" != "$$" ] && pids+=("$pid")
    done
  fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  # Should a document portal have come anyway, its mount would keep the runtime folder from going.
  if mountpoint -q "$runtime/doc" 2>/dev/null; then fusermount -u "$runtime/doc" 2>/dev/null || umount "$runtime/doc" 2>/dev/null || true; fi
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

# A bus of our own that can start the permission store and nothing else (the document portal would mount
# a FUSE file system in the runtime folder).
services="$runtime/dbus-services"
mkdir -p "$services"
cp /usr/share/dbus-1/services/org.freedesktop.impl.portal.PermissionStore.service "$services/"
cat >"$runtime/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$runtime/bus</listen>
  <servicedir>$services</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
address_file="$runtime/bus-address"
dbus-daemon --config-file="$runtime/bus.conf" --nofork --nopidfile --print-address=3 \
  3>"$address_file" >"$runtime/dbus.log" 2>&1 &
bus_pid=$!
for _ in $(seq 1 100); do [ -s "$address_file" ] && break; sleep 0.05; done
export DBUS_SESSION_BUS_ADDRESS="unix:path=$runtime/bus"

pipewire >"$runtime/pipewire.log" 2>&1 &
pids+=($!)
"$double" org.freedesktop.impl.portal.desktop.pimtest >"$runtime/double.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.impl.portal.desktop.pimtest 2>/dev/null |
    grep -q 'boolean true' && break
  sleep 0.05
done
# Screen casts: a session manager links the streams (PIM_PIPEWIRE_LINKS=1).
if [ "${PIM_PIPEWIRE_LINKS:-}" = 1 ]; then
  wireplumber >"$runtime/wireplumber.log" 2>&1 &
  pids+=($!)
fi
"$frontend" -r >"$runtime/frontend.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 200); do
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.portal.Desktop 2>/dev/null |
    grep -q 'boolean true' && break
  sleep 0.05
done

status=0
"$@" || status=$?
if [ "$status" -ne 0 ]; then
  for log in frontend double pipewire wireplumber; do
    if [ -f "$runtime/$log.log" ]; then echo "== $log.log"; tail -n 30 "$runtime/$log.log"; fi
  done >&2
fi
exit "$status"
