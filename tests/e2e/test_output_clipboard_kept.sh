#!/usr/bin/env bash
# The clipboard outlives the program where no clipboard manager runs: the range copied by
# クリップボード, and the screen a scan put there, are still pasted pixel for pixel, in the same
# formats, after 終了. The process keeping them ends when another program copies something,
# or when its connection to the X server goes; a picture already replaced is not kept.
source "$(dirname "$0")/output_lib.sh"

_no_program_left() { [ -z "$(e2e_program_pids)" ]; }

# Quits by the menu: the program itself is gone at once, and one process keeps the clipboard.
quit_leaving_keeper() {
    output_file_entry 3
    e2e_wait_gone "$APP_PID" 30 || e2e_fail "the program did not quit"
    [ "$(e2e_program_pids | wc -l)" -eq 1 ] || e2e_fail "not one keeper: $(e2e_program_pids)"
}

scan_setup 1280x800
e2e_start_app
output_scan
output_drag 50 40 173 91
output_file_entry 1
output_close_message
targets=$(xclip -selection clipboard -t TARGETS -o)
quit_leaving_keeper
[ "$(xclip -selection clipboard -t TARGETS -o)" = "$targets" ] ||
    e2e_fail "the formats changed with the quit"
e2e_clipboard_png "$E2E_TMP/kept.png"
"$OUTPUT_TOOL" compare "$E2E_TMP/kept.png" "$RANGE_PNG" 0 inf ||
    e2e_fail "the kept clipboard does not hold the range"

# Another program copies text: the keeper goes.
echo "other" >"$E2E_TMP/other.txt"
e2e_bg xclip xclip -quiet -selection clipboard -i "$E2E_TMP/other.txt"
e2e_poll 10 _no_program_left || e2e_fail "still running: $(e2e_program_pids)"

# The screen a scan put on the clipboard is kept as well.
e2e_start_app
e2e_menu "$APP_WID" s Return
e2e_wait_clipboard_png "the scan put no picture on the clipboard"
quit_leaving_keeper
e2e_clipboard_png "$E2E_TMP/screen.png"
"$SCAN_TOOL" compare "$E2E_TMP/screen.png" "$PATTERN" || e2e_fail "the kept screen is not the screen"

# Cut off from the X server (as when it ends), the keeper goes too.
owner=$("$OUTPUT_TOOL" clipboard-owner) || e2e_fail "no clipboard owner"
xkill -id "$owner" >/dev/null || e2e_fail "could not cut the keeper off"
e2e_poll 10 _no_program_left || e2e_fail "still running without its X server: $(e2e_program_pids)"

# A picture that another program's copy has replaced is not kept.
e2e_start_app
e2e_menu "$APP_WID" s Return
e2e_wait_clipboard_png "the scan put no picture on the clipboard"
e2e_bg xclip2 xclip -quiet -selection clipboard -i "$E2E_TMP/other.txt"
e2e_poll 10 _output_clipboard_is "other" || e2e_fail "could not copy text"
output_file_entry 3
e2e_wait_gone "$APP_PID" 30 || e2e_fail "the program did not quit"
_no_program_left || e2e_fail "a keeper for a picture no longer on the clipboard"
echo "PASS"
