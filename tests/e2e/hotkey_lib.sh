#!/usr/bin/env bash
# The Print Screen hot key of the real program, seen from outside: who holds the key, what a
# press does, what a second copy says, and that every way of ending the program lets the key
# go. Source after lib.sh; the test scripts run it without and with a window manager.

: "${E2E_BUILD_DIR:?E2E_BUILD_DIR must name the build directory}"
PROBE="$E2E_BUILD_DIR/tests/platform/x11_probe"
[ -x "$PROBE" ] || e2e_fail "missing $PROBE (build the tests)"

MAIN_TITLE='^ヌマリカ Ver1\.00$'
BOX_TITLE='^ヌマリカ$'
HELP_TITLE='^ヘルプ$'

hotkey_held() { ! "$PROBE" print-key >/dev/null; }
hotkey_free() { "$PROBE" print-key >/dev/null; }

_hotkey_has_png() {
    xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx 'image/png'
}

# Opens the menu of Alt+LETTER in the window of process PID and presses KEYS in it.
hotkey_menu() {
    local pid=$1 wid=$2 letter=$3
    shift 3
    e2e_focus "$wid"
    xdotool key --clearmodifiers "alt+$letter"
    _popup_open() { [ "$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l)" -ge 2 ]; }
    e2e_poll 10 _popup_open || e2e_fail "the menu alt+$letter did not open"
    xdotool key --clearmodifiers "$@"
}

# Starts a copy that is expected to get the key: its main window opens with no message box.
hotkey_start_holder() {
    local prefix=$1 pid wid
    e2e_start_app "$prefix"
    pid=${prefix}_PID
    pid=${!pid}
    wid=$(e2e_wait_window_of "$pid" "$MAIN_TITLE" 30) ||
        e2e_fail "$prefix: the main window did not appear: $(cat "$E2E_TMP/$prefix.log")"
    printf -v "${prefix}_WID" '%s' "$wid"
    # The refusal would have been shown before the window: none may be there now.
    if xdotool search --all --onlyvisible --pid "$pid" --name "$BOX_TITLE" >/dev/null 2>&1; then
        e2e_fail "$prefix: the hot key was refused"
    fi
    hotkey_held || e2e_fail "$prefix: Print is not held after start-up"
}

# Ends the program in process PID (main window WID) by METHOD and checks that it ended
# cleanly and let the key go.
hotkey_close_by() {
    local method=$1 pid=$2 wid=$3
    case $method in
        # ファイル > 終了: the last entry, and the only one enabled before a scan.
        menu) hotkey_menu "$pid" "$wid" f Up Return ;;
        wm-delete) "$PROBE" close "$wid" ;;                   # the close box's message
        alt-f4) e2e_focus "$wid" && xdotool key --clearmodifiers alt+F4 ;;  # openbox's own close
        sigterm) kill -TERM "$pid" ;;
        sigint) kill -INT "$pid" ;;
        sigterm-help)
            # A modal help window in front: the signal closes it and then the program.
            hotkey_menu "$pid" "$wid" h Down Return
            e2e_wait_window_of "$pid" "$HELP_TITLE" 20 >/dev/null ||
                e2e_fail "the help window did not open"
            kill -TERM "$pid"
            ;;
        *) e2e_fail "unknown close method $method" ;;
    esac
    e2e_exit_code "$pid" 15 || e2e_fail "$method: the program did not end"
    [ "$E2E_EXIT_CODE" = 0 ] || e2e_fail "$method: exit code $E2E_EXIT_CODE"
    hotkey_free || e2e_fail "$method: Print is still held after the program ended"
}

hotkey_scenarios() {
    local methods=("$@") n=0 method

    # A press from another process reaches the program: the scan puts the screen on the
    # clipboard.
    hotkey_start_holder APP
    xdotool key Print
    e2e_poll 20 _hotkey_has_png || e2e_fail "Print did not start a scan (no picture on the clipboard)"

    # A second copy is refused: one message box, then its window opens all the same.
    e2e_start_app APP2
    local box
    box=$(e2e_wait_window_of "$APP2_PID" "$BOX_TITLE" 30) ||
        e2e_fail "the second copy showed no message: $(cat "$E2E_TMP/APP2.log")"
    e2e_focus "$box"
    xdotool key --clearmodifiers Return
    APP2_WID=$(e2e_wait_window_of "$APP2_PID" "$MAIN_TITLE" 30) ||
        e2e_fail "the second copy's window did not open after the message"
    xdotool search --all --onlyvisible --pid "$APP2_PID" --name "$BOX_TITLE" >/dev/null 2>&1 &&
        e2e_fail "the message is still there after Return"
    hotkey_held || e2e_fail "the first copy lost the key"

    # The first copy ends: the key is free again although the second copy still runs.
    hotkey_close_by "${methods[0]}" "$APP_PID" "$APP_WID"
    hotkey_close_by sigterm "$APP2_PID" "$APP2_WID"

    # Every other way of ending lets the key go too; each new copy gets it without a word.
    for method in "${methods[@]:1}"; do
        n=$((n + 1))
        hotkey_start_holder "APP$((n + 2))"
        local pid_var="APP$((n + 2))_PID" wid_var="APP$((n + 2))_WID"
        hotkey_close_by "$method" "${!pid_var}" "${!wid_var}"
    done
}
