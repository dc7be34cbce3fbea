#!/usr/bin/env bash
# The real program on a private X server, driven like a user with xdotool:
#  1. a first start: tick "Page Layout", press Ok; the store holds the choices
#     and Excel (a stand-in first on PATH) was started in the program folder;
#  2. a bad stored value: a message box instead of the window, the reason on
#     stderr, a failing exit status and the store left as it was;
#  3. through the accessibility bus, as a screen reader: the window is a dialog
#     named Velmora, and ticking "Home" that way runs the rules (atspi_check.py);
#  4. no display, or none that answers (none there, stopped, silent): one line, status 2
#     (run beside the others from the start: one that never answers takes the bound, 1 s
#     here, and the documented 5 s in two rows); a platform Qt cannot load: Qt's reason;
#  5. under a window manager (openbox): the whole window, frame included, centred at
#     every scale factor, a minimised window back at once, and still there after the display's bound.
# Usage: smoke_xvfb.sh PATH-TO-velmora
set -uo pipefail

program=$(readlink -f "${1:?usage: smoke_xvfb.sh PATH-TO-velmora}")
program_dir=$(cd "$(dirname "$program")" && pwd -P)

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

for tool in Xvfb xdotool xprop xwd dbus-run-session; do
    command -v "$tool" >/dev/null ||
        fail "$tool is missing: install xvfb, xdotool, x11-utils, x11-apps and dbus (tools/install-deps.sh)"
done
# The Debian Python, which python3-pyatspi serves, whatever python3 comes first on PATH.
system_python=/usr/bin/python3
"$system_python" -c 'import pyatspi' 2>/dev/null ||
    fail "pyatspi is missing: install python3-pyatspi and at-spi2-core (tools/install-deps.sh)"
[ -x "$program" ] || fail "no program at $program"

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-smoke.XXXXXX")
xvfb_pid=""
app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "${wm_pid:-}" ] && kill "$wm_pid" 2>/dev/null
    [ -n "${mute_pid:-}" ] && kill "$mute_pid" 2>/dev/null
    [ -n "${stopped_pid:-}" ] && kill -KILL "$stopped_pid" 2>/dev/null
    if [ -n "$xvfb_pid" ]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# Nothing of the user's: own home, config and runtime folders, no session bus.
mkdir -p "$work/home" "$work/config" "$work/runtime" "$work/bin"
chmod 700 "$work/runtime"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime"
export QT_QPA_PLATFORM=xcb
unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY QT_QPA_PLATFORMTHEME
store="$work/config/Quenmark.conf"

# The stand-in Excel copies the store as it finds it, records where it runs,
# and appends to its log last.
cat >"$work/bin/Excel" <<EOF
#!/bin/sh
cp "$store" "$work/excel.store" 2>/dev/null
pwd -P > "$work/excel.pwd"
echo "\$#" >> "$work/excel.log"
EOF
chmod +x "$work/bin/Excel"
export PATH="$work/bin:$PATH"

# A display of our own.
. "$(dirname "$0")/../support/xvfb.sh"
start_xvfb "$work" -screen 0 1280x1024x24 -noreset || fail "no Xvfb could start: $(cat "$work/xvfb.log")"
echo "Xvfb on $DISPLAY"

# The waits below are for events or states, each with a deadline a loaded machine
# (a load of 7 on 2 cores) stays well within.
# Waits (up to 60 s) for a visible window titled exactly "Velmora"; prints its id.
find_window() {
    timeout 60 xdotool search --sync --onlyvisible --name '^Velmora$' 2>/dev/null | head -n 1
}

