# shellcheck shell=bash
# A private X server for scripts; sourced, not run.
#
# start_xvfb FOLDER [XVFB-ARGUMENTS...]
#   Starts Xvfb, waits until it accepts clients, exports DISPLAY and sets xvfb_pid; the
#   server's output goes to FOLDER/xvfb.log. Fails (status 1) if the server does not come up.
#
# With -displayfd the server picks its display number itself and names it only once it
# listens. A number picked by looking for lock files could belong to another server whose
# lock file this machine cannot see (containers, chroots), and a client would then reach
# that server instead of ours.
start_xvfb() {
    local dir=$1 number=""
    shift
    : >"$dir/xvfb.display"
    Xvfb -displayfd 3 -nolisten tcp "$@" 3>"$dir/xvfb.display" >"$dir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 400); do
        read -r number <"$dir/xvfb.display" || true
        [[ $number =~ ^[0-9]+$ ]] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
    done
    if ! [[ $number =~ ^[0-9]+$ ]]; then
        kill "$xvfb_pid" 2>/dev/null
        wait "$xvfb_pid" 2>/dev/null
        xvfb_pid=""
        return 1
    fi
    export DISPLAY=":$number"
    # Should the calling script be killed outright (a ctest timeout), the server goes too.
    (
        tail --pid=$$ -f /dev/null
        kill "$xvfb_pid"
    ) >/dev/null 2>&1 &
}
