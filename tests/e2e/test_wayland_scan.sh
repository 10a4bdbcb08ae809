#!/usr/bin/env bash
# On a Wayland desktop the program runs natively, and a scan by the menu, by the desktop's
# global shortcut and by `numarika --scan` puts the real screen on the clipboard, every pixel,
# without the program's window (with it when アプリケーション表示 is checked), for Wayland and
# X11 programs alike; `numarika --scan` with no copy running starts one that scans.
# shellcheck source=wayland_lib.sh
source "$(dirname "$0")/wayland_lib.sh"

SCAN_TOOL="$E2E_BUILD_DIR/tests/capture/scan_e2e_tool"
screen="$E2E_TMP/screen.png"
python3 "$(dirname "$0")/distinct_pixels_png.py" 1280x720 "$screen"
wl_start_desktop 1280x720 --background "$screen" --float --xwayland
wl_keyboard
clip="$E2E_TMP/clip.png"

# The screen, exactly: the desktop's own picture of it is the background.
expect_screen() {
    "$SCAN_TOOL" compare "$clip" "$screen" || e2e_fail "$1: the clipboard's picture is not the screen"
}

wl_start_app
# The same application id as the launcher's entry, and no refusal of the key at the start: the
# desktop's global shortcut took Print.
swaymsg -t get_tree -r | jq -e --argjson pid "$APP_PID" \
    'any(.. | objects | select(.pid? == $pid); .app_id == "com.example.numarika")' >/dev/null ||
    e2e_fail "the window does not carry the application id com.example.numarika"
wl_wait_shortcut scan || e2e_fail "no global shortcut was bound"
wl_bound_shortcuts | jq -e 'any(.[]; .id == "scan" and .preferred_trigger == "Print")' >/dev/null ||
    e2e_fail "the shortcut does not ask for Print: $(wl_bound_shortcuts)"
_wl_no_box || e2e_fail "a message box at the start"

# 画像スキャン > スキャン: the window leaves the picture and comes back.
wl_clipboard_clear
wl_menu s Return
wl_scan_picture "$clip"
expect_screen "menu"
_wl_main_window

# The desktop's shortcut (Print where the desktop offers global shortcuts).
wl_clipboard_clear
wl_activate_shortcut scan
wl_scan_picture "$clip"
expect_screen "global shortcut"

# numarika --scan from a key binding of the desktop: the running copy scans.
wl_clipboard_clear
timeout 10 "$NUMARIKA" --scan || e2e_fail "numarika --scan failed"
wl_scan_picture "$clip"
expect_screen "numarika --scan"
# X11 programs read the same picture through Xwayland, as when one of them pastes: with the
# focus, which is when the desktop hands the clipboard over to X11.
wl_bg x11 xmessage -name x11reader "X11"
wl_focus "$(wl_wait_window --title '^x11reader$' 10)" || e2e_fail "no X11 window to paste into"
_x11_has_png() { xclip -selection clipboard -t TARGETS -o 2>/dev/null | grep -qx image/png; }
e2e_poll 10 _x11_has_png || e2e_fail "X11 programs are offered no picture"
timeout 10 xclip -selection clipboard -t image/png -o >"$clip" || e2e_fail "xclip read nothing"
expect_screen "read through Xwayland"
kill "$WL_PID"

# オプション > アプリケーション表示: the window is in the picture, and only the window differs.
# It stays where it is for such a scan (a window just mapped may be placed a moment later).
wl_menu o Down Down Return
wl_clipboard_clear
wl_menu s Return
wl_scan_picture "$clip"
read -r x y w h < <(wl_window_geometry "$APP_CON")
"$SCAN_TOOL" compare "$clip" "$screen" >/dev/null && e2e_fail "the window is not in the picture"
"$SCAN_TOOL" compare "$clip" "$screen" "$x" "$y" "$w" "$h" ||
    e2e_fail "the picture differs from the screen outside the window ($x $y $w $h)"

# With no copy running, numarika --scan starts one, which scans once its window is up.
kill "$APP_PID"
e2e_wait_gone "$APP_PID" 10 || e2e_fail "the program did not end"
wl_clipboard_clear
wl_start_app --scan
wl_scan_picture "$clip"
expect_screen "numarika --scan starting the program"
echo "PASS"
