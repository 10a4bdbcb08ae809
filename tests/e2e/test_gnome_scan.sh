#!/usr/bin/env bash
# On GNOME 43, which offers no global shortcuts: the start says that Print cannot be had, and a
# `numarika --scan` of the desktop's key binding that comes while that message is up is taken
# by the running copy (no second copy; the command ends at once) and scanned once the message
# is closed. The picture is the screen, another program can paste it (the activation token the
# desktop gives the command lets the window take the keyboard, as GNOME wants for the
# clipboard), and later scans do not repeat the refusal. On GNOME 48 and later the start asks
# for Print in the desktop's "Add Keyboard Shortcuts" dialog instead: a scan asked for meanwhile
# waits for the user's answer (hiding the window would close the dialog), then the user clicks
# Add, the key is bound and the scan comes, and no message is shown.
# shellcheck source=gnome_lib.sh
source "$(dirname "$0")/gnome_lib.sh"

SCAN_TOOL="$E2E_BUILD_DIR/tests/capture/scan_e2e_tool"
screen="$E2E_TMP/screen.png" clip="$E2E_TMP/clip.png"
python3 "$(dirname "$0")/distinct_pixels_png.py" 1280x720 "$screen"
gnome_start_desktop 1280x720 --background "$screen"

expect_screen() {
    wl_scan_picture "$clip" 30
    "$SCAN_TOOL" compare "$clip" "$screen" || e2e_fail "$1: the pasted picture is not the screen"
}
_box_up() { _gnome_window_there '^ヌマリカ$' "$APP_PID"; }

# The portal (1.19 and later) takes the application id only with an installed entry.
wl_install_entry
gnome_start_app
if gnome_shortcuts; then
    dialog='^Add Keyboard Shortcuts$'
    gnome_wait_window "$dialog" '' 30 || e2e_fail "the desktop did not ask for the key"
    gnome_scan_as_the_desktop "while the desktop asks for the key"
    ! e2e_poll 2 _wl_has_png || e2e_fail "a picture while the desktop asked for the key"
    _gnome_window_there "$dialog" "" || e2e_fail "the desktop's dialog went away"
    # The overview that greets a new session may come back meanwhile: put away again, and
    # then the dialog's Add pressed by its mnemonic (mutter 48 has aborted on a click there).
    _gnome_settled "$screen" || e2e_fail "the shell did not settle"
    gnome_key "Add Keyboard Shortcuts" Alt_L a
    grep_log() { grep -q 'global shortcut for Print Screen bound' "$E2E_TMP/wl-app.log"; }
    e2e_poll 20 grep_log || e2e_fail "Print was not bound: $(grep 'Print Screen' "$E2E_TMP/wl-app.log")"
else
    gnome_wait_window '^ヌマリカ$' "$APP_PID" 30 || e2e_fail "no message at the start"
    ! _gnome_window_there '^ヌマリカ Ver1\.00$' "$APP_PID" || e2e_fail "the window came before the message"
    gnome_scan_as_the_desktop "while the start message is up"
    ! _wl_has_png || e2e_fail "a picture before the message was closed"
    gnome_key ヌマリカ Return
fi
[ "$(e2e_program_pids)" = "$APP_PID" ] || e2e_fail "a second copy runs: $(e2e_program_pids)"
expect_screen "the scan asked for during the start"
gnome_wait_window '^ヌマリカ Ver1\.00$' "$APP_PID" 10 || e2e_fail "the window is not back"
! e2e_poll 2 _box_up || e2e_fail "a message after the scan"

# Once more with the window up: the same, and still no message.
wl_clipboard_clear
gnome_scan_as_the_desktop "with the window up"
expect_screen "the second scan"
! e2e_poll 2 _box_up || e2e_fail "a message after the second scan"
[ "$(e2e_program_pids)" = "$APP_PID" ] || e2e_fail "a second copy runs: $(e2e_program_pids)"
echo "PASS"
