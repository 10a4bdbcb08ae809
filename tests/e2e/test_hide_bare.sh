#!/usr/bin/env bash
# Without a window manager the window leaves the picture without a ghost, however late the
# window beneath repaints what it uncovers.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/../capture/e2e_scan_lib.sh"
source "$(dirname "$0")/hide_lib.sh"

scan_setup 1280x800
hide_start_painter
scan_start_app
hide_scan_checks 0 60 150
echo "PASS"
