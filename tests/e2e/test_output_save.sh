#!/usr/bin/env bash
# Save as JPEG through the real file dialog: the whole picture (larger than the view) and a
# dragged range, under names typed by the user, read back by libjpeg-turbo's djpeg.
source "$(dirname "$0")/output_lib.sh"

scan_setup 1280x800
e2e_start_app
# Without the cursor overlay the picture is the screen pattern exactly.
e2e_menu "$APP_WID" o Down Down Down Return
output_scan

# Saved into the home folder, which starts empty: nothing else may appear there.
folder="$HOME/saved"
mkdir -p "$folder"
# A name that no narrow code page holds.
whole="$folder/全体😀ü.jpg"
output_file_entry 0
output_save "$whole" '^画像全体を保存$'
output_close_message
[ -f "$whole" ] || e2e_fail "no file under the typed name: $(ls "$folder")"
[ "$(identify -format '%m %w %h' "$whole")" = "JPEG 1280 800" ] ||
    e2e_fail "not a 1280x800 JPEG: $(identify "$whole" 2>&1)"
djpeg -ppm "$whole" >"$E2E_TMP/whole.ppm" || e2e_fail "djpeg cannot read the whole picture"
"$OUTPUT_TOOL" compare "$E2E_TMP/whole.ppm" "$PATTERN" 16 45 ||
    e2e_fail "the saved whole picture is not the screen"

# A range, with the default extension added to a name typed without one.
output_drag 50 40 173 91
output_file_entry 0
output_save "$folder/range" '^範囲内画像を保存$'
output_close_message
range="$folder/range.jpg"
[ -f "$range" ] || e2e_fail "no $range: $(ls "$folder")"
[ "$(identify -format '%m %w %h' "$range")" = "JPEG 173 91" ] ||
    e2e_fail "not a 173x91 JPEG: $(identify "$range" 2>&1)"
djpeg -ppm "$range" >"$E2E_TMP/range.ppm" || e2e_fail "djpeg cannot read the range"
"$OUTPUT_TOOL" compare "$E2E_TMP/range.ppm" "$RANGE_PNG" 16 45 ||
    e2e_fail "the saved range is not the dragged part of the screen"

# After a save the canvas works in its own units again: a new range lands where it is dragged.
output_drag 300 200 64 48
output_file_entry 0
output_save "$folder/second.jpg" '^範囲内画像を保存$'
output_close_message
djpeg -ppm "$folder/second.jpg" >"$E2E_TMP/second.ppm" || e2e_fail "djpeg cannot read second.jpg"
"$OUTPUT_TOOL" compare "$E2E_TMP/second.ppm" "$RANGE_PNG" 16 45 ||
    e2e_fail "the second range is not the dragged part of the screen"

# Nothing else was left in the folder (no temporary files).
listing=$(find "$folder" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort | tr '\n' ' ')
[ "$listing" = "range.jpg second.jpg 全体😀ü.jpg " ] || e2e_fail "unexpected files: $listing"

# The colour dialog, then 終了: the program keeps nothing between runs, in the home folder
# or anywhere the dialogs would keep their history.
e2e_menu "$APP_WID" o Return
e2e_wait_window '^色を選択$' 20 >/dev/null || e2e_fail "no colour dialog"
output_accept '^色を選択$'
output_file_entry 3
e2e_wait_gone "$APP_PID" 20 || e2e_fail "the program did not quit"
left=$(cd "$HOME" && find . -mindepth 1 | sort | tr '\n' ' ')
[ "$left" = "./saved ./saved/range.jpg ./saved/second.jpg ./saved/全体😀ü.jpg " ] ||
    e2e_fail "the home folder holds more than the saved files: $left"
echo "PASS"
