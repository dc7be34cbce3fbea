#!/usr/bin/env bash
# Builds Velmora and its tests for Windows against a Qt cross-built from
# Debian's own source, runs the tests under Wine, then makes the zip and the
# MSI and follows the README's Wine story with the MSI in a new Wine prefix.
#   tools/windows/test-windows.sh [BUILD_DIR] [TEST_REGEX]
# With a TEST_REGEX only the matching tests run.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-win}

qt=$(tools/windows/configure.sh "$build")
cmake --build "$build"
python3 tools/windows/run-tests.py "$build" "$qt" ${2:+"$2"}
[ -z "${2:-}" ] || exit 0
tools/windows/package-windows.sh "$build"
version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
bits=$([ "${VELMORA_WIN_ARCH:-x86_64}" = i686 ] && echo 32 || echo 64)
python3 tools/windows/wine-story.py "$build" "velmora-$version-win$bits.msi"
