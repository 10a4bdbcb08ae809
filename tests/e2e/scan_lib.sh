#!/usr/bin/env bash
# Helpers of the end-to-end scan tests (test_scan*.sh), and of the output tests through
# output_lib.sh.
#
#   scan_setup WxH               X server with the position pattern on the root; PATTERN names
#                                its PNG
#   scan_wait_canvas [PX PY]     waits until the screen shows the canvas with the pattern (and,
#                                with PX PY, the test cursor there); screenshot in SHOT
#   scan_full_screen_test WxH [DPI]
#   SCAN_TOOL                    tests/capture/scan_e2e_tool
# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

: "${E2E_BUILD_DIR:?E2E_BUILD_DIR must name the build directory}"
SCAN_TOOL="$E2E_BUILD_DIR/tests/capture/scan_e2e_tool"
[ -x "$SCAN_TOOL" ] || e2e_fail "missing $SCAN_TOOL (build the tests)"

scan_setup() {
    e2e_start_x "$1"
    PATTERN="$E2E_TMP/pattern.png"
    "$SCAN_TOOL" pattern-root "$PATTERN" || e2e_fail "could not draw the pattern"
}

_scan_canvas_shown() {
    local x y w h
    import -window root "$SHOT" 2>/dev/null || return 1
    read -r x y w h < <(e2e_geometry "$APP_WID")
    "$SCAN_TOOL" check-canvas "$SHOT" "$x" "$y" "$w" "$h" "$@" >"$E2E_TMP/canvas.log" 2>&1
}

scan_wait_canvas() {
    SHOT="$E2E_TMP/shot.png"
    # While the window is off the screen the root shows the same pattern the canvas will.
    e2e_poll 20 e2e_viewable "$APP_WID" || e2e_fail "the window did not come back"
    e2e_poll 20 _scan_canvas_shown "$@" ||
        e2e_fail "the canvas does not show the screen: $(cat "$E2E_TMP/canvas.log")"
    cat "$E2E_TMP/canvas.log"
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
    e2e_start_app
    local clip="$E2E_TMP/clip.png"

    xdotool mousemove --sync 100 80
    e2e_menu "$APP_WID" s Return
    e2e_wait_clipboard_png "the scan put no picture on the clipboard"
    scan_wait_canvas 100 80
    e2e_clipboard_png "$clip"
    "$SCAN_TOOL" compare "$clip" "$PATTERN" || e2e_fail "the clipboard's picture is not the screen"
    e2e_viewable "$APP_WID" || e2e_fail "the window did not come back"

    # Print Screen, anywhere on the desktop, runs the same scan.
    xdotool mousemove --sync 300 200
    xdotool key Print
    scan_wait_canvas 300 200
    e2e_clipboard_png "$clip"
    "$SCAN_TOOL" compare "$clip" "$PATTERN" || e2e_fail "the clipboard's picture is not the screen"
    e2e_viewable "$APP_WID" || e2e_fail "the window did not come back"
}
