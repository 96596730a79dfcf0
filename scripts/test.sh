#!/usr/bin/env bash
# Installs what is missing, builds Pim and runs every test suite through CTest.
source "$(dirname "$0")/common.sh"
install_missing "$PIM_ROOT/scripts/packages.txt" "$PIM_ROOT/scripts/test-packages.txt"
build "$PIM_ROOT/build"
cd "$PIM_ROOT/build"
ctest --output-on-failure --no-tests=error -j "$(nproc)"