# Runs a check every 0.1 s until it holds, at most $1 times; fails when it never did.
retry() {
    local tries=$1
    shift
    for _ in $(seq "$tries"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}
ended() { ! kill -0 "$app_pid" 2>/dev/null; }

# Waits (up to 30 s) for the program to end; sets `status`.
wait_for_exit() {
    retry 300 ended || fail "the program did not end"
    wait "$app_pid"
    status=$?
    app_pid=""
}

geometry() { # sets X, Y, WIDTH, HEIGHT of window $1
    eval "$(xdotool getwindowgeometry --shell "$1")"
}

click_at() { # window-relative x, y
    xdotool mousemove --sync $((X + $1)) $((Y + $2)) click 1
}

# 4. No display, or one named where no server answers: one line on stderr naming
# it and exit status 2, instead of Qt's abort or a wait without end: a server of
# ours, stopped, and a port that only accepts (display 127.0.0.1:N is TCP port 6000 + N).
mkdir "$work/stopped"
main_display=$DISPLAY main_pid=$xvfb_pid
start_xvfb "$work/stopped" -screen 0 64x64x8 || fail "no second Xvfb could start"
stopped_pid=$xvfb_pid stopped_display=$DISPLAY
kill -STOP "$stopped_pid"
( tail --pid=$$ -f /dev/null; kill -KILL "$stopped_pid" ) >/dev/null 2>&1 &
export DISPLAY=$main_display xvfb_pid=$main_pid
"$system_python" -c 'import socket, time; s = socket.create_server(("127.0.0.1", 0))
print(s.getsockname()[1] - 6000, flush=True); time.sleep(120)' >"$work/mute.display" &
mute_pid=$!
retry 300 grep -q . "$work/mute.display" || fail "no port that only accepts"
mute="DISPLAY=127.0.0.1:$(cat "$work/mute.display")"
# Each row: the environment, the lines expected on stderr, and what they must hold (|-separated).
displays=("" "DISPLAY=:987" "WAYLAND_DISPLAY=velmora-none" "DISPLAY=$stopped_display" "$mute"
    "$mute" "VELMORA_DISPLAY_WAIT=0 $mute" "QT_QPA_PLATFORM=xbc DISPLAY=$main_display")
lines=(1 1 1 1 1 1 2 1)
expect=("DISPLAY" "DISPLAY=:987" "WAYLAND_DISPLAY=velmora-none" "DISPLAY=$stopped_display"
    "$mute|within 1 s" "$mute|within 5 s" 'VELMORA_DISPLAY_WAIT="0"|within 5 s'
    'platform plugin "xbc"')
default_row=5 # the documented bound, left unset
for i in "${!displays[@]}"; do
    # A second is plenty for a display on this machine (the program's own bound is 5 s).
    wait_setting=VELMORA_DISPLAY_WAIT=1
    [ "$i" -eq "$default_row" ] && wait_setting=""
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u VELMORA_DISPLAY_WAIT $wait_setting \
        ${displays[i]} timeout 60 "$program" >"$work/out4.$i" 2>"$work/err4.$i" &
    runs[i]=$!
done

# --- 1. first start, "Page Layout" ticked, Ok --------------------------------
"$program" >"$work/out1" 2>"$work/err1" &
app_pid=$!
wid=$(find_window)
[ -n "$wid" ] || fail "no window titled Velmora; stderr: $(cat "$work/err1")"
geometry "$wid"
echo "window $wid at $X,$Y size ${WIDTH}x$HEIGHT"
[ "${WIDTH}x$HEIGHT" = 410x335 ] || fail "window is ${WIDTH}x$HEIGHT, not 410x335"
# Centred on the 1280x1024 screen (no window manager moves it), and off the taskbar.
[ $((X - (1280 - WIDTH) / 2)) -ge -1 ] && [ $((X - (1280 - WIDTH) / 2)) -le 1 ] &&
    [ $((Y - (1024 - HEIGHT) / 2)) -ge -1 ] && [ $((Y - (1024 - HEIGHT) / 2)) -le 1 ] ||
    fail "window at $X,$Y is not centred"
xprop -id "$wid" _NET_WM_STATE | grep -q _NET_WM_STATE_SKIP_TASKBAR ||
    fail "the window asks for a taskbar button: $(xprop -id "$wid" _NET_WM_STATE)"

click_at $((14 + 64 + 8)) $((35 + 149 + 12)) # "Page Layout"
click_at $((228 + 40)) $((304 + 12))         # Ok
wait_for_exit
[ "$status" -eq 0 ] || fail "exit status $status after Ok; stderr: $(cat "$work/err1")"

[ -f "$store" ] || fail "Ok wrote no store"
for line in 'Page%20Layout=1' 'Hide%20built-in%20tabs=1' 'Classic=1' 'Left=1' 'All=1' 'Home=0'; do
    grep -qx "$line" "$store" || fail "store lacks $line: $(cat "$store")"
done
[ "$(grep -c '=' "$store")" -eq 12 ] || fail "store does not hold the twelve keys: $(cat "$store")"

retry 200 test -s "$work/excel.log" || fail "Excel was not started"
[ "$(cat "$work/excel.log")" = 0 ] || fail "Excel ran more than once or with arguments"
[ "$(cat "$work/excel.pwd")" = "$program_dir" ] ||
    fail "Excel ran in $(cat "$work/excel.pwd"), not $program_dir"
cmp -s "$work/excel.store" "$store" || fail "Excel did not find the whole save"
echo "ok 1 - Ok saves and starts Excel"

# --- 2. a bad stored value ---------------------------------------------------
printf '[Velmora]\r\nHome=abc\r\nPage%%20Layout = 1\r\n' >"$store"
cp "$store" "$work/seed"
rm -f "$work/excel.log"

"$program" >"$work/out2" 2>"$work/err2" &
app_pid=$!
wid=$(find_window)
[ -n "$wid" ] || fail "no message box titled Velmora; stderr: $(cat "$work/err2")"
geometry "$wid"
[ "${WIDTH}x$HEIGHT" != 410x335 ] || fail "the options window was shown"
[ "$(xdotool search --onlyvisible --name '^Velmora$' | wc -l)" -eq 1 ] ||
    fail "more than the message box is shown"
grep -q 'Type mismatch' "$work/err2" || fail "stderr lacks the reason: $(cat "$work/err2")"
grep -q '"Home"' "$work/err2" || fail "stderr lacks the key: $(cat "$work/err2")"
grep -qF "$store" "$work/err2" || fail "stderr lacks the store: $(cat "$work/err2")"

xdotool windowfocus --sync "$wid"
xdotool key --clearmodifiers Return
if ! retry 50 ended; then # Return did not reach it: close the box instead
    echo "Return did not close the message box; closing it"
    xdotool key --window "$wid" Escape
fi
wait_for_exit
[ "$status" -eq 1 ] || fail "exit status $status, not 1, after a bad stored value"
cmp -s "$store" "$work/seed" || fail "the store changed: $(cat "$store")"
[ ! -e "$work/excel.log" ] || fail "Excel was started"
echo "ok 2 - a bad stored value stops start-up (exit status $status)"

# --- 3. a screen reader's view -----------------------------------------------
rm -f "$store"
dbus-run-session -- "$system_python" "$(dirname "$0")/atspi_check.py" "$program" ||
    fail "the accessibility check failed"
[ ! -e "$store" ] || fail "Cancel wrote the store: $(cat "$store")"
[ ! -e "$work/excel.log" ] || fail "Excel was started"
echo "ok 3 - a dialog named Velmora on the accessibility bus; Home toggled there runs the rules"

# 5. Under a window manager the frame is known only once the window is shown:
# the window is centred again then, frame and all.
command -v openbox >/dev/null || fail "openbox is missing (tools/install-deps.sh)"
openbox >/dev/null 2>&1 &
wm_pid=$!
managed() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
retry 600 managed || fail "openbox did not start" # before the desktop's programs
VELMORA_DISPLAY_WAIT=1 "$program" >"$work/out5" 2>"$work/err5" &
app_pid=$!
started=$(date +%s%N)
wid=$(find_window)
[ -n "$wid" ] || fail "no window under openbox; stderr: $(cat "$work/err5"); windows named Velmora:" \
    "$(xdotool search --name '^Velmora$' | xargs -r -n1 xwininfo -id | grep -E 'id:|State')"
# The frame's place from the client's (xwininfo: under a reparenting manager
# xdotool reports another point) and the extents the manager announced: centred?
frame() {
    IFS=, read -r left right top bottom <<<"$(xprop -id "$wid" _NET_FRAME_EXTENTS |
        sed -n 's/.* = //p' | tr -d ' ')"
    eval "$(xwininfo -id "$wid" | sed -n 's/.*Absolute upper-left \([XY]\): */\1=/p;
        s/^ *Width: */W=/p; s/^ *Height: */H=/p')"
    off_x=$((X - left - (1280 - (W + left + right)) / 2))
    off_y=$((Y - top - (1024 - (H + top + bottom)) / 2))
    [ -n "$top" ] && [ "${off_x#-}" -le 1 ] && [ "${off_y#-}" -le 1 ]
}
retry 300 frame || # until the window has moved into place, if it does
    fail "under openbox the frame is ${off_x:-?},${off_y:-?} off centre (extents ${left:-?},${right:-?},${top:-?},${bottom:-?})"
