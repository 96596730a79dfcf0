#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the model and services library (pimcore) for arm64 with Debian's cross tools, to show that
# the code builds beyond x86 (the PNG writer's portable path). Adds the arm64 architecture and its
# development packages beside the machine's own the first time: a few hundred megabytes. Not part of the
# test run.
#   cross-arm64.sh [BUILD_DIR]   (build-arm64 by default)
source "$(dirname "$0")/common.sh"
dir=${1:-$PIM_ROOT/build-arm64}
if ! dpkg --print-foreign-architectures | grep -qx arm64; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo dpkg --add-architecture arm64
  $sudo apt-get update -q
fi
install_missing <(printf '%s\n' crossbuild-essential-arm64 qt6-base-dev:arm64 libtesseract-dev:arm64 \
  libleptonica-dev:arm64 zlib1g-dev:arm64)
cmake -S "$PIM_ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$PIM_ROOT/scripts/arm64-toolchain.cmake" \
  -DPIM_CORE_ONLY=ON -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$dir" -j "$(nproc)" --target pimcore
file "$dir/src/CMakeFiles/pimcore.dir/output/PngWriter.cpp.o"
