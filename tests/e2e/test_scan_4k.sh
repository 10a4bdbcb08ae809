#!/usr/bin/env bash
# A scan of a 3840x2160 screen at 192 dpi keeps every pixel: the clipboard's picture is the
# screen, and the canvas shows it one to one.
source "$(dirname "$0")/scan_lib.sh"

scan_full_screen_test 3840x2160 192
echo "PASS"
