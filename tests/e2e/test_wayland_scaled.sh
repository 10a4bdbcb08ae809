#!/usr/bin/env bash
# On a scaled Wayland output the canvas shows the scanned screen one picture pixel to one
# screen pixel, and a range dragged on it is the picture's own part under the drag. Scale 1 is
# the control. At 1.25, 1.5 and 1.75 the screen is random noise, where any blending shows: Qt 6.5
# and later draw at the fractional scale themselves (fractional-scale-v1 with viewporter); Qt
# 6.4 draws at 2 and sway shrinks the window, and the canvas is drawn so that the shrinking
# brings every picture pixel to a screen pixel of its own.
# shellcheck source=wayland_lib.sh
source "$(dirname "$0")/wayland_lib.sh"

SCAN_TOOL="$E2E_BUILD_DIR/tests/capture/scan_e2e_tool"
screen="$E2E_TMP/screen.png"
clip="$E2E_TMP/clip.png"
range="$E2E_TMP/range-clip.png"
shot="$E2E_TMP/shot.png"

# Screens whose size in the desktop's units is whole at the scale: grim makes its picture at
# units times scale, and would resample an output of 2560 pixels at 1.5 (1706.67 units) to 2559.
size_at() {
    case $1 in
        1.5) echo 2562 1602 ;;
        1.75) echo 2555 1596 ;;
        *) echo 2560 1600 ;;
    esac
}

# On a screenshot of OUTPUT at its SCALE, the canvas inside the main window (sway gives its
# place in the desktop's units) shows the scanned picture pixel for pixel: sets ORIGIN_X
# ORIGIN_Y, the screen pixel showing picture pixel (0, 0).
_canvas_shown() {
    local ox oy x y w h
    grim -o "$1" "$shot" || return 1
    read -r ox oy < <(swaymsg -t get_outputs -r |
        jq -r --arg o "$1" '.[] | select(.name == $o) | "\(.rect.x) \(.rect.y)"')
    read -r x y w h < <(wl_window_geometry "$APP_CON" | awk -v s="$2" -v ox="$ox" -v oy="$oy" \
        '{ printf "%d %d %d %d", ($1 - ox) * s, ($2 - oy) * s, $3 * s, $4 * s }')
    "$SCAN_TOOL" check-shown "$shot" "$clip" "$x" "$y" "$w" "$h" >"$E2E_TMP/canvas.log" 2>&1 ||
        return 1
    read -r ORIGIN_X ORIGIN_Y < <(grep -o 'origin [0-9]*,[0-9]*' "$E2E_TMP/canvas.log" | tr ',' ' ' |
        cut -d' ' -f2,3)
}

for scale in 2 1.75 1.5 1.25 1; do
    read -r w h < <(size_at "$scale")
    case $scale in
        1 | 2) "$SCAN_TOOL" pattern "$w" "$h" "$screen" ;;
        *) "$SCAN_TOOL" noise "$w" "$h" "$screen" ;;
    esac || e2e_fail "could not draw the screen"
    wl_start_desktop "${w}x$h" --scale "$scale" --background "$screen"
    # shellcheck disable=SC2119 # in its corner
    wl_pointer
    # shellcheck disable=SC2119 # no arguments
    wl_start_app
    wl_menu s Return
    wl_scan_picture "$clip"
    _wl_main_window
    e2e_poll 20 _canvas_shown "$WL_OUTPUT" "$scale" ||
        e2e_fail "scale $scale: the canvas does not show the picture 1:1: $(cat "$E2E_TMP/canvas.log")"
    echo "scale $scale: $(head -n 1 "$E2E_TMP/canvas.log")"
    if [ "$scale" = 2 ]; then
        # A second monitor at scale 1 beside it: the window moved there shows the picture one
        # to one for that monitor, and again for the first when it comes back.
        swaymsg -q create_output || e2e_fail "no second output"
        swaymsg -q output HEADLESS-2 mode 1280x800 position 1280 0 scale 1 ||
            e2e_fail "the second output cannot be set up"
        for there in HEADLESS-2:1 "$WL_OUTPUT:2"; do
            swaymsg -q "[con_id=$APP_CON] move container to output ${there%:*}"
            e2e_poll 20 _canvas_shown "${there%:*}" "${there#*:}" ||
                e2e_fail "on ${there%:*}: $(cat "$E2E_TMP/canvas.log")"
            echo "on ${there%:*}: $(head -n 1 "$E2E_TMP/canvas.log")"
        done

        # From picture pixel (101, 61) to (501, 361), at even screen pixels (the pointer moves in
        # the desktop's units): the range is the picture's 400x300 there.
        x=$(((ORIGIN_X + 101 + 1) / 2)) y=$(((ORIGIN_Y + 61 + 1) / 2))
        px=$((x * 2 - ORIGIN_X)) py=$((y * 2 - ORIGIN_Y))
        wl_focus "$APP_CON"
        wl_drag "$x" "$y" $((x + 200)) $((y + 150)) || e2e_fail "could not drag on the canvas"
        wl_clipboard_clear
        wl_menu f Down Return
        wl_scan_picture "$range"
        convert "$screen" -crop "400x300+$px+$py" +repage "$E2E_TMP/range.png" ||
            e2e_fail "could not crop the pattern"
        "$SCAN_TOOL" compare "$range" "$E2E_TMP/range.png" ||
            e2e_fail "the range is not the picture's 400x300 at $px,$py"
    fi
    wl_stop_desktop
done
echo "PASS"
