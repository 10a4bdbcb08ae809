#!/usr/bin/env bash
# Under openbox with its iconify animation (Debian's own configuration): the window and its
# frame leave the picture without a ghost, however late the window beneath repaints what the
# frame uncovers on its way.
# shellcheck source=hide_lib.sh
source "$(dirname "$0")/hide_lib.sh"

scan_setup 1280x800
e2e_start_wm
hide_start_painter
e2e_start_app
e2e_focus
hide_scan_checks 0 60 150
echo "PASS"
