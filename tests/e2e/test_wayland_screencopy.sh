#!/usr/bin/env bash
# Where the compositor lets a program copy the screen (no desktop portal offers a screenshot
# here), a scan puts grim's picture of the same desktop on the clipboard, pixel for pixel: one
# output, and two outputs of different sizes side by side (also with one turned); with the
# pointer drawn in (マウスカーソル表示, on from the start, as grim -c draws it) and without.
# (A headless sway draws its pointer in software, so into every copy: grim shows it either way.)
# The copies and the clipboard go through ext-image-copy-capture and ext-data-control where sway
# offers them (1.11 on; grim 1.5 copies through the same), else through wlroots' own protocols.
# shellcheck source=wayland_lib.sh
source "$(dirname "$0")/wayland_lib.sh"

SCAN_TOOL="$E2E_BUILD_DIR/tests/capture/scan_e2e_tool"
first="$E2E_TMP/first.png" second="$E2E_TMP/second.png" clip="$E2E_TMP/clip.png"
python3 "$(dirname "$0")/distinct_pixels_png.py" 1280x720 "$first"
python3 "$(dirname "$0")/distinct_pixels_png.py" 640x480 "$second" 1000000
wl_start_desktop 1280x720 --background "$first" --float --screenshot off
wl_keyboard
wl_pointer 200 150
# Its id known to the portal, which refuses the global key (a message box in the picture) to a
# program without one from 1.21 on.
wl_install_entry
globals=$(wl_globals)
screen=wlr-screencopy clipboard=wlr-data-control
grep -qx ext_image_copy_capture_manager_v1 <<<"$globals" &&
    grep -qx ext_output_image_capture_source_manager_v1 <<<"$globals" &&
    screen=ext-image-copy-capture
grep -qx ext_data_control_manager_v1 <<<"$globals" && clipboard=ext-data-control
echo "sway $(sway --version | grep -o '[0-9.]*$'): $screen, $clipboard"

# grim's pictures, with and without the pointer, of the desktop without the program's window.
grim_pictures() {
    grim -c "$E2E_TMP/grim-pointer.png" || e2e_fail "grim -c failed"
    grim "$E2E_TMP/grim.png" || e2e_fail "grim failed"
}

# numarika --scan, then its picture against grim's (with the pointer or not).
scan_is_grims() {
    local what=$1 expected="$E2E_TMP/grim$2.png"
    wl_clipboard_clear
    timeout 10 "$NUMARIKA" --scan || e2e_fail "$what: numarika --scan failed"
    wl_scan_picture "$clip"
    "$SCAN_TOOL" compare "$clip" "$expected" || e2e_fail "$what: the picture is not grim's"
}

# Each desktop with the program's window hidden for the scan, the pointer on, then off.
scan_desktop() {
    grim_pictures
    # shellcheck disable=SC2119 # the program without arguments
    QT_LOGGING_RULES=numarika.platform.info=true wl_start_app
    scan_is_grims "$1, pointer" -pointer
    wl_menu o Down Down Down Return
    scan_is_grims "$1, no pointer" ""
    kill "$APP_PID"
    e2e_wait_gone "$APP_PID" 10 || e2e_fail "the program did not end"
}

scan_desktop "one output"
for way in "the screen is copied through $screen" "the clipboard is set through $clipboard"; do
    grep -qxF "numarika.platform: $way" "$E2E_TMP/wl-app.log" || e2e_fail "not so: $way"
done
"$SCAN_TOOL" compare "$E2E_TMP/grim.png" "$first" >/dev/null && e2e_fail "no pointer on the desktop"
# A second, smaller output right of the first: the picture is both, at their places.
swaymsg create_output >/dev/null || e2e_fail "sway made no second output"
output=$(swaymsg -t get_outputs -r | jq -r --arg first "$WL_OUTPUT" '[.[] | select(.name != $first)][0].name')
swaymsg output "$output" mode 640x480 position 1280 0 bg "$second" stretch >/dev/null ||
    e2e_fail "the second output could not be set up"
_second_drawn() {
    grim -g "1280,0 640x480" "$E2E_TMP/second-shown.png" &&
        "$SCAN_TOOL" compare "$E2E_TMP/second-shown.png" "$second" >/dev/null 2>&1
}
e2e_poll 10 _second_drawn || e2e_fail "the second output does not show its picture"
scan_desktop "two outputs"
identify -format '%wx%h' "$clip" | grep -qx 1920x720 || e2e_fail "not the whole desktop"
# The second one turned (a monitor on its side): its picture turned as the desktop shows it.
swaymsg output "$output" transform 90 >/dev/null || e2e_fail "the output could not be turned"
# The wallpaper is drawn anew for the turned output: until two looks a moment apart agree.
_turned_drawn() {
    grim -g "1280,0 480x640" "$E2E_TMP/turned-new.png" || return 1
    cmp -s "$E2E_TMP/turned-new.png" "$E2E_TMP/turned.png" && return 0
    mv "$E2E_TMP/turned-new.png" "$E2E_TMP/turned.png"
    return 1
}
e2e_poll 10 _turned_drawn || e2e_fail "the turned output does not settle"
scan_desktop "two outputs, one turned"
identify -format '%wx%h' "$clip" | grep -qx 1760x720 || e2e_fail "not the whole turned desktop"
echo "PASS"
