#!/usr/bin/env bash
# Desktops whose portal we cannot install here, played by the scripted backend: KDE Plasma 6.0
# (the shortcut counts only as offered with the session, the binding's own list is ignored),
# a frontend of 1.21 or later (no shortcut session without an application id), Hyprland (no
# key described: its user binds it in hyprland.conf), and a permission dialog answered after
# 20 s. A refusal is said once, the binding is never asked
# for again in the session, and a key the user gives later in the desktop's settings scans at
# its first press.
# shellcheck source=wayland_lib.sh
source "$(dirname "$0")/wayland_lib.sh"

SCAN_TOOL="$E2E_BUILD_DIR/tests/capture/scan_e2e_tool"
# The portal's picture is what is tried here: sway would let the program copy the screen itself.
export NUMARIKA_SCREEN=portal
screen="$E2E_TMP/screen.png"
python3 "$(dirname "$0")/distinct_pixels_png.py" 800x600 "$screen"
clip="$E2E_TMP/clip.png"
_calls() { wl_portal_state | jq --arg m "$1" '[.calls.global_shortcuts[] | select(.method == $m)]'; }

wl_start_desktop 800x600 --background "$screen" --float --shortcuts-as plasma6.0 \
    --screenshot delay:20
wl_keyboard
# shellcheck disable=SC2119 # started without arguments
wl_start_app
e2e_poll 20 _wl_session_made || e2e_fail "no shortcut session was asked for"
if wl_portal_state | jq -e 'any(.sessions[]; .options | has("shortcuts"))' >/dev/null; then
    # A 1.16 frontend passes the session's shortcuts on: Plasma 6.0 binds Print from them.
    wl_wait_shortcut scan 20 || e2e_fail "Plasma 6.0: the shortcut was not offered with the session"
    _wl_no_box || e2e_fail "Plasma 6.0: a message box although Print is bound"
    # The user takes the key away in the desktop's settings: said as a refusal is.
    wl_withdraw_shortcut scan
fi
# Frontends from 1.18 on pass no shortcuts with the session, and Plasma 6.0 then binds none.
wl_close_box 30
# Then gives it a key: its first press scans; the picture comes although the desktop's
# answer took 20 s, and nothing is said again.
wl_grant_shortcut scan Print
wl_clipboard_clear
start=$SECONDS
e2e_poll 10 wl_activate_shortcut scan || e2e_fail "the given key reached no session"
wl_scan_picture "$clip" 60
echo "the picture after a 20 s answer came in $((SECONDS - start)) s"
((SECONDS - start >= 20)) || e2e_fail "the picture came before the portal answered"
"$SCAN_TOOL" compare "$clip" "$screen" || e2e_fail "the late picture is not the screen"
_wl_main_window
! e2e_poll 2 _wl_box_up || e2e_fail "a message box after the scan"
[ "$(_calls BindShortcuts | jq length)" = 1 ] || e2e_fail "bound more than once: $(_calls BindShortcuts)"
wl_stop_desktop

# A 1.21 frontend refuses a session without an application id. Frontends from 1.19 on learn
# ours (the registry), and the session is given; the 1.16 one does not, and the refusal is
# said at the start, never kept quiet.
wl_start_desktop 800x600 --background "$screen" --float --shortcuts-as portal1.21
wl_keyboard
wl_bg app "$NUMARIKA"
APP_PID=$WL_PID
e2e_poll 20 _wl_session_made || e2e_fail "portal 1.21: no session was asked for"
if _calls CreateSession | jq -e 'all(.[]; .app_id == "")' >/dev/null; then
    wl_close_box 30
else
    _calls CreateSession | jq -e 'all(.[]; .app_id == "com.example.numarika")' >/dev/null ||
        e2e_fail "the session's application id is not ours: $(_calls CreateSession)"
    wl_wait_shortcut scan 20 || e2e_fail "portal 1.21: no shortcut although the id is known"
    ! e2e_poll 2 _wl_box_up || e2e_fail "portal 1.21: a message box although Print is bound"
fi
wl_stop_desktop

# Hyprland describes no key and has no version: bound all the same, nothing said, and the key
# bound in hyprland.conf scans.
wl_start_desktop 800x600 --background "$screen" --float --shortcuts-as hyprland
wl_keyboard
# shellcheck disable=SC2119 # started without arguments
wl_start_app
wl_wait_shortcut scan 20 || e2e_fail "Hyprland: the shortcut was not bound"
! e2e_poll 2 _wl_box_up || e2e_fail "Hyprland: a message box although the shortcut is bound"
wl_clipboard_clear
wl_activate_shortcut scan
wl_scan_picture "$clip"
"$SCAN_TOOL" compare "$clip" "$screen" || e2e_fail "Hyprland: the picture is not the screen"
echo "PASS"
