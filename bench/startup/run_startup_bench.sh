#!/usr/bin/env bash
# Start-up benchmark: how long velmora takes until its window is mapped, and its peak RSS,
# against a bare Qt Widgets window, both under a private Xvfb. The two are run alternately
# (and in alternating order) so that drift of the machine hits both alike; medians are shown.
#
#   run_startup_bench.sh [-n PAIRS] [-t TIMEOUT_S] [-s SETTLE_S] [VELMORA [BARE [MAPWAIT]]]
#
# Defaults: PAIRS from $VELMORA_BENCH_PAIRS or 15, SETTLE 0.2 s (each program runs that long
# after its map, so that its peak RSS includes the first paint), binaries from build/bin/.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
pairs=${VELMORA_BENCH_PAIRS:-15}
timeout=30
settle=0.2
title=Velmora

usage() {
    sed -n '6,9p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
    exit 1
}
while getopts "n:t:s:h" opt; do
    case $opt in
    n) pairs=$OPTARG ;;
    t) timeout=$OPTARG ;;
    s) settle=$OPTARG ;;
    *) usage ;;
    esac
done
shift $((OPTIND - 1))
[ $# -le 3 ] || usage
[[ $pairs =~ ^[1-9][0-9]*$ ]] || { echo "PAIRS must be a positive whole number" >&2; exit 1; }

velmora=${1:-$root/build/bin/velmora}
bare=${2:-$root/build/bin/bench_bare_window}
mapwait=${3:-$root/build/bin/mapwait}
for f in "$velmora" "$bare" "$mapwait"; do
    [ -x "$f" ] || { echo "not an executable: $f" >&2; exit 1; }
done
command -v Xvfb >/dev/null || { echo "Xvfb is not installed (apt-get install xvfb)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-startup.XXXXXX")
xvfb_pid=
cleanup() {
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Xvfb picks a free display number itself (-displayfd).
. "$root/tests/support/xvfb.sh"
start_xvfb "$work" -screen 0 1280x1024x24 || { echo "Xvfb failed to start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
display=${DISPLAY#:}

# Qt wants a private runtime folder; give it one rather than let it warn and fall back.
mkdir -m 700 "$work/runtime"

# One run: prints "map_ms peak_rss_kb cpu_ms" or fails the whole benchmark.
run_one() {
    local bin=$1 cfg out
    # A fresh, empty config folder each time: every run starts from the defaults and the
    # user's real ~/.config is never read or written.
    cfg=$(mktemp -d "$work/config.XXXXXX")
    # Kept off the user's session bus (and so its accessibility bus) and session manager: the
    # windows on the private display must not show up there, and every machine then measures
    # the same thing. The bus address names nothing, so Qt gives up at once without a bus.
    if ! out=$(env -u SESSION_MANAGER -u AT_SPI_BUS_ADDRESS DISPLAY=":$display" \
        QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$cfg" XDG_RUNTIME_DIR="$work/runtime" \
        DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-session-bus" \
        "$mapwait" --title "$title" --timeout "$timeout" --settle "$settle" -- "$bin" \
        2>"$work/stderr"); then
        echo "run of $bin failed:" >&2
        cat "$work/stderr" >&2
        exit 1
    fi
    rm -rf "$cfg"
    if [[ $out =~ map_ms=([0-9.]+)\ peak_rss_kb=([0-9]+)\ cpu_ms=([0-9.]+) ]]; then
        echo "${BASH_REMATCH[1]} ${BASH_REMATCH[2]} ${BASH_REMATCH[3]}"
    else
        echo "unexpected output from mapwait: $out" >&2
        exit 1
    fi
}

# Figures are handled with a dot as the decimal mark whatever the user's locale.
median() {
    local LC_ALL=C
    sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
lowest() { local LC_ALL=C; sort -n | head -n1; }
highest() { local LC_ALL=C; sort -n | tail -n1; }

# One unrecorded run of each first, so that neither pays alone for a cold page cache.
run_one "$velmora" >/dev/null
run_one "$bare" >/dev/null

: >"$work/velmora.txt"
: >"$work/bare.txt"
for i in $(seq "$pairs"); do
    if ((i % 2)); then
        run_one "$velmora" >>"$work/velmora.txt"
        run_one "$bare" >>"$work/bare.txt"
    else
        run_one "$bare" >>"$work/bare.txt"
        run_one "$velmora" >>"$work/velmora.txt"
    fi
done

col() { cut -d' ' -f"$2" "$work/$1.txt"; }
ratio() { local LC_ALL=C; awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
row() {
    local LC_ALL=C
    printf '%-16s %10.1f %14s %10.1f %14.0f\n' "$1" "$(col "$1" 1 | median)" \
        "$(col "$1" 1 | lowest)-$(col "$1" 1 | highest)" "$(col "$1" 3 | median)" "$(col "$1" 2 | median)"
}

echo "Start-up until the window is mapped: $pairs pairs, Xvfb :$display, QT_QPA_PLATFORM=xcb," \
    "RSS after ${settle} s more"
echo "  velmora: $velmora"
echo "  bare:    $bare"
echo "  (medians; min-max of the map time)"
printf '%-16s %10s %14s %10s %14s\n' "" "map ms" "map min-max" "CPU ms" "peak RSS kB"
row velmora
row bare
printf '%-16s %10s %14s %10s %14s\n' "velmora / bare" \
    "$(ratio "$(col velmora 1 | median)" "$(col bare 1 | median)")" "" \
    "$(ratio "$(col velmora 3 | median)" "$(col bare 3 | median)")" \
    "$(ratio "$(col velmora 2 | median)" "$(col bare 2 | median)")"
