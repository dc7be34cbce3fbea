#!/usr/bin/env bash
# Builds Velmora and its tests for Windows against a Qt cross-built from
# Debian's own source, and runs the tests under Wine.
#   tools/windows/test-windows.sh [BUILD_DIR] [TEST_REGEX]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-win}

qt=$(tools/windows/configure.sh "$build")
cmake --build "$build"
exec python3 tools/windows/run-tests.py "$build" "$qt" ${2:+"$2"}
