#!/usr/bin/env bash
# With "アプリケーション表示" checked the window stays where it is and is in the picture.
source "$(dirname "$0")/scan_lib.sh"

scan_setup 1920x1080
"$SCAN_TOOL" root-cursor || e2e_fail "could not set the root cursor"
e2e_start_app
read -r x y w h < <(e2e_geometry "$APP_WID")

# オプション: 色の選択, 線の太さ, アプリケーション表示
e2e_menu "$APP_WID" o Down Down Return
xdotool mousemove --sync 100 80
e2e_menu "$APP_WID" s Return
e2e_wait_clipboard_png "the scan put no picture on the clipboard"
clip="$E2E_TMP/clip.png"
e2e_clipboard_png "$clip"
# The screen outside the window, and the window over it.
"$SCAN_TOOL" compare "$clip" "$PATTERN" "$x" "$y" "$w" "$h" ||
    e2e_fail "the picture is not the screen with the window"
scan_wait_canvas 100 80
read -r x2 y2 w2 h2 < <(e2e_geometry "$APP_WID")
[ "$x $y $w $h" = "$x2 $y2 $w2 $h2" ] || e2e_fail "the window moved: $x $y $w $h -> $x2 $y2 $w2 $h2"
echo "PASS"
