#!/usr/bin/env bash
# Checks the Wayland test desktop (wayland_lib.sh, portal_backend.py, portal_client.py) on this
# machine: pictures, the portals through the real frontend, keys, clipboard, Xwayland, two
# desktops at once, and that every way of ending leaves no process and no file behind. Not a
# ctest test: run it by hand after changing the desktop or the packages under it.
#
#   tests/e2e/wayland_selfcheck.sh [BUILD_DIR]     (default: build; needs sway_root_shim.so)
#
# Each case runs in a shell of its own with lib.sh, as a test does; this script looks at what
# is left afterwards. It prints the measured start-up times and portal latencies at the end.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
PY=/usr/bin/python3

# --- one case, in its own shell --------------------------------------------------------------

if [ "${1:-}" = --case ]; then
    name=$2
    shift 2
    export NUMARIKA=${NUMARIKA:-/bin/false}
    # shellcheck source=tests/e2e/lib.sh
    source "$here/lib.sh"
    # shellcheck source=tests/e2e/wayland_lib.sh
    source "$here/wayland_lib.sh"

    # What the checking script needs once this shell and its scratch folder are gone.
    info() {
        {
            echo "e2e_tmp=$E2E_TMP"
            echo "tag=$_wl_tag"
            echo "display=${DISPLAY:-}"
            echo "sway=$(_wl_group_of sway)"
            echo "x_socket=$(cat "$WL_DIR/x-socket" 2>/dev/null)"
            echo "startup=${WL_STARTUP_SECONDS:-}"
        } >"$SELFCHECK_INFO.tmp"
        cp "$WL_DIR/groups" "$SELFCHECK_INFO.groups"
        cp "$WL_DIR/timing" "$SELFCHECK_INFO.timing"
        mv "$SELFCHECK_INFO.tmp" "$SELFCHECK_INFO"
    }
    same_picture() {
        local ae
        ae=$(compare -metric AE "$1" "$2" null: 2>&1) || true
        [ "$ae" = 0 ] || e2e_fail "$1 and $2 differ in $ae pixels"
    }
    shot() { "$PY" "$here/portal_client.py" screenshot "$@"; }
    # shellcheck disable=SC2317 # these are called through e2e_poll
    all_closed() { wl_portal_state | jq -e 'all(.sessions[]; .closed)' >/dev/null; }
    # shellcheck disable=SC2317
    request_closed() {
        wl_portal_state | jq -e '(.closed_requests | length) == 1 and .pending_requests == []' \
            >/dev/null
    }
    # shellcheck disable=SC2317
    deactivations_seen() { [ "$(grep -c '"Deactivated"' "$E2E_TMP/client.json")" -ge "$1" ]; }
    # shellcheck disable=SC2317
    keys_seen() { [ "$(grep -c 'sym:' "$E2E_TMP/wl-wev.log")" -ge "$1" ]; }

    case $name in
        start)
            wl_start_desktop "$@"
            info
            ;;

        pictures)
            # A wallpaper whose pixels all differ: grim and the portal must give it back exactly.
            "$PY" "$here/distinct_pixels_png.py" 1920x1080 "$E2E_TMP/bg.png"
            wl_start_desktop 1920x1080 --background "$E2E_TMP/bg.png" "$@"
            info
            wl_screen "$E2E_TMP/grim.png"
            same_picture "$E2E_TMP/grim.png" "$E2E_TMP/bg.png"
            wl_screen "$E2E_TMP/region.png" 100,50 300x200
            convert "$E2E_TMP/bg.png" -crop 300x200+100+50 +repage "$E2E_TMP/bg-region.png"
            same_picture "$E2E_TMP/region.png" "$E2E_TMP/bg-region.png"
            for i in 1 2 3 4 5 6 7 8 9 10; do
                shot >"$E2E_TMP/shot.json"
                jq -e '.response == 0' "$E2E_TMP/shot.json" >/dev/null ||
                    e2e_fail "Screenshot: $(cat "$E2E_TMP/shot.json")"
                uri=$(jq -r .results.uri "$E2E_TMP/shot.json")
                [[ $uri == "file://$WL_DIR/shots/"* ]] || e2e_fail "picture outside the desktop: $uri"
                same_picture "${uri#file://}" "$E2E_TMP/bg.png"
                echo "screenshot-ms $(jq .ms "$E2E_TMP/shot.json")"
                [ "$i" = 1 ] && jq -e '.calls.screenshot[0].options.interactive == false' \
                    <<<"$(wl_portal_state)" >/dev/null
            done
            if [ -n "${DISPLAY:-}" ]; then
                xrandr --listmonitors | grep -q 'XWAYLAND.* 1920/[0-9]*x1080/' ||
                    e2e_fail "Xwayland: $(xrandr --listmonitors)"
            fi
            info
            ;;

        shortcuts)
            wl_start_desktop 800x600 "$@"
            info
            wl_bg client "$PY" "$here/portal_client.py" shortcuts \
                --bind 'scan=画面をスキャン=Print' --bind 'other=Something else=<Control>F12'
            ln -s "$E2E_TMP/wl-client.log" "$E2E_TMP/client.json"
            wl_wait_shortcut scan || e2e_fail "scan was not bound: $(wl_portal_state)"
            wl_bound_shortcuts | jq -e '
                (map(select(.id == "scan"))[0] | .description == "画面をスキャン"
                    and .preferred_trigger == "Print")
                and (map(select(.id == "other"))[0].preferred_trigger == "<Control>F12")' \
                >/dev/null || e2e_fail "bound: $(wl_bound_shortcuts)"
            ! wl_activate_shortcut nothing-bound 2>/dev/null || e2e_fail "Activate of nothing"
            for i in 1 2; do
                sent=$EPOCHREALTIME
                wl_activate_shortcut scan
                wl_deactivate_shortcut scan
                e2e_poll 5 deactivations_seen "$i" ||
                    e2e_fail "no signal: $(cat "$E2E_TMP/client.json")"
                received=$(jq -r 'select(.signal == "Activated") | .received' \
                    "$E2E_TMP/client.json" | tail -n 1)
                echo "activated-ms $(awk -v a="$sent" -v b="$received" 'BEGIN { printf "%.1f", (b - a) * 1000 }')"
            done
            jq -se 'map(select(.step == "BindShortcuts" or .step == "ListShortcuts")
                | .results.shortcuts[0]) | length == 2 and all(.
                == ["scan", {"description": "画面をスキャン", "trigger_description": "Print"}])' \
                "$E2E_TMP/client.json" >/dev/null || e2e_fail "Response: $(cat "$E2E_TMP/client.json")"
            # The versions the frontend reads from the backend, and shows its clients.
            for iface in GlobalShortcuts Screenshot; do
                dbus-send --session --print-reply --dest="$WL_BACKEND_NAME" \
                    /org/freedesktop/portal/desktop org.freedesktop.DBus.Properties.Get \
                    string:"org.freedesktop.impl.portal.$iface" string:version |
                    grep -q 'uint32 1' || e2e_fail "backend's $iface version"
            done
            dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop \
                /org/freedesktop/portal/desktop org.freedesktop.DBus.Properties.Get \
                string:org.freedesktop.portal.GlobalShortcuts string:version |
                grep -q 'uint32 1' || e2e_fail "frontend's GlobalShortcuts version"
            jq -se '[.[] | select(.signal) | .shortcut_id] == ["scan", "scan", "scan", "scan"]' \
                "$E2E_TMP/client.json" >/dev/null || e2e_fail "signals: $(cat "$E2E_TMP/client.json")"
            # The client leaves: the frontend closes its session.
            kill "$WL_PID"
            e2e_poll 10 all_closed || e2e_fail "session not closed: $(wl_portal_state)"
            [ "$(wl_bound_shortcuts)" = "[]" ] || e2e_fail "closed sessions still listed"
            info
            ;;

        portal-keys)
            # Print goes to the portal, as on a desktop with a GlobalShortcuts backend; other
            # keys still reach the focused window.
            wl_start_desktop 800x600 --portal-keys Print "$@"
            info
            wl_bg wev stdbuf -oL wev -f wl_keyboard:key
            id=$(wl_wait_window --app-id wev 10) || e2e_fail "no wev window"
            wl_focus "$id"
            wl_bg client "$PY" "$here/portal_client.py" shortcuts --bind 'scan=Scan=Print'
            wl_wait_shortcut scan || e2e_fail "scan was not bound: $(wl_portal_state)"
            sent=$EPOCHREALTIME
            wl_key -k Print
            e2e_poll 5 grep -q '"Deactivated"' "$E2E_TMP/wl-client.log" ||
                e2e_fail "no signal: $(cat "$E2E_TMP/wl-client.log")"
            received=$(jq -r 'select(.signal == "Activated") | .received' "$E2E_TMP/wl-client.log")
            echo "key-ms $(awk -v a="$sent" -v b="$received" 'BEGIN { printf "%.1f", (b - a) * 1000 }')"
            wl_key x
            e2e_poll 5 keys_seen 2 || e2e_fail "x did not arrive: $(cat "$E2E_TMP/wl-wev.log")"
            ! grep -q 'sym: Print' "$E2E_TMP/wl-wev.log" || e2e_fail "Print reached the window"
            wl_portal_state | jq -e '[.keys[] | [.keysym, .pressed, (.sessions | length)]]
                == [["Print", true, 1], ["Print", false, 1]]' >/dev/null ||
                e2e_fail "keys: $(wl_portal_state | jq -c .keys)"
            info
            ;;

        answers)
            wl_start_desktop 640x480 --screenshot refuse:1 "$@"
            info
            shot | jq -e '.response == 1 and .results == {}' >/dev/null || e2e_fail "refuse:1"
            wl_set_screenshot_mode refuse:2
            shot | jq -e '.response == 2 and .results == {}' >/dev/null || e2e_fail "refuse:2"
            wl_set_screenshot_mode never
            status=0
            shot --timeout 1 >"$E2E_TMP/never.json" || status=$?
            if [ "$status" != 2 ] || ! jq -e .timeout "$E2E_TMP/never.json" >/dev/null; then
                e2e_fail "never: $status $(cat "$E2E_TMP/never.json")"
            fi
            # The client is gone: the frontend closes its request, which frees the backend.
            e2e_poll 5 request_closed || e2e_fail "request not closed: $(wl_portal_state)"
            wl_set_screenshot_mode grim
            shot | jq -e '.response == 0' >/dev/null || e2e_fail "grim after never"
            info
            ;;

        never)
            wl_start_desktop 640x480 --screenshot never
            info
            status=0
            shot --timeout 1 >/dev/null || status=$?
            [ "$status" = 2 ] || e2e_fail "never answered ($status)"
            ;;

        refuse)
            wl_start_desktop 640x480 --screenshot refuse
            info
            shot | jq -e '.response == 2' >/dev/null || e2e_fail "refuse"
            ;;

        bare)
            wl_start_desktop 640x480 --screenshot off --no-global-shortcuts
            info
            ! shot >/dev/null 2>&1 || e2e_fail "a Screenshot portal answered"
            ;;

        wlr)
            "$PY" "$here/distinct_pixels_png.py" 1280x720 "$E2E_TMP/bg.png" 5000000
            wl_start_desktop 1280x720 --screenshot wlr --background "$E2E_TMP/bg.png" "$@"
            info
            for i in 1 2 3 4 5; do
                shot >"$E2E_TMP/shot.json"
                jq -e '.response == 0 and .results.uri == "file:///tmp/out.png"' \
                    "$E2E_TMP/shot.json" >/dev/null || e2e_fail "wlr: $(cat "$E2E_TMP/shot.json")"
                cp /tmp/out.png "$E2E_TMP/out.png"
                same_picture "$E2E_TMP/out.png" "$E2E_TMP/bg.png"
                echo "screenshot-ms $(jq .ms "$E2E_TMP/shot.json")"
            done
            info
            ;;

        input)
            wl_start_desktop 1024x768 "$@"
            info
            wl_bg wev stdbuf -oL wev -f wl_keyboard:key
            id=$(wl_wait_window --app-id wev 10) || e2e_fail "no wev window"
            # Tiled over the whole output, or wev's own 640x480 in the middle.
            geometry="0 0 1024 768"
            [[ " $* " == *" --float "* ]] && geometry="192 144 640 480"
            [ "$(wl_window_geometry "$id")" = "$geometry" ] ||
                e2e_fail "geometry $(wl_window_geometry "$id"), not $geometry"
            [ "$(wl_wait_window --title '^wev$' --pid "$WL_PID" 1)" = "$id" ] ||
                e2e_fail "by title and pid"
            ! wl_wait_window --app-id nothing 1 >/dev/null || e2e_fail "found a window of nobody"
            wl_focus "$id"
            wl_key -k Print
            wl_key x
            e2e_poll 5 keys_seen 4 || e2e_fail "keys: $(cat "$E2E_TMP/wl-wev.log")"
            # The first key too: a press and a release of Print, then of x.
            [ "$(grep -o 'sym: [A-Za-z]*' "$E2E_TMP/wl-wev.log" | awk '{ print $2 }' | tr '\n' ' ')" = \
                "Print Print x x " ] || e2e_fail "keys: $(grep sym: "$E2E_TMP/wl-wev.log")"
            # The clipboard, from a client that stays until the end.
            "$PY" "$here/distinct_pixels_png.py" 64x32 "$E2E_TMP/clip.png"
            # shellcheck disable=SC2016 # expanded by that sh
            wl_bg copy sh -c 'exec wl-copy --foreground --type image/png <"$0"' "$E2E_TMP/clip.png"
            wl_clipboard_png "$E2E_TMP/pasted.png" || e2e_fail "no picture on the clipboard"
            cmp -s "$E2E_TMP/clip.png" "$E2E_TMP/pasted.png" || e2e_fail "pasted picture differs"
            wl_clipboard_types | grep -qx image/png || e2e_fail "types: $(wl_clipboard_types)"
            info
            ;;

        stop)
            wl_start_desktop 640x480 --xwayland "$@"
            info
            wl_keyboard
            info
            wl_stop_desktop
            [ -z "$(_wl_marked_pids | while read -r p; do _wl_alive "$p" && echo "$p"; done)" ] ||
                e2e_fail "wl_stop_desktop left processes"
            # And a new one in the same test, whose end the checking script then looks at.
            wl_start_desktop 800x600 --screenshot wlr
            info
            shot | jq -e '.response == 0' >/dev/null || e2e_fail "no picture after a restart"
            ;;

        fail)
            wl_start_desktop 640x480 --xwayland --screenshot wlr "$@"
            info
            shot >/dev/null
            e2e_fail "on purpose: a failing test ends its desktop as well"
            ;;

        stubborn)
            wl_start_desktop 640x480 "$@"
            wl_bg stubborn sh -c 'trap "" TERM; while :; do sleep 0.1; done'
            info
            ;;

        killed)
            wl_start_desktop 640x480 --xwayland "$@"
            wl_keyboard
            info
            # The checking script kills this shell with SIGKILL: no EXIT trap runs.
            while :; do sleep 1; done
            ;;

        *) e2e_fail "no case $name" ;;
    esac
    exit 0
