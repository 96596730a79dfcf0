#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Pim and runs every test suite through CTest: once in the normal build,
# once more built with AddressSanitizer and UndefinedBehaviorSanitizer (any report fails the run). In
# between, every fuzz target runs briefly on its seed corpus.
source "$(dirname "$0")/common.sh"
install_missing "$PIM_ROOT/scripts/packages.txt" "$PIM_ROOT/scripts/test-packages.txt"

# Warnings fail the test builds (not the run command's: a newer compiler's new warning must not keep
# anyone from using Pim).
build "$PIM_ROOT/build" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON
# The sanitized build also takes the scalar paths that other architectures build (PIM_PNG_SCALAR).
build "$PIM_ROOT/build-asan" -DPIM_SANITIZE=ON -DPIM_BENCH=OFF -DPIM_PNG_SCALAR=ON -DCMAKE_COMPILE_WARNING_AS_ERROR=ON

ASAN_OPTIONS=detect_leaks=0 bash "$PIM_ROOT/fuzz/run.sh" "${PIM_FUZZ_SECONDS:-20}"

echo "== tests"
(cd "$PIM_ROOT/build" && ctest --output-on-failure --no-tests=error -j "$(nproc)")

echo "== tests, sanitized build"
export ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$PIM_ROOT/build-asan" && ctest --output-on-failure --no-tests=error -j "$(nproc)")
