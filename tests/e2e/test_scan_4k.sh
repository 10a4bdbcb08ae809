#!/usr/bin/env bash
# A scan of a 3840x2160 screen keeps every pixel: the clipboard's picture is the screen.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/../capture/e2e_scan_lib.sh"

scan_full_screen_test 3840x2160
echo "PASS"
