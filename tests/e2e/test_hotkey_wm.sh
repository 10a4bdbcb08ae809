#!/usr/bin/env bash
# The hot key under openbox: the same, closing through the window manager's own Alt+F4.
source "$(dirname "$0")/hotkey_lib.sh"

e2e_start_x 1280x800
e2e_start_wm
hotkey_scenarios alt-f4 menu sigterm-help
echo "PASS"
