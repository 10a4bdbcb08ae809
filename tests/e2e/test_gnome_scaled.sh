#!/usr/bin/env bash
# On GNOME with its monitor at 1.5 (fractional scaling on), the canvas shows the scanned screen
# one picture pixel to one screen pixel, on random noise, where any blending shows. With Qt 6.5
# and later, which draw at 1.5 themselves; not built with Qt 6.4, which mutter shrinks from 2.
# shellcheck source=gnome_lib.sh
source "$(dirname "$0")/gnome_lib.sh"

SCAN_TOOL="$E2E_BUILD_DIR/tests/capture/scan_e2e_tool"
screen="$E2E_TMP/screen.png" clip="$E2E_TMP/clip.png" shot="$E2E_TMP/shot.png"
# 1708 x 1068 of the desktop's units at 1.5.
"$SCAN_TOOL" noise 2562 1602 "$screen" || e2e_fail "could not draw the screen"
GNOME_FRACTIONAL=1 gnome_start_desktop 2562x1602 --background "$screen"
gnome_set_scale 1.5 || e2e_fail "the monitor takes no scale of 1.5"

wl_install_entry
gnome_start_app
# The start asks for Print (GNOME 48 and later) or says that it cannot be had.
if gnome_shortcuts; then
    gnome_wait_window '^Add Keyboard Shortcuts$' '' 30 || e2e_fail "the desktop did not ask for the key"
    # Answered once it has the keyboard: our window, coming up beside it, may take it first.
    gnome_wait_window '^ヌマリカ Ver1\.00$' "$APP_PID" 20 || e2e_fail "no main window"
    _gnome_settled "" || e2e_fail "the shell did not settle"
    _dialog_focused() {
        gnome_eval "global.get_window_actors().map(a => a.meta_window)
            .find(w => w.get_title() === 'Add Keyboard Shortcuts').activate(global.get_current_time())" \
            >/dev/null
        gnome_windows | grep -q '^Add Keyboard Shortcuts|[0-9]*|true$'
    }
    e2e_poll 10 _dialog_focused || e2e_fail "the desktop's dialog does not take the keyboard"
    gnome_key "Add Keyboard Shortcuts" Alt_L a
    _bound() { grep -q 'global shortcut for Print Screen bound' "$E2E_TMP/wl-app.log"; }
    e2e_poll 20 _bound || e2e_fail "Print was not bound: $(gnome_windows | tr "\n" ";")"
else
    gnome_wait_window '^ヌマリカ$' "$APP_PID" 30 || e2e_fail "no message at the start"
    gnome_key ヌマリカ Return
fi
gnome_wait_window '^ヌマリカ Ver1\.00$' "$APP_PID" 20 || e2e_fail "no main window"
gnome_scan_as_the_desktop "at 1.5"
wl_scan_picture "$clip" 30
gnome_wait_window '^ヌマリカ Ver1\.00$' "$APP_PID" 10 || e2e_fail "the window is not back"

_main_window() { echo "global.get_window_actors().map(a => a.meta_window)
    .find(w => w.get_title() === 'ヌマリカ Ver1.00')"; }
# Large enough for 800 x 600 of the canvas; the window GNOME places in the middle is smaller.
gnome_eval "$(_main_window).move_resize_frame(true, 100, 100, 1400, 900)" >/dev/null ||
    e2e_fail "the window cannot be made larger"
# The window's frame in the desktop's units, in screen pixels.
_window_pixels() {
    gnome_eval "const r = $(_main_window).get_frame_rect();
        [r.x, r.y, r.width, r.height].map(v => Math.round(v * 1.5)).join(' ')" | jq -r .
}
_canvas_shown() {
    local x y w h
    gnome_screen "$shot" || return 1
    read -r x y w h < <(_window_pixels) || return 1
    "$SCAN_TOOL" check-shown "$shot" "$clip" "$x" "$y" "$w" "$h" >"$E2E_TMP/canvas.log" 2>&1
}
e2e_poll 20 _canvas_shown || e2e_fail "the canvas does not show the picture 1:1: $(cat "$E2E_TMP/canvas.log")"
echo "scale 1.5: $(head -n 1 "$E2E_TMP/canvas.log")"
echo "PASS"
