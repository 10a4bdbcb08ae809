#!/usr/bin/env bash
# Without a window manager the window leaves the picture without a ghost, however late the
# window beneath repaints what it uncovers.
# shellcheck source=hide_lib.sh
source "$(dirname "$0")/hide_lib.sh"

scan_setup 1280x800
hide_start_painter
e2e_start_app
e2e_focus
hide_scan_checks 0 60 150
echo "PASS"
