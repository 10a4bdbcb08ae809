#!/usr/bin/env bash
# Desktops whose portal we cannot install here, played by the scripted backend: KDE Plasma 6.0
# and 6.1 (the shortcut counts only as offered with the session, the binding's own list is
# ignored), a frontend of 1.21 or later (no shortcut session without an application id, which
# the 1.16 frontend here never learns), and a permission dialog answered after 20 s.
# shellcheck source=wayland_lib.sh
source "$(dirname "$0")/wayland_lib.sh"

SCAN_TOOL="$E2E_BUILD_DIR/tests/capture/scan_e2e_tool"
# The portal's picture is what is tried here: sway would let the program copy the screen itself.
export NUMARIKA_SCREEN=portal
screen="$E2E_TMP/screen.png"
python3 "$(dirname "$0")/distinct_pixels_png.py" 800x600 "$screen"
clip="$E2E_TMP/clip.png"

# Plasma 6.0: Print is bound from the session's options, so the start says nothing, and the
# desktop's press scans; the picture comes although the desktop's answer took 20 s.
wl_start_desktop 800x600 --background "$screen" --float --shortcuts-as plasma6.0 \
    --screenshot delay:20
wl_keyboard
# shellcheck disable=SC2119 # started without arguments
wl_start_app
wl_wait_shortcut scan 20 || e2e_fail "Plasma 6.0: the shortcut was not offered with the session"
wl_clipboard_clear
start=$SECONDS
wl_activate_shortcut scan
wl_scan_picture "$clip" 60
echo "the picture after a 20 s answer came in $((SECONDS - start)) s"
((SECONDS - start >= 20)) || e2e_fail "the picture came before the portal answered"
"$SCAN_TOOL" compare "$clip" "$screen" || e2e_fail "the late picture is not the screen"
_wl_no_box || e2e_fail "Plasma 6.0: a message box although Print is bound"
# The user takes the key away in the desktop's settings: said as a refusal is.
wl_withdraw_shortcut scan
wl_close_box 20
wl_stop_desktop

# A 1.21 frontend refuses the session: the refusal is said at the start, never kept quiet.
wl_start_desktop 800x600 --background "$screen" --float --shortcuts-as portal1.21
wl_keyboard
wl_bg app "$NUMARIKA"
APP_PID=$WL_PID
wl_close_box 30
wl_portal_state | jq -e '[.calls.global_shortcuts[] | select(.method == "CreateSession")]
    | length >= 1' >/dev/null || e2e_fail "portal 1.21: no session was asked for"
echo "PASS"
