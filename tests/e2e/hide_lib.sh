#!/usr/bin/env bash
# Helpers of the end-to-end tests of the window leaving the picture on each kind of desktop
# (tests/e2e/test_hide_*.sh), built on scan_lib.sh.
#
#   hide_start_i3             i3 with a private minimal configuration: no bar, no key bound
#   hide_start_picom          picom (xrender, no shadows; windows fade in and out over 100 ms,
#                             a ghost that goes on being painted); returns once it composites
#   hide_start_painter        the late painter beneath every window (scan_e2e_tool late-painter);
#                             PAINTER names its pattern, PAINTER_DELAY the file with its delay
#   hide_scan_checks MS...    for each delay: the painter repaints that late, a scan by the menu,
#                             and the clipboard's picture is the painter's pattern, pixel for
#                             pixel; the window comes back

# shellcheck source=scan_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/scan_lib.sh"

hide_start_i3() {
    local conf="$E2E_TMP/i3.conf"
    # Without a bar block i3 starts no bar; without bindings it takes no key from us.
    printf '# i3 config file (v4)\nfont pango:DejaVu Sans 8\n' >"$conf"
    e2e_bg i3 i3 -c "$conf" --shmlog-size=0
    e2e_poll 15 _e2e_wm_running || e2e_fail "i3 did not start"
}

hide_start_picom() {
    local conf="$E2E_TMP/picom.conf"
    printf '%s\n' 'backend = "xrender";' 'shadow = false;' 'vsync = false;' \
        'unredir-if-possible = false;' 'fading = true;' 'fade-delta = 10;' \
        'fade-in-step = 0.1;' 'fade-out-step = 0.1;' >"$conf"
    e2e_bg picom picom --config "$conf"
    e2e_poll 15 "$SCAN_TOOL" composited 2>/dev/null || e2e_fail "picom did not start compositing"
}

hide_start_painter() {
    PAINTER="$E2E_TMP/painter.png"
    PAINTER_DELAY="$E2E_TMP/painter-delay"
    echo 0 >"$PAINTER_DELAY"
    e2e_bg painter "$SCAN_TOOL" late-painter "$PAINTER_DELAY" "$PAINTER"
    e2e_poll 20 test -e "$PAINTER" || e2e_fail "the late painter did not paint"
}

_hide_no_picture() { ! _e2e_clipboard_has_png; }

# Another program owns the clipboard, with text: the next picture there is a new one.
_hide_clear_clipboard() {
    echo "no picture" >"$E2E_TMP/text"
    e2e_bg xclip xclip -quiet -selection clipboard -i "$E2E_TMP/text"
    e2e_poll 10 _hide_no_picture || e2e_fail "the clipboard still holds a picture"
}

hide_scan_checks() {
    local ms clip="$E2E_TMP/clip.png"
    for ms in "$@"; do
        echo "$ms" >"$PAINTER_DELAY"
        _hide_clear_clipboard
        e2e_menu "$APP_WID" s Return
        e2e_wait_clipboard_png "no picture on the clipboard"
        e2e_clipboard_png "$clip"
        "$SCAN_TOOL" compare "$clip" "$PAINTER" ||
            e2e_fail "beneath repainting $ms ms late: the picture is not what lies beneath"
        e2e_poll 10 e2e_viewable "$APP_WID" || e2e_fail "the window did not come back"
        echo "beneath repainting $ms ms late: the picture is what lies beneath"
    done
}
