#!/usr/bin/env bash
# Shared helpers of the end-to-end tests: a private Xvfb, optionally openbox, and the real
# program, all ended when the test script exits. Source this file from a test script.
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
#   e2e_bg CMD...              starts a helper process that is ended with the test
#   e2e_program_pids           the processes of $NUMARIKA this test started, also those they
#                              started in turn (they carry this test's E2E_TMP)
#   e2e_adopt PID...           ends those processes with the test too
#   E2E_TMP                    a scratch folder removed at the end
set -euo pipefail

: "${NUMARIKA:?NUMARIKA must name the numarika binary}"
E2E_TMP=$(mktemp -d)
export E2E_TMP
_e2e_pids=()
export XDG_RUNTIME_DIR="$E2E_TMP/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"
export HOME="$E2E_TMP/home"
mkdir -p "$HOME"
# Our Japanese texts and Qt's own dialogs need a Japanese-capable locale.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
# The real program on the test's X server, whatever platform the unit tests use.
unset QT_QPA_PLATFORM

_e2e_any_alive() {
    local pid
    for pid in "$@"; do kill -0 "$pid" 2>/dev/null && return 0; done
    return 1
}

_e2e_cleanup() {
    local status=$? pid deadline log
    # Newest first: the programs before the window manager before the X server.
    for ((i = ${#_e2e_pids[@]} - 1; i >= 0; i--)); do
        pid=${_e2e_pids[i]}
        kill "$pid" 2>/dev/null || true
    done
    # A process that ignores SIGTERM must not hold up the test run.
    deadline=$((SECONDS + 5))
    while _e2e_any_alive "${_e2e_pids[@]}" && ((SECONDS < deadline)); do sleep 0.05; done
    for pid in "${_e2e_pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    for pid in "${_e2e_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    # A failed test shows what the programs said.
    if [ "$status" -ne 0 ]; then
        for log in "$E2E_TMP"/*.log; do
            [ -s "$log" ] || continue
            echo "--- ${log##*/}" >&2
            tail -n 40 "$log" >&2
        done
    fi
    rm -rf "$E2E_TMP"
}
trap _e2e_cleanup EXIT

e2e_fail() {
    echo "FAIL: $*" >&2
    exit 1
}

e2e_bg() {
    "$@" &
    _e2e_pids+=($!)
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

e2e_start_x() {
    local size=${1:-1920x1080}
    local fifo="$E2E_TMP/displayfd"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$fifo" \
        >"$E2E_TMP/xvfb.log" 2>&1 &
    _e2e_pids+=($!)
    local n
    read -r -t 20 n <"$fifo" || e2e_fail "Xvfb did not start: $(cat "$E2E_TMP/xvfb.log")"
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
    e2e_bg openbox --config-file "$rc"
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
    "$NUMARIKA" >"$E2E_TMP/$prefix.log" 2>&1 &
    local pid=$!
    _e2e_pids+=("$pid")
    printf -v "${prefix}_PID" '%s' "$pid"
    if [ "$prefix" = APP ]; then
        local wid
        wid=$(e2e_wait_window '^ヌマリカ Ver1\.00$' 30) ||
            e2e_fail "the main window did not appear: $(cat "$E2E_TMP/$prefix.log")"
        printf -v "${prefix}_WID" '%s' "$wid"
    fi
}

e2e_program_pids() {
    local exe pid
    exe=$(readlink -f "$NUMARIKA")
    for pid in $(pgrep -x "${exe##*/}"); do
        [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$exe" ] || continue
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "E2E_TMP=$E2E_TMP" &&
            echo "$pid"
    done
    return 0
}

e2e_adopt() {
    _e2e_pids+=("$@")
}