# A dialog with no icon in its title bar: there, each row of the frame's pixels is one colour.
xprop -id "$wid" _NET_WM_WINDOW_TYPE | grep -q '= _NET_WM_WINDOW_TYPE_DIALOG' ||
    fail "under openbox the window is no dialog: $(xprop -id "$wid" _NET_WM_WINDOW_TYPE)"
xwd -silent -id "$(xwininfo -id "$wid" -children | sed -n 's/.*Parent window id: \(0x[0-9a-f]*\).*/\1/p')" |
    "$system_python" -c 'import struct, sys; d = memoryview(sys.stdin.buffer.read()); h = struct.unpack(">25I", d[:100])
start, line, size = h[0] + 12 * h[19], h[12], h[11] // 8
sys.exit(any(len({d[start + y * line + x * size:][:size] for x in range(2, 50)}) > 1
             for y in range(1, int(sys.argv[1]) - 1)))' "$top" ||
    fail "under openbox an icon shows in the title bar: $(xprop -id "$wid" _NET_WM_ICON | head -n 1)"
# Minimised all the same (openbox offers it), the window comes back at once:
# without a taskbar button it could not be found again.
xdotool windowminimize "$wid"
shown() {
    xwininfo -id "$wid" | grep -q 'IsViewable' &&
        [ "$(xprop -id "$wid" WM_STATE | sed -n 's/.*window state: *//p')" = Normal ]
}
retry 300 shown || fail "minimised under openbox, the window stayed away"
# The bound is for the display's answer only: well past it, the window is still there.
sleep "$(awk -v t=$(( ($(date +%s%N) - started) / 1000000 )) 'BEGIN { print t < 1500 ? (1500 - t) / 1000 : 0 }')"
kill -0 "$app_pid" 2>/dev/null || fail "the window ended after the display bound: $(cat "$work/err5")"
kill "$app_pid"; app_pid=""
# At every scale too, the frame's extents being device pixels (a scaled window stands on
# whole scaled pixels only: one device pixel off at most).
for scale in 1.25 1.5 2; do
    QT_SCALE_FACTOR=$scale "$program" >"$work/out5" 2>"$work/err5" &
    app_pid=$!
    wid=$(find_window)
    retry 300 frame || fail "at scale $scale the frame is ${off_x:-?},${off_y:-?} off centre"
    kill "$app_pid"; wait "$app_pid"; app_pid=""
done
echo "ok 5 - under openbox the whole window, frame included, is centred at every scale, a dialog with no icon in its title bar, and cannot be minimised away"

# 4., judged.
for i in "${!displays[@]}"; do
    display=${displays[i]}
    wait "${runs[i]}"
    status=$?
    [ "$status" -eq 2 ] || fail "exit status $status with '$display'"
    [ "$(wc -l <"$work/err4.$i")" -eq "${lines[i]}" ] || fail "stderr with '$display': $(cat "$work/err4.$i")"
    IFS='|' read -ra wanted <<<"${expect[i]}"
    for text in "${wanted[@]}"; do
        grep -qF "$text" "$work/err4.$i" || fail "stderr with '$display' lacks $text: $(cat "$work/err4.$i")"
    done
done
echo "ok 4 - no display, or none answering: exit status 2 and one line on stderr naming it (Qt's reason when the display is not the problem)"
