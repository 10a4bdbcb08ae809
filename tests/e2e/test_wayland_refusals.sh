#!/usr/bin/env bash
# On a Wayland desktop that refuses or lacks what the program needs, the user is told in the
# program's own words and nothing stale or black is offered as the screen: no global
# shortcuts (the key is refused once, at the start: no scan repeats it), a portal
# that refuses or never answers (the scan's error path, within its time-out, the window
# usable afterwards), and the program forced onto Xwayland, whose root window holds no picture.
# shellcheck source=wayland_lib.sh
source "$(dirname "$0")/wayland_lib.sh"

SCAN_TOOL="$E2E_BUILD_DIR/tests/capture/scan_e2e_tool"
screen="$E2E_TMP/screen.png"
python3 "$(dirname "$0")/distinct_pixels_png.py" 800x600 "$screen"
clip="$E2E_TMP/clip.png"
_no_picture() { ! _wl_has_png; }
_box_up() { ! _wl_no_box; }

# A scan that must end on its error path: its boxes, then the window back and usable.
scan() { wl_menu s Return; }
expect_scan_error() {
    local what=$1 boxes=$2 start=$SECONDS
    wl_clipboard_clear
    scan
    while ((boxes-- > 0)); do wl_close_box "${3:-20}"; done
    _no_picture || e2e_fail "$what: a picture on the clipboard after a failed scan"
    [ -z "${DISPLAY:-}" ] || ! _x11_has_png || e2e_fail "$what: a picture for X11 programs"
    _wl_main_window
    echo "$what: the error path in $((SECONDS - start)) s"
}

wl_start_desktop 800x600 --background "$screen" --float --screenshot refuse --no-global-shortcuts
wl_keyboard
# The portal that never answers ends the scan after 15 s here, not after the two minutes a
# person answering a dialog gets; sway lets programs copy the screen themselves, so the portal
# is asked only when told to.
wl_bg app env NUMARIKA_PORTAL_TIMEOUT_MS=15000 NUMARIKA_SCREEN=portal "$NUMARIKA"
APP_PID=$WL_PID
# No global shortcuts: the start says so before the window is used.
wl_close_box 30
_wl_main_window
expect_scan_error "portal refusing" 1
# Cancelled by the user in the desktop's own dialog: the same.
wl_set_screenshot_mode refuse:1
expect_scan_error "portal cancelled" 1
# A portal that never answers: the error path once the time-out has passed.
wl_set_screenshot_mode never
expect_scan_error "portal silent" 1 30
# And the portal answering again: the scan works as before, and says nothing.
wl_set_screenshot_mode grim
wl_menu s Return
wl_scan_picture "$clip"
"$SCAN_TOOL" compare "$clip" "$screen" || e2e_fail "the scan after the failures is not the screen"
_wl_main_window
! e2e_poll 2 _box_up || e2e_fail "a message after the scan (the refusal again?)"
wl_stop_desktop

# Forced onto Xwayland (QT_QPA_PLATFORM=xcb inside the Wayland session): the picture comes from
# the portal, never from Xwayland's black root window.
wl_start_desktop 800x600 --background "$screen" --float --xwayland
wl_keyboard
wl_bg app env QT_QPA_PLATFORM=xcb "$NUMARIKA"
APP_PID=$WL_PID
_wl_main_window
# Scans by numarika --scan now: the keys of the test's virtual keyboard reach Xwayland's
# windows with a new keymap each time.
scan() { timeout 10 "$NUMARIKA" --scan || e2e_fail "numarika --scan failed"; }
scan
# An X11 program now: its clipboard is read on the X side.
_x11_has_png() { xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx image/png; }
e2e_poll 20 _x11_has_png || e2e_fail "under Xwayland no picture on the clipboard"
timeout 10 xclip -selection clipboard -t image/png -o >"$clip" || e2e_fail "xclip read nothing"
"$SCAN_TOOL" compare "$clip" "$screen" || e2e_fail "under Xwayland the picture is not the screen"
wl_set_screenshot_mode refuse:2
expect_scan_error "Xwayland, portal refusing" 1
echo "PASS"
