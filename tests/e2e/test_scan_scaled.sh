#!/usr/bin/env bash
# A scan of a 1920x1080 X11 screen with the program drawn at twice its size (QT_SCALE_FACTOR,
# as a desktop's scale setting gives it): the canvas still shows one picture pixel per screen
# pixel, with the cursor drawn at the size the X server draws it.
source "$(dirname "$0")/scan_lib.sh"

export QT_SCALE_FACTOR=2
scan_full_screen_test 1920x1080
echo "PASS"
