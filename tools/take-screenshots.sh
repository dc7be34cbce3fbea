#!/usr/bin/env bash
# Screenshots of both pages under a private Xvfb, for the README and for
# checking the layout by eye. Usage: tools/take-screenshots.sh OUTDIR [SCALE] [SUFFIX]
# Needs xvfb, xdotool and imagemagick (import).
set -euo pipefail
out=${1:?output folder}; scale=${2:-1}; suffix=${3:-}
bin=${VELMORA:-build/bin/velmora}
mkdir -p "$out"
config=$(mktemp -d)
display=""
for n in $(seq 70 99); do
    if [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "no free X display number" >&2; exit 1; }
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $app $xvfb 2>/dev/null; rm -rf "$config"' EXIT
app=""
export DISPLAY=$display XDG_CONFIG_HOME=$config QT_SCALE_FACTOR=$scale
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$bin" &
app=$!
win=$(xdotool search --sync --name '^Velmora$' | head -1)
sleep 0.5
import -window "$win" "$out/options-page$suffix.png"
xdotool windowfocus --sync "$win" key ctrl+Tab
sleep 0.5
import -window "$win" "$out/about-page$suffix.png"
echo "wrote $out/options-page$suffix.png and $out/about-page$suffix.png"
