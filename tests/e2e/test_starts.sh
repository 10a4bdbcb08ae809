#!/usr/bin/env bash
# The program opens its main window on a bare X server, and says so clearly without one.
source "$(dirname "$0")/lib.sh"

e2e_start_x 1280x800
e2e_start_app
xwininfo -id "$APP_WID" | grep -q 'Map State: IsViewable' || e2e_fail "main window not viewable"

# Without a display the program explains itself and fails.
if out=$(env -u DISPLAY -u QT_QPA_PLATFORM "$NUMARIKA" 2>&1); then
    e2e_fail "started without a display"
fi
grep -q 'no X display' <<<"$out" || e2e_fail "unclear message without a display: $out"
echo "PASS"