fi

# --- the checking script ---------------------------------------------------------------------

build=$(realpath "${1:-$here/../../build}")
export E2E_BUILD_DIR=$build
[ -f "$build/tests/e2e/sway_root_shim.so" ] ||
    { echo "build $build/tests/e2e/sway_root_shim.so first" >&2 && exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
marker="$out/marker"
: >"$marker"
failures=0
x_and_portal_files() {
    find /tmp -maxdepth 2 \( -path /tmp/out.png -o -name '.X*-lock' -o -path '/tmp/.X11-unix/*' \) \
        2>/dev/null | sort | tr '\n' ' '
}
ours_before=$(x_and_portal_files)

say() { printf '%s\n' "$*"; }
bad() {
    say "FAIL: $*"
    failures=$((failures + 1))
}

# Runs case NAME [ARGS...] as a test would; its output goes to $out/NAME.log.
run() {
    local name=$1 id=$1 status=0
    shift
    [ -n "${RUN_ID:-}" ] && id=$RUN_ID
    SELFCHECK_INFO="$out/$id.info" bash "$0" --case "$name" "$@" >"$out/$id.log" 2>&1 || status=$?
    echo "$status" >"$out/$id.status"
    return 0
}

# Nothing of the desktop of case ID may be left: processes, scratch folder, Xwayland's files.
aftermath() {
    local id=$1 e2e_tmp tag display sway x_socket pgid name n left
    [ -s "$out/$id.info" ] || {
        bad "$id: started no desktop: $(tail -n 30 "$out/$id.log")"
        return
    }
    # shellcheck disable=SC1090
    source <(sed 's/^\([a-z0-9_]*\)=\(.*\)$/\1='"'"'\2'"'"'/' "$out/$id.info")
    _marked() {
        local f
        for f in /proc/[0-9]*/environ; do
            grep -qzxF "NUMARIKA_WL_DESKTOP=$tag" "$f" 2>/dev/null || continue
            f=${f#/proc/}
            f=${f%/environ}
            [ "$(sed 's/.*) //' "/proc/$f/stat" 2>/dev/null | cut -d' ' -f1)" = Z ] || echo "$f"
        done
    }
    _gone() { [ -z "$(_marked)" ] && [ ! -e "$e2e_tmp" ]; }
    local deadline=$((SECONDS + 10))
    until _gone || ((SECONDS > deadline)); do sleep 0.1; done
    left=$(_marked | tr '\n' ' ')
    [ -z "$left" ] || bad "$id: left running: $(for p in $left; do ps -o pid=,args= -p "$p"; done)"
    [ ! -e "$e2e_tmp" ] || bad "$id: left $e2e_tmp"
    while read -r pgid name; do
        if ps -e -o pgid=,stat= | awk -v g="$pgid" '$1 == g && $2 !~ /^Z/ { f = 1 } END { exit !f }'; then
            bad "$id: group of $name ($pgid) still has members"
        fi
    done <"$out/$id.info.groups"
    if [ -n "$display" ]; then
        n=${display#:}
        # The number may be someone else's by now; ours is gone if no lock names our sway.
        if [ -e "/tmp/.X$n-lock" ] && [ "$(tr -d ' \n\0' <"/tmp/.X$n-lock")" = "$sway" ]; then
            bad "$id: left /tmp/.X$n-lock"
        fi
        if [ -n "$x_socket" ] && [ "$(stat -c %i "/tmp/.X11-unix/X$n" 2>/dev/null)" = "$x_socket" ]; then
            bad "$id: left /tmp/.X11-unix/X$n"
        fi
    fi
}

expect() {
    local id=$1 want=$2 got
    got=$(cat "$out/$id.status")
    if [ "$got" = "$want" ]; then
        say "ok   $id (exit $got, start $(sed -n 's/^startup=//p' "$out/$id.info" 2>/dev/null) s)"
    else
        bad "$id: exit $got, expected $want:"
        tail -n 40 "$out/$id.log"
    fi
    aftermath "$id"
}

numbers() { # NAME VALUES...: min, median, max
    local name=$1
    shift
    printf '%s\n' "$@" | sort -n | awk -v n="$name" '{ v[NR] = $1 } END {
        if (NR) printf "%-30s n=%d min %s median %s max %s\n", n, NR, v[1], v[int((NR + 1) / 2)], v[NR] }'
}

say "== cases, one at a time"
for c in pictures shortcuts portal-keys answers never refuse bare wlr input stop; do
    run "$c"
    expect "$c" 0
done
# /tmp/out.png of xdg-desktop-portal-wlr: removed at the end unless another one runs.
if [ -e /tmp/out.png ] && [[ $ours_before != */tmp/out.png* ]]; then
    if pgrep -f '^/usr/libexec/xdg-desktop-portal-wlr' >/dev/null; then
        say "note: /tmp/out.png is there, but another xdg-desktop-portal-wlr runs on the machine"
    else
        bad "/tmp/out.png left behind"
    fi
fi
RUN_ID=pictures-xwayland run pictures --xwayland
expect pictures-xwayland 0
RUN_ID=wlr-xwayland run wlr --xwayland
expect wlr-xwayland 0
RUN_ID=input-float run input --float
expect input-float 0

say "== endings"
run fail
expect fail 1
grep -q 'on purpose' "$out/fail.log" || bad "fail: did not fail where it should"
run stubborn
expect stubborn 0
grep -q 'stubborn ([0-9]*) did not end on TERM, killed' "$out/stubborn.log" ||
    bad "stubborn: not killed: $(cat "$out/stubborn.log")"
SELFCHECK_INFO="$out/killed.info" bash "$0" --case killed >"$out/killed.log" 2>&1 &
victim=$!
deadline=$((SECONDS + 20))
until [ -s "$out/killed.info" ] || ((SECONDS > deadline)); do sleep 0.05; done
kill -KILL "$victim"
wait "$victim" 2>/dev/null || echo 137 >"$out/killed.status"
expect killed 137

say "== two desktops at once, each with Xwayland"
RUN_ID=twin1 run pictures --xwayland &
RUN_ID=twin2 run shortcuts --xwayland &
RUN_ID=twin3 run input --xwayland &
wait
for id in twin1 twin2 twin3; do expect "$id" 0; done
displays=$(sed -n 's/^display=//p' "$out"/twin*.info | sort -u | wc -l)
[ "$displays" = 3 ] || bad "the desktops shared an X display: $(grep -h display= "$out"/twin*.info)"

say "== two desktops with xdg-desktop-portal-wlr at once: they take turns"
RUN_ID=turn1 run wlr &
RUN_ID=turn2 run wlr --xwayland &
wait
for id in turn1 turn2; do expect "$id" 0; done
grep -q "waiting for another desktop's xdg-desktop-portal-wlr" "$out"/turn*.log ||
    bad "neither desktop waited for the other"

say "== start-up, 10 times each"
for variant in plain xwayland wlr; do
    times=()
    for i in 1 2 3 4 5 6 7 8 9 10; do
        case $variant in
            plain) RUN_ID=start run start ;;
            xwayland) RUN_ID=start run start --xwayland ;;
            wlr) RUN_ID=start run start --xwayland --screenshot wlr ;;
        esac
        [ "$(cat "$out/start.status")" = 0 ] || bad "start $variant: $(tail -n 20 "$out/start.log")"
        aftermath start
        times+=("$(sed -n 's/^startup=//p' "$out/start.info")")
    done
    numbers "start-up s ($variant)" "${times[@]}"
    say "    last: $(tr '\n' ',' <"$out/start.info.timing" | sed 's/,$//') (ms since the call)"
