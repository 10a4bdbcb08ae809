#!/usr/bin/env bash
# numarika on a real KDE Plasma desktop (KWin 5.27, xdg-desktop-portal-kde), headless:
# installed as a package would be, Print is bound in kglobalaccel at the start and scans, as
# does `numarika --scan`, the picture is the screen (from KWin itself, without the pointer)
# and no file is left in the home. With Print held by another program (Spectacle on a real
# desktop) and the program not installed, the start says the key was refused, the picture
# comes through the portal, and the file the portal saved for it is gone again. Print is
# freed first, as the README tells a user, where Spectacle holds it. Where KWin takes no
# pictures (KWin 6 without a GPU, whose portal refuses them too), each scan ends with the
# program's error message instead, leaving no picture and no window behind.
# shellcheck source=kde_lib.sh
source "$(dirname "$0")/kde_lib.sh"

SCAN_TOOL="$E2E_BUILD_DIR/tests/capture/scan_e2e_tool"
screen="$E2E_TMP/screen.png"
python3 "$(dirname "$0")/distinct_pixels_png.py" 1024x768 "$screen"
clip="$E2E_TMP/clip.png"
log="$E2E_TMP/wl-app.log"

_print_bound() {
    local c
    for c in "${KDE_COMPONENTS[@]}"; do [ "$(kde_keys "$c" scan)" = "$KDE_KEY_PRINT" ] && return 0; done
    return 1
}
no_pictures_left() {
    local left
    left=$(find "$HOME" "$TMPDIR" -type f \( -iname '*.png' -o -iname '*.jpg' \) | head -n 5)
    [ -z "$left" ] || e2e_fail "$1: pictures left behind: $left"
}
# One scan started by CMD...: the clipboard's picture is the screen (where KWin takes
# pictures; else the error message, and nothing on the clipboard).
expect_scan() {
    local what=$1
    shift
    wl-copy --clear
    "$@"
    if ! kde_screenshots; then
        kde_wait_window '^ヌマリカ$' 30 || e2e_fail "$what: the failed scan was not told"
        grep -q 'Print Screen: no picture of the screen' "$log" || e2e_fail "$what: no failure logged"
        ! _kde_has_png || e2e_fail "$what: a picture on the clipboard after a failed scan"
        kde_close_window '^ヌマリカ$'
        kde_wait_window '^ヌマリカ Ver1\.00$' 20 || e2e_fail "$what: the window did not come back"
        return
    fi
    kde_clipboard_png "$clip" 30 || e2e_fail "$what: no picture on the clipboard"
    "$SCAN_TOOL" compare "$clip" "$screen" || e2e_fail "$what: the picture is not the screen"
    kde_wait_window '^ヌマリカ Ver1\.00$' 20 || e2e_fail "$what: the window did not come back"
}
scan_by_print() {
    local c
    for c in "${KDE_COMPONENTS[@]}"; do kde_invoke "$c" scan 2>/dev/null && return; done
    e2e_fail "no component of numarika in kglobalaccel"
}
scan_by_command() { timeout 20 "$NUMARIKA" --scan || e2e_fail "numarika --scan failed"; }

kde_start_desktop 1024x768 --background "$screen"
echo "KDE desktop up in $WL_STARTUP_SECONDS s (Plasma $KDE_SESSION_VERSION)"
kde_screenshots || echo "KWin takes no pictures here: the scans must fail and say so"
kde_free_key "$KDE_KEY_PRINT"
wl_install_entry
# Plasma 6.4 and later ask about the shortcuts of an id they have not seen (6.7: "Global
# Shortcuts Requested", not answerable here): seen as a user who allowed it before would.
if [ "$(printf '%s\n' 6.4 "$KDE_PLASMA_VERSION" | sort -V | head -n 1)" = 6.4 ]; then
    kde_hold_key com.example.numarika scan "$KDE_KEY_PRINT"
fi
kde_start_app
kde_wait_window '^ヌマリカ Ver1\.00$' 30 || e2e_fail "no main window on KWin"
e2e_poll 20 _print_bound || e2e_fail "Print is not numarika's in kglobalaccel"
e2e_poll 20 grep -q 'global shortcut for Print Screen bound' "$log" ||
    e2e_fail "the program did not see its key bound"
! _kde_has_window '^ヌマリカ$' "$APP_PID" || e2e_fail "a message box although Print is bound"
# The desktop's shortcut dialog would stand over the program's window (xdg-foreign's handle).
grep -q 'parent_window:  "wayland:.' "$E2E_TMP/wl-portal-kde.log" ||
    e2e_fail "no parent window in the binding: $(grep parent_window "$E2E_TMP/wl-portal-kde.log")"
expect_scan "Print" scan_by_print
expect_scan "numarika --scan" scan_by_command
# Where KWin takes pictures at all (without a GPU 6.7 cancels every request).
! kde_screenshots || ! grep -q "KWin's screenshot refused" "$log" ||
    e2e_fail "KWin refused the installed program"
[ "$(e2e_program_pids)" = "$APP_PID" ] || e2e_fail "other copies run: $(e2e_program_pids)"
no_pictures_left "KWin"
wl_stop_desktop

# Print held by another program; the program not installed, so KWin keeps its screenshot.
rm -rf "$HOME/.local/share/applications" "$HOME/.cache" "$HOME/.config/kglobalshortcutsrc"
kde_start_desktop 1024x768 --background "$screen"
kde_free_key "$KDE_KEY_PRINT"
# A component of its own (Plasma 6 registers no .desktop one without its file).
kde_hold_key spectacle FullScreenScreenShot "$KDE_KEY_PRINT"
kde_start_app
kde_wait_window '^ヌマリカ$' 30 || e2e_fail "the refused key was not said at the start"
! _print_bound || e2e_fail "numarika got Print from its holder"
# From kglobalaccel; where the portal (1.22) takes no id without the entry, from the portal.
grep -q -e 'global shortcut for Print Screen lost: kglobalaccel' -e 'An app id is required' "$log" ||
    e2e_fail "the refusal did not come from kglobalaccel: $(grep 'Print Screen' "$log")"
kde_close_window '^ヌマリカ$'
# Without a GPU the failed scan was seen above; the portal of Plasma 6.7 would ask a person
# whether a program without an id may take the screen, and wait for the answer.
if kde_screenshots; then
    expect_scan "numarika --scan through the portal" scan_by_command
    grep -q "KWin's screenshot refused" "$log" || e2e_fail "KWin's refusal left no log line"
    no_pictures_left "portal"
fi
echo "PASS"
