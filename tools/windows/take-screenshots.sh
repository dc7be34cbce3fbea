#!/usr/bin/env bash
# Screenshots of both pages as Wine draws them, into docs/ (or OUTDIR): runs the
# Windows suite's page case with the screenshots asked for. Needs a built
# Windows tree (make test-windows).
#   tools/windows/take-screenshots.sh [OUTDIR] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
out=$(realpath -m "${1:-docs}") build=${2:-build-win}
mkdir -p "$out"
qt=$(tools/windows/build-qt.sh --print-prefix)
VELMORA_SCREENSHOTS="Z:${out//\//\\}" \
    python3 tools/windows/run-tests.py "$build" "$qt" '^tst_windows$'
ls -l "$out"/windows-*-page.png
