#!/usr/bin/env bash
# Shared helpers of the end-to-end tests: a private Xvfb, optionally openbox, and the real
# program, driven from outside like a user. Every process a test starts runs in a process group
# of its own and is ended with the test, whichever way it ends; everything the test, the program
# and the tools write stays in the test's scratch folder. Source this file from a test script,
# or one of the helper libraries built on it (hotkey_lib.sh, scan_lib.sh, output_lib.sh).
#
#   e2e_start_x [WxH]             Xvfb on a free display; exports DISPLAY
#   e2e_start_wm                  openbox with Debian's configuration less its Print bindings
#                                 (with E2E_OPENBOX_STILL=1 also without its iconify animation)
#   e2e_launch_app                starts $NUMARIKA; sets APP_PID
#   e2e_start_app                 the same, and waits for its main window; sets APP_WID
#   e2e_bg NAME CMD...            starts a helper process, its output in NAME.log, ended with
#                                 the test; sets E2E_BG_PID
#   e2e_window_id REGEX [PID]     prints a visible window whose name matches, of process PID
#                                 only if given; fails if there is none
#   e2e_wait_window REGEX [S [PID]]  the same, waiting up to S seconds (20)
#   e2e_wait_no_window REGEX [S]  waits until no visible window's name matches
#   e2e_geometry WID [outer]      prints "X Y W H" of a window on the screen; outer: with the
#                                 window manager's frame
#   e2e_viewable WID              whether the window is mapped and viewable
#   e2e_focus [WID]               gives a window (the main window) the keyboard focus; under a
#                                 window manager it activates it
#   e2e_menu WID LETTER KEYS...   opens the menu of Alt+LETTER in that window, presses KEYS in it
#   e2e_wait_clipboard_png MSG    waits until the clipboard offers image/png, else fails (MSG)
#   e2e_clipboard_png OUT         the clipboard's picture as PNG, as another program gets it
#   e2e_wait_gone PID [S]         waits for a process to end
#   e2e_expect_exit PID S WHAT    waits up to S seconds for a process started here to end with
#                                 exit code 0, else fails, naming WHAT
#   e2e_poll S CMD...             runs CMD until it succeeds or S seconds are up
#   e2e_program_pids              the processes of $NUMARIKA this test started, also those they
#                                 started in turn (they carry this test's E2E_TMP)
#   e2e_fail MESSAGE              ends the test as failed
#   e2e_at_cleanup FUNCTION       runs FUNCTION first when the test ends, however it ends
#   E2E_TMP                       the test's scratch folder, removed at the end
set -euo pipefail

_e2e_cleanups=()
e2e_at_cleanup() { _e2e_cleanups+=("$1"); }

_e2e_groups_gone() {
    local group
    for group in "${_e2e_groups[@]}"; do ! kill -0 -- "-$group" 2>/dev/null || return 1; done
}

