#!/usr/bin/env bash
# Draws the program's artwork: the icon (resources/icons/hicolor/, installed as the launcher
# icon; every size is rendered from one drawing, and its 32 x 32 rendering is also the window
# icon resources/icon.png) and the start picture (resources/start.jpg, 482 x 338). The
# generated files are committed; run this again only to change them. Needs ImageMagick,
# rsvg-convert and the Noto CJK fonts (all installed by scripts/install-deps.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

font_bold=Noto-Sans-CJK-JP-Bold
font_regular=Noto-Sans-CJK-JP
fonts=$(convert -list font)
grep -q "Font: $font_bold\$" <<<"$fonts" || {
    echo "make-artwork: the font $font_bold is missing (fonts-noto-cjk)" >&2
    exit 1
}
command -v rsvg-convert >/dev/null || {
    echo "make-artwork: rsvg-convert is missing (librsvg2-bin)" >&2
    exit 1
}

navy='#1d3557'
teal='#2a9d8f'
red='#d62828'

# --- icon -------------------------------------------------------------------------------
# A dark tile with the four corners of a viewfinder, and the red range box of a capture
# inside it over a small window with a teal title bar. Drawn on a 32 x 32 grid, so that at
# the window icon's size every edge falls on a pixel; this drawing is also the scalable icon.
icon_svg=$(
    cat <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">
  <rect width="32" height="32" rx="5" fill="$navy"/>
  <rect x="8" y="10" width="16" height="12" fill="#e8eef4"/>
  <rect x="8" y="10" width="16" height="3" fill="$teal"/>
  <path d="M10 15h8v1h-8zM10 18h11v1h-11z" fill="#9fb3c8"/>
  <rect x="12.5" y="13.5" width="9" height="7" fill="none" stroke="$red"/>
  <path fill="#ffffff"
        d="M3 3h7v2h-5v5h-2zM29 3v7h-2v-5h-5v-2zM3 29v-7h2v5h5v2zM29 29h-7v-2h5v-5h2z"/>
</svg>
SVG
)
# Halved, the drawing above would blur at 16 x 16: the same picture with its edges moved to
# whole pixels of that size.
icon16_svg=$(
    cat <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16" viewBox="0 0 16 16">
  <rect width="16" height="16" rx="2.5" fill="$navy"/>
  <rect x="4" y="5" width="8" height="6" fill="#e8eef4"/>
  <rect x="4" y="5" width="8" height="2" fill="$teal"/>
  <path d="M5 9h4v1h-4z" fill="#9fb3c8"/>
  <rect x="6.5" y="7.5" width="4" height="3" fill="none" stroke="$red"/>
  <path fill="#ffffff"
        d="M2 2h4v1h-3v3h-1zM14 2v4h-1v-3h-3v-1zM2 14v-4h1v3h3v1zM14 14h-4v-1h3v-3h1z"/>
</svg>
SVG
)

# Named and laid out as they are installed (packaging/CMakeLists.txt).
icons=resources/icons/hicolor
app_id=com.example.numarika
mkdir -p "$icons/scalable/apps"
printf '%s\n' "$icon_svg" >"$icons/scalable/apps/$app_id.svg"
for size in 16 24 32 48 64 128 256; do
    svg=$icon_svg
    ((size > 16)) || svg=$icon16_svg
    mkdir -p "$icons/${size}x$size/apps"
    rsvg-convert --width "$size" --height "$size" --format png \
        --output "$icons/${size}x$size/apps/$app_id.png" <<<"$svg"
done
cp "$icons/32x32/apps/$app_id.png" resources/icon.png

# --- start picture ---------------------------------------------------------------------
# The product name on the left; on the right a small desktop with a window, a range being
# dragged over it and the mouse pointer at its corner, framed by a viewfinder.
convert -size 482x338 'gradient:#fbfdff-#dbe5ef' \
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

echo "$icons/, resources/icon.png and resources/start.jpg written"
