#!/usr/bin/env bash
# Shared helpers of the end-to-end tests: a private Xvfb, optionally openbox, and the real
# program. Every process a test starts runs in a process group of its own and is ended with the
# test, whichever way it ends; everything the test, the program and the tools write stays in
# the test's scratch folder. Source this file from a test script.
#
#   e2e_start_x [WxH]          Xvfb on a free display; exports DISPLAY
#   e2e_start_wm               openbox with Debian's configuration less its Print bindings
#   e2e_start_app [name]       starts $NUMARIKA, waits for its main window; sets APP_PID, APP_WID
#                              (name: a variable prefix for a second copy, e.g. "APP2")
#   e2e_wait_window REGEX [s]  waits for a visible window whose name matches; prints its id
#   e2e_wait_window_of PID REGEX [s]
#                              the same, for a window of that process only
#   e2e_focus WID              gives a window the keyboard focus (activates it under a
#                              window manager)
#   e2e_wait_gone PID [s]      waits for a process to end
#   e2e_exit_code PID [s]      waits for a process started here to end; sets E2E_EXIT_CODE
#                              (call it in the test's own shell, not in $(...))
#   e2e_poll SECONDS CMD...    runs CMD until it succeeds or the time is up
#   e2e_fail MESSAGE           ends the test as failed
#   e2e_bg NAME CMD...         starts a helper process, its output in NAME.log, ended with the
#                              test; sets E2E_BG_PID
#   E2E_TMP                    a scratch folder removed at the end
set -euo pipefail

_e2e_groups_gone() {
    local group
    for group in "${_e2e_groups[@]}"; do
        kill -0 -- "-$group" 2>/dev/null && return 1
    done
    return 0
}

