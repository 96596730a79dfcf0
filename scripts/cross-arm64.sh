#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-builds the model and services library (pimcore) for arm64 with Debian's cross compiler, to show
# that the code builds beyond x86 (the PNG writer's portable path). The arm64 development packages are
# unpacked into a Debian tree of their own with mmdebstrap (about 600 MB, downloaded the first time), not
# installed on the machine, whose own packages they would replace. Not part of the test run.
#   cross-arm64.sh [BUILD_DIR [SYSROOT]]   (build-arm64 and build-arm64/sysroot by default)
source "$(dirname "$0")/common.sh"
dir=${1:-$PIM_ROOT/build-arm64}
export PIM_ARM64_SYSROOT=${2:-$dir/sysroot}
install_missing <(printf '%s\n' crossbuild-essential-arm64 mmdebstrap qt6-base-dev)
if [ ! -d "$PIM_ARM64_SYSROOT/usr/lib/aarch64-linux-gnu/cmake/Qt6" ]; then
  rm -rf "$PIM_ARM64_SYSROOT"
  mkdir -p "$(dirname "$PIM_ARM64_SYSROOT")"
  mmdebstrap --quiet --architectures=arm64 --variant=extract \
    --include=qt6-base-dev,libtesseract-dev,libleptonica-dev,zlib1g-dev,libc6-dev,libstdc++-12-dev \
    bookworm "$PIM_ARM64_SYSROOT" http://deb.debian.org/debian
fi
cmake -S "$PIM_ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$PIM_ROOT/scripts/arm64-toolchain.cmake" \
  -DPIM_CORE_ONLY=ON -DCMAKE_BUILD_TYPE=Release -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build "$dir" -j "$(nproc)" --target pimcore
file "$dir/src/CMakeFiles/pimcore.dir/output/PngWriter.cpp.o"
