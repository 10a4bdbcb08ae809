#!/usr/bin/env bash
# Draws the program's artwork: the window icon (resources/icon.png, 32 x 32, 16 colours) and
# the start picture (resources/start.jpg, 482 x 338). The generated files are committed; run
# this again only to change them. Needs ImageMagick and the Noto CJK fonts (both installed by
# scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

font_bold=Noto-Sans-CJK-JP-Bold
font_regular=Noto-Sans-CJK-JP
fonts=$(convert -list font)
grep -q "Font: $font_bold\$" <<<"$fonts" || {
    echo "make-artwork: the font $font_bold is missing (fonts-noto-cjk)" >&2
    exit 1
}

navy='#1d3557'
teal='#2a9d8f'
red='#d62828'

# --- window icon ------------------------------------------------------------------------
# A dark tile with the four corners of a viewfinder, and the red range box of a capture
# inside it over a small window. Drawn pixel-exact at 32 x 32 (no antialiasing, so the
# palette stays small).
convert -size 32x32 xc:none +antialias \
    -fill "$navy" -draw 'roundrectangle 0,0 31,31 5,5' \
    -fill '#e8eef4' -draw 'rectangle 8,10 23,21' \
    -fill "$teal" -draw 'rectangle 8,10 23,12' \
    -fill '#9fb3c8' -draw 'rectangle 10,15 17,15' -draw 'rectangle 10,18 20,18' \
    -fill none -stroke "$red" -strokewidth 1 -draw 'rectangle 12,13 21,20' -stroke none \
    -fill white \
    -draw 'rectangle 3,3 9,4' -draw 'rectangle 3,3 4,9' \
    -draw 'rectangle 22,3 28,4' -draw 'rectangle 27,3 28,9' \
    -draw 'rectangle 3,27 9,28' -draw 'rectangle 3,22 4,28' \
    -draw 'rectangle 22,27 28,28' -draw 'rectangle 27,22 28,28' \
    -colors 16 -define png:exclude-chunks=date,time \
    PNG32:resources/icon.png

# --- start picture ---------------------------------------------------------------------
# The product name on the left; on the right a small desktop with a window, a range being
# dragged over it and the mouse pointer at its corner, framed by a viewfinder.
convert -size 482x338 "gradient:#fbfdff-#dbe5ef" \
    \( -size 482x6 xc:"$navy" \) -geometry +0+0 -composite \
    \( -size 482x3 xc:"$teal" \) -geometry +0+6 -composite \
    \
    -fill white -stroke '#8da2b8' -strokewidth 1 -draw 'roundrectangle 258,86 456,228 6,6' \
    -fill '#c9d6e3' -stroke none -draw 'rectangle 262,90 452,224' \
    -fill white -stroke '#7b8fa6' -draw 'rectangle 276,104 418,204' -stroke none \
    -fill "$navy" -draw 'rectangle 277,105 417,116' \
    -fill '#dbe3ec' -draw 'rectangle 284,126 398,131' -draw 'rectangle 284,140 372,145' \
    -draw 'rectangle 284,154 390,159' -draw 'rectangle 284,168 350,173' \
    -fill '#f4a261' -draw 'rectangle 380,168 408,194' \
    -fill '#8da2b8' -draw 'rectangle 345,229 369,240' \
    -fill "$navy" -draw 'roundrectangle 320,240 394,246 3,3' \
    \
    -fill 'rgba(214,40,40,0.10)' -stroke "$red" -strokewidth 2 \
    -draw 'stroke-dasharray 6 4 rectangle 300,134 404,188' -stroke none \
    -fill white -stroke black -strokewidth 1 \
    -draw 'polygon 404,188 404,207 409,202 413,211 416,209 412,201 419,201' -stroke none \
    \
    -fill "$teal" \
    -draw 'rectangle 242,70 266,73' -draw 'rectangle 242,70 245,94' \
    -draw 'rectangle 448,70 472,73' -draw 'rectangle 469,70 472,94' \
    -draw 'rectangle 242,261 266,264' -draw 'rectangle 242,240 245,264' \
    -draw 'rectangle 448,261 472,264' -draw 'rectangle 469,240 472,264' \
    \
    -fill "$navy" -font "$font_bold" -pointsize 46 -annotate +24+118 'ヌマリカ' \
    -fill "$teal" -font "$font_bold" -pointsize 22 -annotate +26+154 'Ver1.00' \
    -fill '#33475b' -font "$font_regular" -pointsize 15 \
    -annotate +26+196 '画面を取込み、範囲を指定して' \
    -annotate +26+218 '保存・印刷・クリップボードへ' \
    -fill "$red" -draw 'rectangle 26,236 62,238' \
    \
    -fill '#4a5d70' -font "$font_regular" -pointsize 12 \
    -annotate +24+304 'Print Screenキー、または［画像スキャン］メニューでスキャンします' \
    -fill "$navy" -draw 'rectangle 0,326 482,338' \
    -strip -sampling-factor 4:4:4 -quality 92 resources/start.jpg

echo "resources/icon.png and resources/start.jpg written"
