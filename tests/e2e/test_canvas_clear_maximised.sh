#!/usr/bin/env bash
# クリア on a maximised window under a window manager: the window comes back to normal and
# then takes the start size, 7665 x 6060 twips outer (511 x 404 pixels), and keeps it, though
# the window manager restores the size it had before it was maximised.
source "$(dirname "$0")/lib.sh"

e2e_start_x 1280x800
e2e_start_wm
e2e_start_app

state() { xprop -id "$APP_WID" _NET_WM_STATE; }
outer() { e2e_geometry "$APP_WID" outer; }

e2e_focus
# A size of its own before maximising, so that the restore brings back something else.
xdotool windowsize --sync "$APP_WID" 700 520
read -r nx ny _ _ < <(outer)

# openbox maximises on a double click on the title bar.
xdotool mousemove $((nx + 120)) $((ny + 8)) click --repeat 2 --delay 80 1
_maximised() { state | grep -q MAXIMIZED_HORZ; }
e2e_poll 10 _maximised || e2e_fail "the window was not maximised: $(state)"
read -r mx my _ _ < <(outer)

# 画像スキャン(&S), then the entry after スキャン: クリア.
e2e_menu "$APP_WID" s Down Return

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
