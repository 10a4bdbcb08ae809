#!/usr/bin/env bash
# The program opens its main window centred, with its icon, on a bare X server and under a
# window manager, and says clearly why it cannot start without a display.
source "$(dirname "$0")/lib.sh"

# The frame's centre within a pixel of the screen's centre.
_centred() {
    local x y w h
    read -r x y w h < <(e2e_geometry "$APP_WID" outer)
    local dx=$((2 * x + w - 1280)) dy=$((2 * y + h - 800))
    ((dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2))
}

_check_window() {
    e2e_viewable "$APP_WID" || e2e_fail "main window not viewable"
    e2e_poll 5 _centred || e2e_fail "not centred ($1): $(e2e_geometry "$APP_WID" outer) on 1280x800"
    xprop -id "$APP_WID" _NET_WM_ICON | grep -q 'Icon (32 x 32)' ||
        e2e_fail "no 32 x 32 window icon ($1)"
    kill -TERM "$APP_PID"
    e2e_expect_exit "$APP_PID" 10 "SIGTERM ($1)"
}

e2e_start_x 1280x800
e2e_start_app
_check_window "no window manager"
e2e_start_wm
e2e_start_app
_check_window openbox

# Without a display the program explains itself and fails.
code=0
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$NUMARIKA" 2>&1) || code=$?
[ "$code" = 2 ] || e2e_fail "exit code $code without a display"
grep -q 'no desktop (neither WAYLAND_DISPLAY nor DISPLAY is set)' <<<"$out" ||
    e2e_fail "unclear message without a display: $out"
code=0
out=$(env -u DISPLAY -u QT_QPA_PLATFORM WAYLAND_DISPLAY=wayland-gone "$NUMARIKA" 2>&1) || code=$?
[ "$code" = 2 ] || e2e_fail "exit code $code with a Wayland display that cannot be reached"
grep -q 'cannot connect to Wayland display wayland-gone' <<<"$out" || e2e_fail "unclear message: $out"

# A display that cannot be opened: our message, not Qt's abort.
code=0
out=$(env -u QT_QPA_PLATFORM DISPLAY=:4093 "$NUMARIKA" 2>&1) || code=$?
[ "$code" = 2 ] || e2e_fail "exit code $code with a display that cannot be opened: $out"
grep -q 'cannot open X display :4093' <<<"$out" || e2e_fail "unclear message: $out"
grep -q 'Xディスプレイ :4093 に接続できませんでした。' <<<"$out" || e2e_fail "no Japanese message: $out"
echo "PASS"