# Runs on every way out: the script's end, e2e_fail, a failed command, a signal. No step may
# stop the ones after it.
_e2e_cleanup() {
    local status=$? i group log
    set +e
    trap '' TERM INT HUP
    # A failed test shows which windows were on the screen.
    if [ "$status" -ne 0 ] && [ -n "${DISPLAY:-}" ]; then
        echo "--- visible windows" >&2
        timeout 5 xdotool search --onlyvisible --name '' getwindowname %@ >&2 2>/dev/null
    fi
    for ((i = ${#_e2e_cleanups[@]} - 1; i >= 0; i--)); do "${_e2e_cleanups[i]}"; done
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
_e2e_groups=() _e2e_apps=0
trap _e2e_cleanup EXIT
trap 'exit 129' HUP && trap 'exit 130' INT
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
# shellcheck disable=SC2016 # expanded by the watchdog's own shell
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

_e2e_wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

e2e_start_wm() {
    local rc="$E2E_TMP/openbox-rc.xml"
    # Debian's openbox binds Print itself, which would take the key from us.
    perl -0pe 's{<keybind key="(?:A-)?Print">.*?</keybind>\s*}{}gs' /etc/xdg/openbox/rc.xml >"$rc"
    grep -q 'key="Print"' "$rc" && e2e_fail "could not remove openbox's Print binding"
    if [ -n "${E2E_OPENBOX_STILL:-}" ]; then
        sed -i 's|<animateIconify>yes</animateIconify>|<animateIconify>no</animateIconify>|' "$rc"
        grep -q '<animateIconify>no' "$rc" || e2e_fail "could not stop openbox's animation"
    fi
    e2e_bg openbox openbox --config-file "$rc"
    e2e_poll 15 _e2e_wm_running || e2e_fail "openbox did not start"
}

e2e_window_id() {
    local id
    id=$(xdotool search --all --onlyvisible ${2:+--pid "$2"} --name "$1" 2>/dev/null |
        head -n 1) || true
    [ -n "$id" ] || return 1
    echo "$id"
}

e2e_wait_window() { e2e_poll "${2:-20}" e2e_window_id "$1" "${3:-}"; }
_e2e_no_window() { ! e2e_window_id "$1" >/dev/null; }
e2e_wait_no_window() { e2e_poll "${2:-20}" _e2e_no_window "$1"; }

e2e_geometry() {
    local extents=
    if [ "${2:-}" = outer ]; then
        extents=$(xprop -id "$1" -notype _NET_FRAME_EXTENTS 2>/dev/null) || true
    fi
    # _NET_FRAME_EXTENTS = left, right, top, bottom; none without a window manager.
    xwininfo -id "$1" | awk -v e="$extents" '
        BEGIN { f[1] = f[2] = f[3] = f[4] = 0; if (sub(/.*= /, "", e)) split(e, f, /, */) }
        /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
        /^ *Width:/ {w = $NF} /^ *Height:/ {h = $NF}
        END {print x - f[1], y - f[3], w + f[1] + f[2], h + f[3] + f[4]}'
}

e2e_viewable() { xwininfo -id "$1" 2>/dev/null | grep -q 'Map State: IsViewable'; }

# The main window has no focus without a window manager unless it is given it.
e2e_focus() {
    local wid=${1:-$APP_WID}
    if _e2e_wm_running; then
        xdotool windowactivate --sync "$wid" >/dev/null 2>&1 || true
    else
        xdotool windowfocus --sync "$wid" >/dev/null 2>&1 || true
    fi
}

# An open menu is a second visible window of the process.
_e2e_popup_open() {
    [ "$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | wc -l)" -ge 2 ]
}

e2e_menu() {
    local wid=$1 letter=$2 pid
    shift 2
    pid=$(xdotool getwindowpid "$wid") || e2e_fail "no process owns window $wid"
    e2e_focus "$wid"
    xdotool key --clearmodifiers "alt+$letter"
    # The keys that follow belong to the menu once it is open.
    e2e_poll 10 _e2e_popup_open "$pid" || e2e_fail "the menu alt+$letter did not open"
    xdotool key --clearmodifiers "$@"
}

_e2e_clipboard_has_png() {
    xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -x 'image/png' >/dev/null
}
e2e_wait_clipboard_png() { e2e_poll 20 _e2e_clipboard_has_png || e2e_fail "$1"; }

e2e_clipboard_png() {
    timeout 30 xclip -selection clipboard -t image/png -o >"$1" ||
        e2e_fail "could not read the clipboard's picture"
}

_e2e_gone() { ! kill -0 "$1" 2>/dev/null; }
e2e_wait_gone() { e2e_poll "${2:-10}" _e2e_gone "$1"; }

e2e_expect_exit() {
    local code=0
    e2e_wait_gone "$1" "$2" || e2e_fail "$3: the program did not end"
    wait "$1" 2>/dev/null || code=$?
    [ "$code" = 0 ] || e2e_fail "$3: exit code $code"
}

e2e_launch_app() {
    _e2e_apps=$((_e2e_apps + 1))
    e2e_bg "numarika$_e2e_apps" "$NUMARIKA"
    APP_PID=$E2E_BG_PID APP_WID=
}

e2e_start_app() {
    e2e_launch_app
    APP_WID=$(e2e_wait_window '^ヌマリカ Ver1\.00$' 30 "$APP_PID") ||
        e2e_fail "the main window did not appear"
}

e2e_program_pids() {
    local exe pid
    # The command in front becomes the program proper, under libexec beside it.
    exe=$(readlink -f "$NUMARIKA")
    exe="${exe%/*}/libexec/numarika/numarika"
    for pid in $(pgrep -x "${exe##*/}"); do
        [ "$(readlink "/proc/$pid/exe" 2>/dev/null)" = "$exe" ] || continue
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "E2E_TMP=$E2E_TMP" &&
            echo "$pid"
    done
    return 0
}
