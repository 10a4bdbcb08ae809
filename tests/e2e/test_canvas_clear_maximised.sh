#!/usr/bin/env bash
# クリア on a maximised window under a window manager: the window comes back to normal and
# then takes the start size, 7665 x 6060 twips outer (511 x 404 pixels), and keeps it, though
# the window manager restores the size it had before it was maximised.
source "$(dirname "$0")/lib.sh"

e2e_start_x 1280x800
e2e_start_wm
e2e_start_app

state() { xprop -id "$APP_WID" _NET_WM_STATE; }
# Outer geometry: "x y width height", frame included.
outer() {
    local l r t b
    read -r l r t b < <(xprop -id "$APP_WID" _NET_FRAME_EXTENTS | tr -d ',' | awk '{print $3, $4, $5, $6}')
    xwininfo -id "$APP_WID" | awk -v l="$l" -v r="$r" -v t="$t" -v b="$b" '
        /Absolute upper-left X/ {x = $NF} /Absolute upper-left Y/ {y = $NF}
        /^ *Width:/ {w = $NF} /^ *Height:/ {h = $NF}
        END {print x - l, y - t, w + l + r, h + t + b}'
}

xdotool windowactivate --sync "$APP_WID"
# A size of its own before maximising, so that the restore brings back something else.
xdotool windowsize --sync "$APP_WID" 700 520
read -r nx ny _ _ < <(outer)

# openbox maximises on a double click on the title bar.
xdotool mousemove $((nx + 120)) $((ny + 8)) click --repeat 2 --delay 80 1
e2e_poll 10 bash -c "xprop -id $APP_WID _NET_WM_STATE | grep -q MAXIMIZED_HORZ" ||
    e2e_fail "the window was not maximised: $(state)"
read -r mx my _ _ < <(outer)

# 画像スキャン(&S), then the entry after スキャン: クリア.
menu_open() { [ "$(xdotool search --onlyvisible --class numarika | wc -l)" -ge 2 ]; }
xdotool key --window "$APP_WID" alt+s
e2e_poll 10 menu_open || e2e_fail "the menu 画像スキャン did not open"
xdotool key Down Return

# Restored (back at its own position) and at the start size at the same time: a size set
# before the restore would have been replaced by 700 x 520.
restored_at_start_size() {
    local x y w h
    read -r x y w h < <(outer)
    ! state | grep -q MAXIMIZED && [ "$x $y" != "$mx $my" ] && [ "$w $h" = "511 404" ]
}
e2e_poll 10 restored_at_start_size ||
    e2e_fail "after クリア: outer $(outer), $(state); maximised at $mx $my"
echo "PASS"
