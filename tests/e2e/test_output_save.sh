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
# ファイル > 画像を保存 under NAME, in the dialog titled TITLE; the message after it is closed.
save_as() {
    output_file_entry 0
    output_save "$1" "$2"
    output_close_message
}

# FILE is a JPEG of "W H" pixels showing the picture REFERENCE (within JPEG's loss); WHAT names
# it in a failure.
saved_is() {
    local file=$1 size=$2 reference=$3 what=$4 ppm="$E2E_TMP/${1##*/}.ppm"
    [ -f "$file" ] || e2e_fail "no file for $what: $(ls "$folder")"
    [ "$(identify -format '%m %w %h' "$file")" = "JPEG $size" ] ||
        e2e_fail "$what is not a JPEG of $size pixels: $(identify "$file" 2>&1)"
    djpeg -ppm "$file" >"$ppm" || e2e_fail "djpeg cannot read $what"
    "$OUTPUT_TOOL" compare "$ppm" "$reference" 16 45 || e2e_fail "$what is not what it shows"
}

# A name that no narrow code page holds.
save_as "$folder/全体😀ü.jpg" '^画像全体を保存$'
saved_is "$folder/全体😀ü.jpg" "1280 800" "$PATTERN" "the whole picture"

# A range, with the default extension added to a name typed without one.
output_drag 50 40 173 91
save_as "$folder/range" '^範囲内画像を保存$'
saved_is "$folder/range.jpg" "173 91" "$RANGE_PNG" "the dragged range"

# After a save the canvas works in its own units again: a new range lands where it is dragged.
output_drag 300 200 64 48
save_as "$folder/second.jpg" '^範囲内画像を保存$'
saved_is "$folder/second.jpg" "64 48" "$RANGE_PNG" "the second range"

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
