#!/usr/bin/env bash
# Another program takes the clipboard the moment the program has put the screen there (a
# clipboard manager does so on every change), with a picture of its own or with text: every
# scan still shows the screen it grabbed, none fails, and the outputs have the screen too.
# shellcheck source=output_lib.sh
source "$(dirname "$0")/output_lib.sh"

scan_setup 1280x800
e2e_start_app
# Without the cursor the canvas is the screen's pattern exactly.
e2e_menu "$APP_WID" o Down Down Down Return
convert -size 64x48 xc:magenta "$E2E_TMP/theirs.png"
echo "their text" >"$E2E_TMP/theirs.txt"

for theirs in "image/png $E2E_TMP/theirs.png" "UTF8_STRING $E2E_TMP/theirs.txt"; do
    read -r type file <<<"$theirs"
    # Takes the clipboard back whenever it loses it. The loop's own shell expands $0 and $1.
    # shellcheck disable=SC2016
    e2e_bg contender bash -c 'while :; do xclip -quiet -selection clipboard -t "$0" -i "$1"; done' \
        "$type" "$file"
    contender=$E2E_BG_PID
    for n in 1 2 3; do
        e2e_menu "$APP_WID" s Return
        e2e_poll 20 e2e_viewable "$APP_WID" || e2e_fail "the window did not come back"
        scan_wait_canvas >/dev/null
        ! e2e_window_id '^ヌマリカ$' "$APP_PID" >/dev/null ||
            e2e_fail "scan $n beside a contender with $type ended with a message"
    done
    kill -- "-$contender"
    # The whole picture (no range) copied by the program is the screen.
    output_file_entry 1
    output_close_message
    e2e_clipboard_png "$E2E_TMP/copied.png"
    "$SCAN_TOOL" compare "$E2E_TMP/copied.png" "$PATTERN" ||
        e2e_fail "after scans beside a contender with $type the picture is not the screen"
done
echo "PASS"
