#!/usr/bin/env bash
# Helpers of the end-to-end scan tests (tests/e2e/test_scan*.sh); source after lib.sh.
#
#   scan_setup WxH               X server with the position pattern on the root; PATTERN names
#                                its PNG
#   scan_start_app               the program, its main window ready for keys (APP_PID, APP_WID)
#   scan_geometry                prints "X Y W H" of the main window's client area on the screen
#   scan_menu LETTER KEYS...     opens a menu by Alt+LETTER and presses KEYS in it (xdotool)
#   scan_wait_clipboard_picture  waits until the clipboard offers image/png
#   scan_clipboard_png OUT       the clipboard's picture as PNG, as another program gets it
#   scan_wait_canvas PX PY       waits until the screen shows the canvas with the pattern (and,
#                                with PX PY, the test cursor there); screenshot in SHOT
#   SCAN_TOOL                    tests/capture/scan_e2e_tool

: "${E2E_BUILD_DIR:?E2E_BUILD_DIR must name the build directory}"
SCAN_TOOL="$E2E_BUILD_DIR/tests/capture/scan_e2e_tool"
[ -x "$SCAN_TOOL" ] || e2e_fail "missing $SCAN_TOOL (build the tests)"

scan_setup() {
    e2e_start_x "$1"
    PATTERN="$E2E_TMP/pattern.png"
    "$SCAN_TOOL" pattern-root "$PATTERN" || e2e_fail "could not draw the pattern"
}

# The main window has no focus without a window manager unless it is given it.
scan_focus_app() {
    if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
        xdotool windowactivate --sync "$APP_WID" >/dev/null 2>&1 || true
    else
        xdotool windowfocus --sync "$APP_WID" >/dev/null 2>&1 || true
    fi
}

scan_start_app() {
    e2e_start_app
    scan_focus_app
}

scan_geometry() {
    xwininfo -id "$APP_WID" | awk '
        /Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF}
        /^  Width/ {w=$NF} /^  Height/ {h=$NF}
        END {print x, y, w, h}'
}

scan_menu() {
    local letter=$1
    shift
    scan_focus_app
    xdotool key --clearmodifiers "alt+$letter"
    # The keys that follow belong to the menu once it is open.
    e2e_poll 10 _scan_popup_open || e2e_fail "the menu alt+$letter did not open"
    xdotool key --clearmodifiers "$@"
}

_scan_popup_open() {
    [ "$(xdotool search --onlyvisible --pid "$APP_PID" 2>/dev/null | wc -l)" -ge 2 ]
}

_scan_has_png() {
    xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx 'image/png'
}

scan_wait_clipboard_picture() {
    e2e_poll "${1:-20}" _scan_has_png || e2e_fail "no picture on the clipboard"
}

scan_clipboard_png() {
    timeout 30 xclip -selection clipboard -t image/png -o >"$1" ||
        e2e_fail "could not read the clipboard's picture"
}

_scan_canvas_shown() {
    import -window root "$SHOT" 2>/dev/null || return 1
    # shellcheck disable=SC2046
    "$SCAN_TOOL" check-canvas "$SHOT" $(scan_geometry) "$@" >"$E2E_TMP/canvas.log" 2>&1
}

scan_wait_canvas() {
    SHOT="$E2E_TMP/shot.png"
    e2e_poll 20 _scan_canvas_shown "$@" ||
        e2e_fail "the canvas does not show the screen: $(cat "$E2E_TMP/canvas.log")"
    cat "$E2E_TMP/canvas.log"
}

_scan_viewable() {
    xwininfo -id "$APP_WID" 2>/dev/null | grep -q 'Map State: IsViewable'
}

# The whole screen at SIZE, without a window manager: by the menu and by the Print Screen
# key, the canvas shows the screen with the cursor where the pointer stood, and another
# program reads the screen picture, pixel for pixel and without the program's window, from
# the clipboard. With DPI the desktop announces that resolution (Xft.dpi), as a high
# resolution desktop does: still one picture pixel per screen pixel.
scan_full_screen_test() {
    scan_setup "$1"
    if [ -n "${2:-}" ]; then
        xprop -root -format RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	$2" ||
            e2e_fail "could not set Xft.dpi"
    fi
    "$SCAN_TOOL" root-cursor || e2e_fail "could not set the root cursor"
    scan_start_app
    local clip="$E2E_TMP/clip.png"

    xdotool mousemove --sync 100 80
    scan_menu s Return
    scan_wait_clipboard_picture
    scan_wait_canvas 100 80
    scan_clipboard_png "$clip"
    "$SCAN_TOOL" compare "$clip" "$PATTERN" || e2e_fail "the clipboard's picture is not the screen"
    _scan_viewable || e2e_fail "the window did not come back"

    # Print Screen, anywhere on the desktop, runs the same scan.
    xdotool mousemove --sync 300 200
    xdotool key Print
    scan_wait_canvas 300 200
    scan_clipboard_png "$clip"
    "$SCAN_TOOL" compare "$clip" "$PATTERN" || e2e_fail "the clipboard's picture is not the screen"
    _scan_viewable || e2e_fail "the window did not come back"
}
