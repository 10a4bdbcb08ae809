#!/usr/bin/env bash
# Under i3, which tiles and never iconifies (the window is withdrawn instead): the window and
# its frame leave the picture without a ghost, however late the window beneath repaints what
# they uncover.
# shellcheck source=hide_lib.sh
source "$(dirname "$0")/hide_lib.sh"

scan_setup 1280x800
hide_start_i3
hide_start_painter
e2e_start_app
e2e_focus
hide_scan_checks 0 60 150
echo "PASS"
