#!/usr/bin/env bash
# Installs what is missing, builds Pim and starts it.
source "$(dirname "$0")/common.sh"
install_missing "$PIM_ROOT/scripts/packages.txt"
build "$PIM_ROOT/build"
exec "$PIM_ROOT/build/src/pim" "$@"
