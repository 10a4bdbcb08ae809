#!/usr/bin/env bash
# Without a window manager a scan started while a dialog of the program is open (here the
# colour dialog, by Print Screen) brings the main window back below the dialog, where the
# dialog can still be answered.
# shellcheck source=scan_lib.sh
source "$(dirname "$0")/scan_lib.sh"

# Whether window $1 is stacked above window $2 (xwininfo lists the root's children top first).
_above() {
    xwininfo -root -children | awk -v a="$(printf '0x%x' "$1")" -v b="$(printf '0x%x' "$2")" '
        $1 == a {found = 1; exit} $1 == b {exit} END {exit !found}'
}

scan_setup 1280x800
e2e_start_app
e2e_focus
# オプション: 色の選択
e2e_menu "$APP_WID" o Return
dialog=$(e2e_wait_window '^色を選択$' 20 "$APP_PID") || e2e_fail "the colour dialog did not open"
_above "$dialog" "$APP_WID" || e2e_fail "the colour dialog opened below the main window"

xdotool key Print
e2e_wait_clipboard_png "no picture on the clipboard"
_back_below() { e2e_viewable "$APP_WID" && _above "$dialog" "$APP_WID"; }
e2e_poll 10 _back_below || e2e_fail "after the scan the main window covers its dialog"
echo "PASS"
