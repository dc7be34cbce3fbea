#!/usr/bin/env bash
# Everything a Windows build tree needs before it builds: the packages, the Qt
# cross-built from Debian's source (only when its cache folder is missing), and
# the tree configured against that Qt, whose installed toolchain file finds Qt
# and loads the mingw-w64 toolchain. Prints the Qt folder; all else goes to stderr.
#   tools/windows/configure.sh BUILD_DIR
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$1

tools/windows/install-deps.sh >&2
qt=$(tools/windows/build-qt.sh | tail -n 1)
if [ ! -f "$build/CMakeCache.txt" ] || ! grep -q "=$qt/lib/cmake/Qt6/qt.toolchain.cmake$" "$build/CMakeCache.txt"; then
    rm -rf "$build"
    cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DVELMORA_BUILD_BENCH=OFF >&2
fi
echo "$qt"
