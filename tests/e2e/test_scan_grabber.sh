#!/usr/bin/env bash
# The desktop grab on a real X server: pictures that are the server's shared memory stay as
# they were while they are held, and give the memory back when they are not; every line in
# its place, also after the screen changed size.
source "$(dirname "$0")/lib.sh"
: "${E2E_BUILD_DIR:?E2E_BUILD_DIR must name the build directory}"

command -v xrandr >/dev/null || e2e_fail "xrandr is missing (x11-xserver-utils)"
e2e_start_x 1280x800
timeout 60 "$E2E_BUILD_DIR/tests/capture/scan_grab_probe" || e2e_fail "the grab probe failed"
