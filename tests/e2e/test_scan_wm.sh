#!/usr/bin/env bash
# Under a window manager the window and its frame leave the picture, and a maximised window
# comes back in the normal state, no longer above the others, and active.
source "$(dirname "$0")/scan_lib.sh"

scan_setup 1920x1080
e2e_start_wm
e2e_start_app

_maximised() { xprop -id "$APP_WID" _NET_WM_STATE | grep -q '_NET_WM_STATE_MAXIMIZED_VERT'; }
"$SCAN_TOOL" wm-state "$APP_WID" add _NET_WM_STATE_MAXIMIZED_VERT _NET_WM_STATE_MAXIMIZED_HORZ
e2e_poll 10 _maximised || e2e_fail "openbox did not maximise the window"

e2e_menu "$APP_WID" s Return
e2e_wait_clipboard_png "the scan put no picture on the clipboard"
clip="$E2E_TMP/clip.png"
e2e_clipboard_png "$clip"
# Not a pixel of the window or its title bar.
"$SCAN_TOOL" compare "$clip" "$PATTERN" || e2e_fail "the window or its frame is in the picture"

_back() {
    e2e_viewable "$APP_WID" &&
        xprop -id "$APP_WID" WM_STATE | grep -q 'window state: Normal'
}
e2e_poll 10 _back || e2e_fail "the window did not come back"
_settled() { ! xprop -id "$APP_WID" _NET_WM_STATE | grep -q -E 'MAXIMIZED|HIDDEN|ABOVE'; }
e2e_poll 10 _settled || e2e_fail "window state after the scan: $(xprop -id "$APP_WID" _NET_WM_STATE)"
_active() { [ "$(xdotool getactivewindow 2>/dev/null)" = "$APP_WID" ]; }
e2e_poll 10 _active || e2e_fail "the window is not active after the scan"
scan_wait_canvas
echo "PASS"
