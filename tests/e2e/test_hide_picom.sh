#!/usr/bin/env bash
# Under openbox with the picom compositor, which draws the screen from the windows it
# redirected and fades a window out over 100 ms: the window and its frame leave the picture
# without a ghost, however late the window beneath repaints.
# shellcheck source=hide_lib.sh
source "$(dirname "$0")/hide_lib.sh"

scan_setup 1280x800
E2E_OPENBOX_STILL=1 e2e_start_wm
hide_start_picom
hide_start_painter
e2e_start_app
e2e_focus
hide_scan_checks 0 60 150
echo "PASS"
