#!/usr/bin/env bash
# Configures a Windows build tree against the cross-built Qt: its installed
# toolchain file finds Qt and loads the mingw-w64 toolchain.
set -euo pipefail
build=$1 qt=$2
if [ ! -f "$build/CMakeCache.txt" ] || ! grep -q "=$qt/lib/cmake/Qt6/qt.toolchain.cmake$" "$build/CMakeCache.txt"; then
    rm -rf "$build"
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_BENCH=OFF
fi