# Runs on every way out: the script's end, e2e_fail, a failed command, a signal. No step may
# stop the ones after it.
_e2e_cleanup() {
    local status=$? i group log
    set +e
    trap '' TERM INT HUP
    # Newest first: the programs before the window manager before the X server. TERM first, so
    # that Xvfb and cupsd remove their sockets and end what they started themselves.
    for ((i = ${#_e2e_groups[@]} - 1; i >= 0; i--)); do
        kill -TERM -- "-${_e2e_groups[i]}" 2>/dev/null
    done
    # A process that ignores SIGTERM must not hold up the test run.
    e2e_poll 5 _e2e_groups_gone
    for group in "${_e2e_groups[@]}"; do
        kill -KILL -- "-$group" 2>/dev/null
        wait "$group" 2>/dev/null
    done
    # A failed test shows what the programs said.
    if [ "$status" -ne 0 ]; then
        for log in "$E2E_TMP"/*.log; do
            [ -s "$log" ] || continue
            echo "--- ${log##*/}" >&2
            tail -n 40 "$log" >&2
        done
    fi
    rm -rf "$E2E_TMP"
    exit "$status"
}

e2e_fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Starts CMD in a session and process group of its own, which the cleanup ends as a whole:
# whatever CMD starts goes with it.
_e2e_spawn() {
    setsid "$@" &
    E2E_BG_PID=$!
    _e2e_groups+=("$E2E_BG_PID")
}

e2e_bg() {
    local name=$1
    shift
    _e2e_spawn "$@" >"$E2E_TMP/$name.log" 2>&1
}

e2e_poll() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}

: "${NUMARIKA:?NUMARIKA must name the numarika binary}"
E2E_TMP=$(mktemp -d -t numarika-e2e.XXXXXX)
_e2e_groups=()
trap _e2e_cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'echo "FAIL: ended by SIGTERM" >&2; exit 143' TERM

# The test, the program and every tool keep their files in the scratch folder, and reach no
# session, display, message bus or print server but the test's own.
export E2E_TMP HOME=$E2E_TMP/home TMPDIR=$E2E_TMP/tmp XDG_RUNTIME_DIR=$E2E_TMP/runtime
mkdir "$HOME" "$TMPDIR"
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset DISPLAY WAYLAND_DISPLAY XAUTHORITY SESSION_MANAGER \
    XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME XDG_STATE_HOME
export DBUS_SESSION_BUS_ADDRESS=unix:path=$XDG_RUNTIME_DIR/bus
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$E2E_TMP/system_bus_socket
export CUPS_SERVER=$E2E_TMP/cups/run/cups.sock
# Our Japanese texts and Qt's own dialogs need a Japanese-capable locale.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
# The real program on the test's X server, whatever platform the unit tests use.
unset QT_QPA_PLATFORM

# ctest ends a test that overruns its time-out with SIGKILL, which leaves no way to clean up:
# end it with SIGTERM before that. The command in the foreground is ended too, so that the
# test's own cleanup starts at once.
e2e_bg watchdog bash -c 'sleep "$1"; echo "no result after $1 s"; kill -TERM "$2"; pkill -TERM -P "$2"' \
    watchdog "${E2E_TIME_LIMIT:-240}" "$$"

e2e_start_x() {
    local fifo=$E2E_TMP/displayfd pipe n
    mkfifo "$fifo"
    # Xvfb writes its display number into the pipe once it takes connections. The pipe is held
    # open here first, so that opening it for Xvfb does not wait for a reader.
    exec {pipe}<>"$fifo"
    _e2e_spawn Xvfb -displayfd 3 -screen 0 "${1:-1920x1080}x24" -nolisten tcp -noreset \
        3>"$fifo" {pipe}<&- >"$E2E_TMP/xvfb.log" 2>&1
    read -r -t 20 -u "$pipe" n || e2e_fail "Xvfb did not start"
    exec {pipe}<&-
    export DISPLAY=":$n"
}

_e2e_wm_running() {
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'
}

e2e_start_wm() {
    local rc="$E2E_TMP/openbox-rc.xml"
    # Debian's openbox binds Print itself, which would take the key from us.
    perl -0pe 's{<keybind key="(?:A-)?Print">.*?</keybind>\s*}{}gs' /etc/xdg/openbox/rc.xml >"$rc"
    grep -q 'key="Print"' "$rc" && e2e_fail "could not remove openbox's Print binding"
    e2e_bg openbox openbox --config-file "$rc"
    e2e_poll 15 _e2e_wm_running || e2e_fail "openbox did not start"
}

e2e_wait_window() {
    local regex=$1 seconds=${2:-20} id
    id=$(timeout "$seconds" xdotool search --sync --onlyvisible --name "$regex" 2>/dev/null |
        head -n 1) || true
    [ -n "$id" ] || return 1
    echo "$id"
}

e2e_wait_window_of() {
    local pid=$1 regex=$2 seconds=${3:-20} id
    id=$(timeout "$seconds" xdotool search --all --sync --onlyvisible --pid "$pid" --name "$regex" \
        2>/dev/null | head -n 1) || true
    [ -n "$id" ] || return 1
    echo "$id"
}

e2e_focus() {
    if _e2e_wm_running; then
        xdotool windowactivate --sync "$1" >/dev/null 2>&1 || true
    else
        xdotool windowfocus --sync "$1" >/dev/null 2>&1 || true
    fi
}

e2e_exit_code() {
    local pid=$1 seconds=${2:-10}
    E2E_EXIT_CODE=
    e2e_wait_gone "$pid" "$seconds" || return 1
    E2E_EXIT_CODE=0
    wait "$pid" 2>/dev/null || E2E_EXIT_CODE=$?
}

e2e_wait_gone() {
    local pid=$1 seconds=${2:-10}
    e2e_poll "$seconds" bash -c "! kill -0 $pid 2>/dev/null"
}

e2e_start_app() {
    local prefix=${1:-APP}
    e2e_bg "$prefix" "$NUMARIKA"
    local pid=$E2E_BG_PID
    printf -v "${prefix}_PID" '%s' "$pid"
    if [ "$prefix" = APP ]; then
        local wid
        wid=$(e2e_wait_window '^ヌマリカ Ver1\.00$' 30) ||
            e2e_fail "the main window did not appear: $(cat "$E2E_TMP/$prefix.log")"
        printf -v "${prefix}_WID" '%s' "$wid"
    fi
}
