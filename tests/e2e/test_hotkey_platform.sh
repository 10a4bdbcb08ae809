#!/usr/bin/env bash
# The X11 hot key's own tests (tests/platform/test_x11_hot_keys) against a real X server,
# without and with a window manager.
source "$(dirname "$0")/lib.sh"
: "${E2E_BUILD_DIR:?E2E_BUILD_DIR must name the build directory}"
test_exe="$E2E_BUILD_DIR/tests/platform/test_x11_hot_keys"
[ -x "$test_exe" ] || e2e_fail "missing $test_exe (build the tests)"

_run() {
    local log="$E2E_TMP/$1.log"
    if ! QT_QPA_PLATFORM=xcb timeout 120 "$test_exe" >"$log" 2>&1; then
        cat "$log"
        e2e_fail "test_x11_hot_keys failed ($1)"
    fi
    grep -q ', 0 skipped' "$log" || { cat "$log"; e2e_fail "tests were skipped on X ($1)"; }
    grep 'Totals' "$log"
}

e2e_start_x 1280x800
_run bare
e2e_start_wm
_run openbox
echo "PASS"
