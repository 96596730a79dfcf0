# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building for arm64 with Debian's cross compiler (crossbuild-essential-arm64) against an arm64
# Debian tree holding the development packages (made by scripts/cross-arm64.sh, named by the environment's
# PIM_ARM64_SYSROOT); Qt's code generators come from the machine's own Qt.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
set(CMAKE_SYSROOT $ENV{PIM_ARM64_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
set(ENV{PKG_CONFIG_SYSROOT_DIR} $ENV{PIM_ARM64_SYSROOT})
set(ENV{PKG_CONFIG_LIBDIR} $ENV{PIM_ARM64_SYSROOT}/usr/lib/aarch64-linux-gnu/pkgconfig:$ENV{PIM_ARM64_SYSROOT}/usr/share/pkgconfig)
