#!/usr/bin/env bash
# The Print Screen hot key of the real program, seen from outside: who holds the key, what a
# press does, what a second copy says, and that every way of ending the program lets the key
# go. The test scripts run it without and with a window manager.
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

: "${E2E_BUILD_DIR:?E2E_BUILD_DIR must name the build directory}"
PROBE="$E2E_BUILD_DIR/tests/platform/x11_probe"
[ -x "$PROBE" ] || e2e_fail "missing $PROBE (build the tests)"

MAIN_TITLE='^ヌマリカ Ver1\.00$'
BOX_TITLE='^ヌマリカ$'
HELP_TITLE='^ヘルプ$'

hotkey_held() { ! "$PROBE" print-key >/dev/null; }
hotkey_free() { "$PROBE" print-key >/dev/null; }

# Starts a copy that is expected to get the key: its main window opens with no message box.
hotkey_start_holder() {
    e2e_start_app
    # The refusal would have been shown before the window: none may be there now.
    if e2e_window_id "$BOX_TITLE" "$APP_PID" >/dev/null; then
        e2e_fail "the hot key was refused"
    fi
    hotkey_held || e2e_fail "Print is not held after start-up"
}

# Ends the program in process PID (main window WID) by METHOD and checks that it ended
# cleanly and let the key go.
hotkey_close_by() {
    local method=$1 pid=$2 wid=$3
    case $method in
        # ファイル > 終了: the last entry, and the only one enabled before a scan.
        menu) e2e_menu "$wid" f Up Return ;;
        wm-delete) "$PROBE" close "$wid" ;;                                # the close box's message
        alt-f4) e2e_focus "$wid" && xdotool key --clearmodifiers alt+F4 ;; # openbox's own close
        sigterm) kill -TERM "$pid" ;;
        sigint) kill -INT "$pid" ;;
        sigterm-help)
            # A modal help window in front: the signal closes it and then the program.
            e2e_menu "$wid" h Down Return
            e2e_wait_window "$HELP_TITLE" 20 "$pid" >/dev/null ||
                e2e_fail "the help window did not open"
            kill -TERM "$pid"
            ;;
        *) e2e_fail "unknown close method $method" ;;
    esac
    e2e_expect_exit "$pid" 15 "$method"
    hotkey_free || e2e_fail "$method: Print is still held after the program ended"
}

# METHOD...: the ways of ending the program to try; the first ends the copy that holds the key
# while a second copy runs.
hotkey_scenarios() {
    local first_pid first_wid box method

    # A press from another process reaches the program: the scan puts the screen on the
    # clipboard.
    hotkey_start_holder
    first_pid=$APP_PID first_wid=$APP_WID
    xdotool key Print
    e2e_wait_clipboard_png "Print did not start a scan (no picture on the clipboard)"

    # A second copy is refused: one message box, then its window opens all the same.
    e2e_launch_app
    box=$(e2e_wait_window "$BOX_TITLE" 30 "$APP_PID") || e2e_fail "the second copy showed no message"
    e2e_focus "$box"
    xdotool key --clearmodifiers Return
    APP_WID=$(e2e_wait_window "$MAIN_TITLE" 30 "$APP_PID") ||
        e2e_fail "the second copy's window did not open after the message"
    if e2e_window_id "$BOX_TITLE" "$APP_PID" >/dev/null; then
        e2e_fail "the message is still there after Return"
    fi
    hotkey_held || e2e_fail "the first copy lost the key"

    # The first copy ends: the key is free again although the second copy still runs.
    hotkey_close_by "$1" "$first_pid" "$first_wid"
    hotkey_close_by sigterm "$APP_PID" "$APP_WID"

    # Every other way of ending lets the key go too; each new copy gets it without a word.
    shift
    for method in "$@"; do
        hotkey_start_holder
        hotkey_close_by "$method" "$APP_PID" "$APP_WID"
    done
}
