#!/usr/bin/env bash
# A scan of a 1920x1080 screen, by the menu and by Print Screen, without a window manager.
source "$(dirname "$0")/scan_lib.sh"

scan_full_screen_test 1920x1080
echo "PASS"
