#!/usr/bin/env bash
# Builds Velmora and its tests for Windows against a Qt cross-built from
# Debian's own source, and runs the tests under Wine.
#   tools/windows/test-windows.sh [BUILD_DIR] [TEST_REGEX]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-win}

tools/windows/install-deps.sh
qt=$(tools/windows/build-qt.sh | tail -n 1)
tools/windows/configure.sh "$build" "$qt"
cmake --build "$build"
exec python3 tools/windows/run-tests.py "$build" "$qt" ${2:+"$2"}