done
# shellcheck disable=SC2046 # numbers, one a word
numbers "Screenshot ms (grim backend)" $(sed -n 's/^screenshot-ms //p' "$out"/pictures*.log)
# shellcheck disable=SC2046
numbers "Screenshot ms (wlr, 1280x720)" $(sed -n 's/^screenshot-ms //p' "$out"/wlr*.log)
# shellcheck disable=SC2046
numbers "Activated ms" $(sed -n 's/^activated-ms //p' "$out"/shortcuts.log "$out"/twin2.log)
# shellcheck disable=SC2046
numbers "Print key to Activated ms" $(sed -n 's/^key-ms //p' "$out"/portal-keys.log)

say "== files outside the scratch folders"
ours_after=$(x_and_portal_files)
[ "$ours_after" = "$ours_before" ] ||
    say "note: X11/portal files in /tmp before: [$ours_before] after: [$ours_after] (other users' too)"
# Scratch folders (mktemp -d) are every test's own, this one's and others' running beside it.
changed=$(find /tmp /var/tmp /dev/shm /run /root -xdev -maxdepth 2 -newer "$marker" \
    2>/dev/null | grep -Ev '^/tmp/tmp\.[A-Za-z0-9]{10}(/|$)|^/tmp/bash_jobs|/\.cache/ccache' ||
    true)
# Xwayland's files were checked by number, pid and inode above: other testers' X servers come
# and go in /tmp as well.
suspicious=$(grep -E 'wayland-|sway-ipc|pipewire|/out\.png$|/bus$|dbus-' <<<"$changed" || true)
[ -z "$suspicious" ] || bad "left outside the scratch folders: $suspicious"
say "changed meanwhile (anyone's): $(wc -l <<<"$changed") paths, none of ours"

if [ "$failures" = 0 ]; then
    say "wayland self-check: all passed"
else
    say "wayland self-check: $failures failed (logs were in $out, now removed; rerun a case with"
    say "  SELFCHECK_INFO=/tmp/x bash $0 --case NAME)"
    exit 1
fi
