#!/usr/bin/env bash
# Without a window manager a scan started while a dialog of the program is open (here the
# colour dialog, by Print Screen) brings the main window back below the dialog, where the
# dialog can still be answered.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/../capture/e2e_scan_lib.sh"

# Whether window $1 is stacked above window $2 (xwininfo lists the root's children top first).
_above() {
    xwininfo -root -children | awk -v a="$(printf '0x%x' "$1")" -v b="$(printf '0x%x' "$2")" '
        $1 == a {found = 1; exit} $1 == b {exit} END {exit !found}'
}

scan_setup 1280x800
scan_start_app
# オプション: 色の選択
scan_menu o Return
dialog=$(e2e_wait_window_of "$APP_PID" '^色を選択$') || e2e_fail "the colour dialog did not open"
_above "$dialog" "$APP_WID" || e2e_fail "the colour dialog opened below the main window"

xdotool key Print
scan_wait_clipboard_picture 20
_back_below() { _scan_viewable && _above "$dialog" "$APP_WID"; }
e2e_poll 10 _back_below || e2e_fail "after the scan the main window covers its dialog"
echo "PASS"
