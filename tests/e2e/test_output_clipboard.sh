#!/usr/bin/env bash
# The clipboard command, read back by another program (xclip): the whole picture with its
# cursor overlay, a range pixel for pixel, a copy that later drawing does not change, and the
# picture handed to a clipboard manager when the program quits.
source "$(dirname "$0")/output_lib.sh"

scan_setup 1280x800
"$SCAN_TOOL" root-cursor || e2e_fail "could not set the root cursor"
e2e_start_app
# The cursor is drawn into the picture where the pointer stands at the scan.
xdotool mousemove --sync 1100 700
output_scan

# Whole picture: the screen, with the cursor (hot spot 5,9 of 16x16) over it.
output_file_entry 1
output_close_message
e2e_clipboard_png "$E2E_TMP/whole.png"
"$SCAN_TOOL" compare "$E2E_TMP/whole.png" "$PATTERN" $((1100 - 5)) $((700 - 9)) 16 16 ||
    e2e_fail "the clipboard does not hold the whole picture with its cursor"

# A range: exactly the dragged part of the screen.
output_drag 50 40 173 91
first_range=$RANGE_PNG
output_file_entry 1
output_close_message
e2e_clipboard_png "$E2E_TMP/range.png"
"$OUTPUT_TOOL" compare "$E2E_TMP/range.png" "$first_range" 0 inf ||
    e2e_fail "the clipboard does not hold the range"

# Drawing on the canvas afterwards (a new drag) does not reach the copy.
output_drag 200 150 30 20
e2e_clipboard_png "$E2E_TMP/later.png"
"$OUTPUT_TOOL" compare "$E2E_TMP/later.png" "$first_range" 0 inf ||
    e2e_fail "the clipboard's copy changed with the canvas"

# Quitting hands the clipboard to a clipboard manager, so the picture outlives the program.
e2e_bg manager "$OUTPUT_TOOL" clipboard-manager "$E2E_TMP/kept.png" 60
manager=$E2E_BG_PID
e2e_poll 20 grep -q ready "$E2E_TMP/manager.log" || e2e_fail "the clipboard manager did not start"
output_file_entry 3
e2e_wait_gone "$APP_PID" 30 || e2e_fail "the program did not quit"
wait "$manager" || e2e_fail "the clipboard manager got nothing: $(cat "$E2E_TMP/manager.log")"
"$OUTPUT_TOOL" compare "$E2E_TMP/kept.png" "$first_range" 0 inf ||
    e2e_fail "the clipboard manager did not get the range"
# The manager keeps it: no process of ours stays behind for that.
[ -z "$(e2e_program_pids)" ] || e2e_fail "a keeper beside the manager: $(e2e_program_pids)"
echo "PASS"
