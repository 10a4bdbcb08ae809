#!/usr/bin/env bash
# A private headless Wayland desktop for the end-to-end tests: its own session bus, sway (with
# Xwayland if asked), the desktop portal with the backends the test chooses, and pipewire when
# xdg-desktop-portal-wlr needs it. Everything is started by the test and ended with it. It
# sources lib.sh; the build must contain tests/e2e/sway_root_shim.so (E2E_BUILD_DIR).
#
#   wl_start_desktop [WxH] [options]   starts the desktop (default 1920x1080); call it in the
#                                      test's own shell, not in $(...). Options:
#       --background PNG|#rrggbb       wallpaper, stretched over the output, or a plain colour
#                                      (default WL_DEFAULT_BACKGROUND); its top-left pixel may
#                                      not be (63,63,63), sway's colour before it is drawn
#       --xwayland                     Xwayland on (started at once); exports DISPLAY
#       --screenshot WHO               who answers org.freedesktop.portal.Screenshot:
#                                        wlr        xdg-desktop-portal-wlr (a real picture,
#                                                   always written to /tmp/out.png, see below)
#                                        grim       the scripted backend, with a real picture
#                                                   written by grim into the scratch folder
#                                        refuse     the scripted backend, Response code 2
#                                        refuse:N   the scripted backend, Response code N
#                                                   (1: cancelled by the user)
#                                        never      the scripted backend never answers
#                                        delay:S    the scripted backend, grim's picture after
#                                                   S seconds (a permission dialog answered late)
#                                        off        no Screenshot portal at all
#                                      (default grim)
#       --no-global-shortcuts          the frontend offers no GlobalShortcuts portal
#       --shortcuts-as VERSION         the scripted GlobalShortcuts behave as plasma6.0 (only
#                                      CreateSession's shortcuts count), portal1.21 (no session
#                                      without an app id) or hyprland (no key described, no
#                                      version); see portal_backend.py
#       --portal-keys KEY[,KEY...]     sway hands these keys (xkb names, e.g. Print) to the
#                                      scripted backend instead of the focused window, as a
#                                      desktop with a GlobalShortcuts backend does: a press sends
#                                      Activated, a release Deactivated, for every bound shortcut
#                                      whose preferred trigger is that key
#       --scale S                      the output's scale (e.g. 2 or 1.5; WxH stays its pixels)
#       --float                        every window floats at the size it asks for, centred,
#                                      as on a stacking desktop (sway tiles main windows over
#                                      the whole output otherwise; dialogs float anyway)
#     Exports WAYLAND_DISPLAY, SWAYSOCK, DBUS_SESSION_BUS_ADDRESS, XDG_CURRENT_DESKTOP=sway,
#     XDG_SESSION_TYPE=wayland, and DISPLAY with --xwayland (unset without). Sets
#     WL_STARTUP_SECONDS (how long the start took), WL_OUTPUT (sway's name of the output),
#     WL_BACKEND_NAME (bus name of the scripted backend), WL_DIR (the desktop's folder in
#     E2E_TMP: configuration, the scripted backend's pictures). Logs: $E2E_TMP/wl-*.log.
#   wl_stop_desktop                    ends the desktop now (the end of the test does it anyway);
#                                      wl_start_desktop may start a new one afterwards
#   wl_bg NAME CMD...                  starts a client (the program under test, wl-copy
#                                      --foreground, ...) with the desktop: its own process
#                                      group, log $E2E_TMP/wl-NAME.log, ended before the
#                                      servers; sets WL_PID
#   wl_keyboard                        keeps a virtual keyboard on the seat (see wl_key)
#   wl_key ARGS...                     wtype ARGS... (e.g. wl_key -k Print); first wl_keyboard
#   wl_screen OUT.png [X,Y WxH]        grim: the whole desktop or a rectangle of it
#   wl_clipboard_png OUT.png [s]       the clipboard's image/png (fails if none within s, 5)
#   wl_clipboard_types                 the clipboard's offered types, one a line
#   wl_globals                         the interfaces the compositor offers a client, one a line
#   wl_wait_window [--app-id ID] [--title REGEX] [--pid PID] [s]
#                                      waits for a mapped, visible window (Wayland app_id or X11
#                                      class; jq regex on the title); prints its sway con id
#   wl_window_geometry CON_ID          prints "X Y W H" of the window's content on the output
#   wl_focus CON_ID                    gives the window the keyboard focus
#   wl_pointer [X Y]                   keeps a virtual pointer on the seat, which has none, at
#                                      X,Y of the desktop or in its bottom right corner (start
#                                      it before the program, which then has a pointer at once)
#   wl_drag X Y X2 Y2                  drags with its left button from (X, Y) to (X2, Y2), in
#                                      the desktop's (scaled) units
#   wl_wait_bus_name NAME [s]          waits until NAME has an owner on the session bus
#   wl_wait_shortcut ID [s]            waits until an open portal session has bound shortcut ID
#   wl_activate_shortcut ID            the scripted backend sends Activated for ID to every
#   wl_deactivate_shortcut ID          session that bound it (Deactivated); fails if none did
#   wl_portal_state                    prints what the scripted backend recorded (JSON, see
#                                      portal_backend.py); e.g. wl_portal_state | jq .sessions
#   wl_bound_shortcuts                 prints the shortcuts bound in open sessions (JSON list
#                                      of {id, description, preferred_trigger, session_handle})
#   wl_withdraw_shortcut ID            the desktop takes ID's key away (ShortcutsChanged)
#   wl_grant_shortcut ID KEY           the user gives ID the key KEY in the desktop's settings
#   wl_set_screenshot_mode MODE        grim, never, refuse:N or delay:S from now on
#
# The program on that desktop:
#   wl_install_entry                   installs the program's desktop entry (packaging/) for
#                                      $NUMARIKA in the private home, as a package would: the
#                                      portal of 1.21 on knows the program's id only from it
#   wl_start_app [ARGS...]             starts $NUMARIKA (natively on Wayland, as in a Wayland
#                                      session) and waits for its main window; sets APP_PID and
#                                      APP_CON (sway's id of the main window)
#   wl_menu LETTER KEYS...             opens a menu of the main window with Alt+LETTER and
#                                      presses KEYS (wtype -k names) in it
#   wl_close_box [s]                   waits for one of the program's message boxes (caption
#                                      ヌマリカ) and closes it with Return
#   wl_scan_picture OUT.png [s]        empties the clipboard first with wl_clipboard_clear; then
#                                      waits for the scan's picture there
#
# Everything runs in a process group of its own (setsid), carries NUMARIKA_WL_DESKTOP in its
# environment and is ended with TERM, a bounded wait and KILL, newest first; a watcher started
# with e2e_bg does it when the test ends, however it ends, and also if the test's shell is
# killed outright. Processes that left their group (Xwayland is double-forked) are found by
# that environment variable. Two desktops on one machine do not meet: each has its own runtime
# folder, bus and sockets; only Xwayland's display number is machine-wide, and wlroots takes a
# free one. The exception is --screenshot wlr: xdg-desktop-portal-wlr 0.7 writes every
# picture to /tmp/out.png, shared by every desktop on the machine. Such desktops therefore
# take turns, machine-wide: each holds a lock (flock on the xdg-desktop-portal-wlr program
# file itself, so no file is made) from its start to its end, and a second one waits up to
# WL_WLR_WAIT seconds (default 240) for it. The picture is removed at the end. Tests that need
# a picture and no other part of xdg-desktop-portal-wlr use grim, which needs no turn.

# shellcheck source=lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

WL_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
WL_DEFAULT_BACKGROUND='#2a5d8f'
WL_BACKEND_NAME=org.freedesktop.impl.portal.desktop.numarika_test
# sway's colour where nothing is drawn yet: the wallpaper is there once the top-left pixel
# differs, so a wallpaper may not have that colour there.
_WL_EMPTY_PIXEL='63 63 63'
_wl_started=
_wl_wlr_lock=

# --- processes -----------------------------------------------------------------------------

_wl_now() { echo "${EPOCHREALTIME/./}"; }

# Deadlines in microseconds: SECONDS counts whole seconds, too coarse for a wait of 1 s.
_wl_after() { echo $(($(_wl_now) + $1 * 1000)); }
_wl_before() { (($(_wl_now) < $1)); }

# Notes how long the start has taken so far (WL_DIR/timing, milliseconds).
_wl_mark() { echo "$((($(_wl_now) - _wl_t0) / 1000)) $1" >>"$WL_DIR/timing"; }

# Starts CMD... as the desktop's process NAME in a new session (so its own process group),
# logging to $E2E_TMP/wl-NAME.log; sets _wl_pid to its pid, which is also its group.
_wl_spawn() {
    local name=$1 fifo="$WL_DIR/$1.pid" fd
    shift
    rm -f "$fifo"
    mkfifo "$fifo"
    # Read and write, so that neither side waits for the other to open it.
    exec {fd}<>"$fifo"
    # Neither the pipe nor xdg-desktop-portal-wlr's turn goes to the child.
    if [ -n "$_wl_wlr_lock" ]; then
        _wl_exec "$fifo" "$@" </dev/null >>"$E2E_TMP/wl-$name.log" 2>&1 \
            {fd}<&- {_wl_wlr_lock}<&- &
    else
        _wl_exec "$fifo" "$@" </dev/null >>"$E2E_TMP/wl-$name.log" 2>&1 {fd}<&- &
    fi
    read -r -t 10 -u "$fd" _wl_pid || e2e_fail "wayland: $name did not start"
    exec {fd}<&-
    rm -f "$fifo"
    echo "$_wl_pid $name" >>"$WL_DIR/groups"
}

# Becomes CMD... in a session of its own, marked as this desktop's, after writing its pid to
# FIFO (setsid forks when it is already a group leader, so $! would not be it).
_wl_exec() {
    local fifo=$1
    shift
    # shellcheck disable=SC2016 # expanded by that sh
    exec setsid sh -c 'echo $$ >"$0" && exec "$@"' "$fifo" \
        env NUMARIKA_WL_DESKTOP="$_wl_tag" "$@"
}

# Whether the process group has a member that is not a zombie (zombies wait for init here).
_wl_group_alive() {
    ps -e -o pgid=,stat= | awk -v g="$1" '$1 == g && $2 !~ /^Z/ { found = 1 } END { exit !found }'
}

# Whether the process lives and is not a zombie.
_wl_alive() {
    local stat
    # read, not $(<...): under set -e a file that is gone would end the whole shell.
    { read -r stat <"/proc/$1/stat"; } 2>/dev/null || return 1
    stat=${stat##*) } # the name before it may hold anything
    [ "${stat%% *}" != Z ]
}

_wl_group_of() { awk -v n="$1" '$2 == n { print $1 }' "$WL_DIR/groups" 2>/dev/null | tail -n 1; }

# Processes that carry this desktop's mark, wherever they are.
_wl_marked_pids() {
    local f
    for f in /proc/[0-9]*/environ; do
        grep -qzxF "NUMARIKA_WL_DESKTOP=$_wl_tag" "$f" 2>/dev/null || continue
        f=${f#/proc/}
        echo "${f%/environ}"
    done
}

_wl_any_marked_alive() {
    local pid
    for pid in $(_wl_marked_pids); do
        _wl_alive "$pid" && return 0
    done
    return 1
}

# Ends every process of the desktop: newest group first, each with TERM and a wait of up to
# 1 s (3 s for all together), then KILL; then whatever still carries the mark. Fits within the
# 5 s that lib.sh gives its background processes.
_wl_reap() {
    [ -n "${WL_DIR:-}" ] && [ -f "$WL_DIR/groups" ] || return 0
    local all until pgid name sway_pid lock n inode
    all=$(_wl_after 3000)
    sway_pid=$(_wl_group_of sway)
    while read -r pgid name; do
        _wl_group_alive "$pgid" || continue
        # The leader first: a sway whose Xwayland dies before it starts a new one, which then
        # waits for a signal that sway blocks; sway that ends on its own takes Xwayland along.
        kill -TERM "$pgid" 2>/dev/null || true
        until=$(_wl_after 1000)
        ((until > all)) && until=$all
        while _wl_alive "$pgid" && _wl_before "$until"; do sleep 0.02; done
        kill -TERM -- "-$pgid" 2>/dev/null || true
        until=$(_wl_after 500)
        ((until > all)) && until=$all
        while _wl_group_alive "$pgid" && _wl_before "$until"; do sleep 0.02; done
        if _wl_group_alive "$pgid"; then
            echo "wayland: $name ($pgid) did not end on TERM, killed" >&2
            kill -KILL -- "-$pgid" 2>/dev/null || true
        fi
    done < <(tac "$WL_DIR/groups")
    if _wl_any_marked_alive; then
        # shellcheck disable=SC2046 # one pid a word
        kill -TERM $(_wl_marked_pids) 2>/dev/null || true
        until=$(_wl_after 1000)
        while _wl_any_marked_alive && _wl_before "$until"; do sleep 0.02; done
        # shellcheck disable=SC2046
        kill -KILL $(_wl_marked_pids) 2>/dev/null || true
    fi
    # A sway that was killed leaves Xwayland's lock and socket in /tmp. The number may be
    # another server's by now: the lock is ours if it holds sway's pid, the socket if it is
    # still the file that was there at the start.
    if [ -n "$sway_pid" ] && [ -s "$WL_DIR/display" ]; then
        read -r n <"$WL_DIR/display"
        n=${n#:}
        lock=/tmp/.X$n-lock
        if [ -f "$lock" ] && [ "$(tr -d ' \n\0' <"$lock")" = "$sway_pid" ]; then
            rm -f "$lock"
        fi
        inode=$(cat "$WL_DIR/x-socket" 2>/dev/null) || true
        if [ -n "$inode" ] && [ "$(stat -c %i "/tmp/.X11-unix/X$n" 2>/dev/null)" = "$inode" ]; then
            rm -f "/tmp/.X11-unix/X$n"
        fi
    fi
    # xdg-desktop-portal-wlr's picture: ours if it is newer than this desktop and no other
    # xdg-desktop-portal-wlr on the machine (one not started here) may be about to hand it out.
    if [ -n "$(_wl_group_of wlr)" ] && [ /tmp/out.png -nt "$WL_DIR/started" ] &&
        ! pgrep -f '^/usr/libexec/xdg-desktop-portal-wlr' >/dev/null; then
        rm -f /tmp/out.png
    fi
    : >"$WL_DIR/groups"
}

# Runs in the background for the whole test: ends the desktop when the test ends (TERM from
# _wl_end_watch), or when the test's shell was killed outright (checked twice a second), and
# then also removes the scratch folder that nobody else will remove.
_wl_watch() {
    local watcher
    trap '' INT
    tail --pid="$_wl_test_pid" -s 0.5 -f /dev/null &
    watcher=$!
    trap 'kill "$watcher" 2>/dev/null; _wl_reap; exit 0' TERM HUP
    wait "$watcher" || true
    _wl_reap
    rm -rf "$E2E_TMP"
}

_wl_end_watch() {
    kill -TERM "$_wl_watcher" 2>/dev/null
    wait "$_wl_watcher" 2>/dev/null
}

# --- waiting -------------------------------------------------------------------------------

# Polls CHECK... for up to SECONDS while the process NAME lives; fails the test otherwise.
_wl_await() {
    local name=$1 deadline pgid
    deadline=$(_wl_after $(($2 * 1000)))
    shift 2
    pgid=$(_wl_group_of "$name")
    until "$@"; do
        _wl_group_alive "$pgid" ||
            e2e_fail "wayland: $name ended: $(tail -n 20 "$E2E_TMP/wl-$name.log")"
        _wl_before "$deadline" ||
            e2e_fail "wayland: $name not ready in time: $(tail -n 20 "$E2E_TMP/wl-$name.log")"
        sleep 0.02
    done
}

_wl_bus() {
    dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        "org.freedesktop.DBus.$1" "${@:2}"
}

_wl_bus_up() { _wl_bus GetId >/dev/null 2>&1; }

_wl_has_owner() { _wl_bus NameHasOwner "string:$1" 2>/dev/null | grep -q 'boolean true'; }

wl_wait_bus_name() { e2e_poll "${2:-10}" _wl_has_owner "$1"; }

# --- the pieces ----------------------------------------------------------------------------

_wl_start_bus() {
    cat >"$WL_DIR/session-bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<!-- The test's own session bus: nobody else may use it, and no service is started on demand
     (the document portal would mount a FUSE file system). -->
<busconfig>
  <type>session</type>
  <listen>unix:path=$XDG_RUNTIME_DIR/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$XDG_RUNTIME_DIR/bus"
    _wl_spawn bus dbus-daemon --nofork --nopidfile --config-file="$WL_DIR/session-bus.conf"
}

_wl_start_sway() {
    local size=$1 background=$2 xwayland=$3 float=$4 keys=$5 scale=$6 bg_line shim=() key call
    if [[ $background == '#'* ]]; then
        bg_line="bg $background solid_color"
    else
        bg_line="bg $background stretch"
    fi
    cat >"$WL_DIR/sway.conf" <<EOF
# The test's desktop: one output, no decorations, no bar, keys bound only if asked.
swaynag_command -
output HEADLESS-1 mode $size position 0 0 scale $scale $bg_line
default_border none
default_floating_border none
focus_follows_mouse no
xwayland $([ "$xwayland" = 1 ] && echo force || echo disable)
$([ "$float" = 1 ] && echo 'for_window [tiling] floating enable')
# What the test needs to reach this sway (written once the server runs).
exec sh -c 'printf "%s\n%s\n%s\n" "\$WAYLAND_DISPLAY" "\$SWAYSOCK" "\${DISPLAY:-}" >"$WL_DIR/sway-env.tmp" && mv "$WL_DIR/sway-env.tmp" "$WL_DIR/sway-env"'
EOF
    # dbus-send sends a signal unless told otherwise.
    call="dbus-send --session --type=method_call --dest=$WL_BACKEND_NAME /org/numarika/test"
    call+=" org.numarika.test.PortalBackend.Key"
    for key in ${keys//,/ }; do
        echo "bindsym $key exec $call string:$key boolean:true"
        echo "bindsym --release $key exec $call string:$key boolean:false"
    done >>"$WL_DIR/sway.conf"
    if [ "$(id -u)" -eq 0 ]; then
        # sway 1.7 refuses root; the shim must be on sway itself (it clears LD_PRELOAD).
        local so="${E2E_BUILD_DIR:?E2E_BUILD_DIR must name the build directory}/tests/e2e/sway_root_shim.so"
        [ -f "$so" ] || e2e_fail "missing $so (build the tests)"
        shim=(LD_PRELOAD="$so")
    fi
    _wl_spawn sway env -u SWAYSOCK -u WAYLAND_DISPLAY -u DISPLAY -u I3SOCK \
        WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1 "${shim[@]}" \
        sway -c "$WL_DIR/sway.conf"
}

# After sway's exec line has run: learns and checks what it tells.
_wl_finish_sway() {
    local xwayland=$1 lines n
    mapfile -t lines <"$WL_DIR/sway-env"
    ! grep -q 'Error on line' "$E2E_TMP/wl-sway.log" ||
        e2e_fail "wayland: sway's configuration: $(grep 'Error on line' "$E2E_TMP/wl-sway.log")"
    export WAYLAND_DISPLAY=${lines[0]} SWAYSOCK=${lines[1]}
    [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] || e2e_fail "wayland: no socket $WAYLAND_DISPLAY"
    WL_OUTPUT=$(swaymsg -t get_outputs -r | jq -r '.[0].name')
    [ "$WL_OUTPUT" != null ] || e2e_fail "wayland: sway has no output"
    if [ "$xwayland" = 1 ]; then
        [ -n "${lines[2]}" ] || e2e_fail "wayland: sway did not set DISPLAY"
        export DISPLAY=${lines[2]}
        echo "$DISPLAY" >"$WL_DIR/display"
        # X display numbers are shared by the machine: make sure this one is our Xwayland,
        # whose lock file wlroots wrote with sway's pid, before a test sends input to it.
        n=${DISPLAY#:}
        [ "$(tr -d ' \n\0' <"/tmp/.X$n-lock" 2>/dev/null)" = "$(_wl_group_of sway)" ] ||
            e2e_fail "wayland: $DISPLAY is not our Xwayland"
        stat -c %i "/tmp/.X11-unix/X$n" >"$WL_DIR/x-socket"
        _wl_await sway 10 _wl_xwayland_up
    else
        unset DISPLAY
    fi
}

# Xwayland 23 and older name their monitors XWAYLAND0..., later ones after sway's outputs.
_wl_xwayland_up() { xrandr --listmonitors 2>/dev/null | grep -q -e XWAYLAND -e " $WL_OUTPUT\$"; }

_wl_start_pipewire() {
    _wl_spawn pipewire pipewire
}

# The scripted backend needs only the bus: it starts while sway does, and learns sway's socket
# from the file sway writes.
_wl_start_backend() {
    local screenshot=$1 mode=refuse:2
    case $screenshot in
        grim | never | delay:*) mode=$screenshot ;;
        refuse) mode=refuse:2 ;;
        refuse:*) mode=$screenshot ;;
    esac
    mkdir -p "$WL_DIR/shots"
    _wl_spawn backend /usr/bin/python3 "$WL_LIB_DIR/portal_backend.py" \
        --bus-name "$WL_BACKEND_NAME" --screenshot "$mode" --shot-dir "$WL_DIR/shots" \
        --sway-env "$WL_DIR/sway-env" ${2:+--shortcuts-as "$2"}
}

_wl_write_portals() {
    local screenshot=$1 shortcuts=$2 ours=org.freedesktop.impl.portal.Access\;
    mkdir -p "$WL_DIR/portals"
    [ "$shortcuts" = 1 ] && ours+=org.freedesktop.impl.portal.GlobalShortcuts\;
    case $screenshot in
        off | wlr) ;;
        *) ours+=org.freedesktop.impl.portal.Screenshot\; ;;
    esac
    printf '[portal]\nDBusName=%s\nInterfaces=%s\nUseIn=sway\n' "$WL_BACKEND_NAME" "$ours" \
        >"$WL_DIR/portals/numarika_test.portal"
    if [ "$screenshot" = wlr ]; then
        printf '[portal]\nDBusName=%s\nInterfaces=%s\nUseIn=sway\n' \
            org.freedesktop.impl.portal.desktop.wlr org.freedesktop.impl.portal.Screenshot\; \
            >"$WL_DIR/portals/wlr.portal"
    fi
}

_wl_portal_interfaces() {
    dbus-send --session --print-reply --dest=org.freedesktop.portal.Desktop \
        /org/freedesktop/portal/desktop org.freedesktop.DBus.Introspectable.Introspect |
        grep -o 'interface name="org\.freedesktop\.portal\.[A-Za-z]*"' | cut -d'"' -f2
}

_wl_background_drawn() {
    local r g b
    read -r r g b < <(grim -g "0,0 1x1" -t ppm - 2>/dev/null | tail -c 3 | od -An -tu1) ||
        return 1
    [ -n "$b" ] && [ "$r $g $b" != "$_WL_EMPTY_PIXEL" ]
}

_wl_check_background() {
    local corner
    if [[ $1 == '#'* ]]; then
        [[ $1 =~ ^#[0-9a-fA-F]{6}$ ]] || e2e_fail "wl_start_desktop: colour $1 is not #rrggbb"
        corner="$((16#${1:1:2})) $((16#${1:3:2})) $((16#${1:5:2}))"
    else
        [ -f "$1" ] || e2e_fail "wl_start_desktop: no file $1"
        corner=$(convert "$1[1x1+0+0]" -format \
            '%[fx:int(255*r+.5)] %[fx:int(255*g+.5)] %[fx:int(255*b+.5)]' info:)
    fi
    [ "$corner" != "$_WL_EMPTY_PIXEL" ] ||
        e2e_fail "wl_start_desktop: the top-left pixel of $1 has sway's empty colour"
}

# One desktop with xdg-desktop-portal-wlr at a time on the machine (see the top).
_wl_take_wlr_turn() {
    exec {_wl_wlr_lock}</usr/libexec/xdg-desktop-portal-wlr
    flock -n "$_wl_wlr_lock" && return 0
    echo "wayland: waiting for another desktop's xdg-desktop-portal-wlr" >&2
    flock -w "${WL_WLR_WAIT:-240}" "$_wl_wlr_lock" ||
        e2e_fail "wayland: another desktop kept xdg-desktop-portal-wlr for ${WL_WLR_WAIT:-240} s"
}

# The arguments of the desktops built on this library (gnome_lib.sh, kde_lib.sh): WHO, the
# default size, then [WxH] [--background FILE]; sets _wl_size and _wl_background.
_wl_desktop_args() {
    local who=$1
    _wl_size=$2 _wl_background=""
    shift 2
    [ -z "$_wl_started" ] || e2e_fail "$who: a desktop is already running"
    while [ $# -gt 0 ]; do
        case $1 in
            [0-9]*x[0-9]*) _wl_size=$1 ;;
            --background) _wl_background=$(realpath "$2") && shift ;;
            *) e2e_fail "$who: unknown argument $1" ;;
        esac
        shift
    done
}

# The start of every desktop of this library and those built on it (gnome_lib.sh, kde_lib.sh):
# its folder, runtime folder and the watcher that ends it with the test.
_wl_begin_desktop() {
    _wl_started=1

    # A desktop started again after wl_stop_desktop must not read the last one's files.
    WL_DIR="$E2E_TMP/wl"
    rm -rf "$WL_DIR"
    mkdir -p "$WL_DIR"
    : >"$WL_DIR/groups"
    : >"$WL_DIR/started"
    _wl_tag="${E2E_TMP##*/}.$$"
    _wl_test_pid=$$
    # A runtime folder of our own, as the protocols want it: sockets of sway, the bus, pipewire.
    if [ -z "${XDG_RUNTIME_DIR:-}" ] || [[ $XDG_RUNTIME_DIR != "$E2E_TMP"/* ]]; then
        export XDG_RUNTIME_DIR="$E2E_TMP/runtime"
    fi
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    # sway's IPC socket is the longest path in it; sockaddr_un holds 108 bytes.
    ((${#XDG_RUNTIME_DIR} < 70)) || e2e_fail "wayland: runtime folder path too long for sockets"
    unset SWAYSOCK I3SOCK WAYLAND_DISPLAY DISPLAY

    # A subshell of this one, with every helper here: ended first when the test ends.
    _wl_watch &
    _wl_watcher=$!
    e2e_at_cleanup _wl_end_watch
}

wl_start_desktop() {
    local size=1920x1080 background=$WL_DEFAULT_BACKGROUND xwayland=0 screenshot=grim
    local shortcuts=1 float=0 keys="" scale=1 iface shortcuts_as=""
    _wl_t0=$(_wl_now)
    [ -z "$_wl_started" ] || e2e_fail "wl_start_desktop: a desktop is already running"
    while [ $# -gt 0 ]; do
        case $1 in
            [0-9]*x[0-9]*) size=$1 ;;
            --background)
                background=$2
                _wl_check_background "$background"
                [[ $background == '#'* ]] || background=$(realpath "$background")
                shift
                ;;
            --xwayland) xwayland=1 ;;
            --screenshot)
                case $2 in
                    wlr | grim | refuse | refuse:[0-9]* | never | delay:[0-9]* | off) screenshot=$2 ;;
                    *) e2e_fail "wl_start_desktop: --screenshot $2?" ;;
                esac
                shift
                ;;
            --no-global-shortcuts) shortcuts=0 ;;
            --shortcuts-as)
                case $2 in
                    plasma6.0 | portal1.21 | hyprland) shortcuts_as=$2 ;;
                    *) e2e_fail "wl_start_desktop: --shortcuts-as $2?" ;;
                esac
                shift
                ;;
            --float) float=1 ;;
            --scale)
                [[ $2 =~ ^[0-9]+(\.[0-9]+)?$ ]] || e2e_fail "wl_start_desktop: --scale $2?"
                scale=$2
                shift
                ;;
            --portal-keys)
                [[ $2 =~ ^[A-Za-z0-9_]+(,[A-Za-z0-9_]+)*$ ]] ||
                    e2e_fail "wl_start_desktop: --portal-keys $2?"
                keys=$2
                shift
                ;;
            *) e2e_fail "wl_start_desktop: unknown argument $1" ;;
        esac
        shift
    done
    _wl_begin_desktop
    export XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland
    # Installed as a package would be: the portal (1.22) takes our id only with its entry.
    wl_install_entry

    # Taken after the watcher started, so that only this shell and what it starts hold it.
    [ "$screenshot" = wlr ] && _wl_take_wlr_turn

    # Bus, pipewire and sway need nothing of each other: start them together.
    _wl_start_bus
    [ "$screenshot" = wlr ] && _wl_start_pipewire
    _wl_start_sway "$size" "$background" "$xwayland" "$float" "$keys" "$scale"
    _wl_await bus 10 _wl_bus_up
    _wl_mark bus
    _wl_start_backend "$screenshot" "$shortcuts_as"
    _wl_await sway 10 test -s "$WL_DIR/sway-env"
    _wl_mark sway
    _wl_finish_sway "$xwayland"
    _wl_mark "sway checked"
    if [ "$screenshot" = wlr ]; then
        # xdg-desktop-portal-wlr 0.7 gives up at once without pipewire, or without a display.
        _wl_await pipewire 10 test -S "$XDG_RUNTIME_DIR/pipewire-0"
        _wl_spawn wlr /usr/libexec/xdg-desktop-portal-wlr --loglevel=DEBUG
    fi

    # The frontend chooses its interfaces when it starts: every backend must be on the bus.
    _wl_await backend 10 _wl_has_owner "$WL_BACKEND_NAME"
    [ "$screenshot" = wlr ] &&
        _wl_await wlr 10 _wl_has_owner org.freedesktop.impl.portal.desktop.wlr
    _wl_mark backends
    _wl_write_portals "$screenshot" "$shortcuts"
    _wl_spawn portal env XDG_DESKTOP_PORTAL_DIR="$WL_DIR/portals" /usr/libexec/xdg-desktop-portal \
        --verbose
    _wl_await portal 10 _wl_has_owner org.freedesktop.portal.Desktop
    _wl_mark frontend
    iface=$(_wl_portal_interfaces)
    if [ "$screenshot" = off ]; then
        ! grep -qx org.freedesktop.portal.Screenshot <<<"$iface" ||
            e2e_fail "wayland: the portal offers Screenshot"
    else
        grep -qx org.freedesktop.portal.Screenshot <<<"$iface" ||
            e2e_fail "wayland: the portal offers no Screenshot: $iface"
    fi
    if [ "$shortcuts" = 1 ]; then
        grep -qx org.freedesktop.portal.GlobalShortcuts <<<"$iface" ||
            e2e_fail "wayland: the portal offers no GlobalShortcuts: $iface"
    else
        ! grep -qx org.freedesktop.portal.GlobalShortcuts <<<"$iface" ||
            e2e_fail "wayland: the portal offers GlobalShortcuts"
    fi

    # swaybg draws a little after sway starts; tests compare pictures against the wallpaper.
    _wl_await sway 10 _wl_background_drawn
    _wl_mark wallpaper
    export WL_STARTUP_SECONDS WL_OUTPUT WL_DIR WL_BACKEND_NAME
    WL_STARTUP_SECONDS=$(awk -v d=$(($(_wl_now) - _wl_t0)) 'BEGIN { printf "%.3f", d / 1e6 }')
}

wl_stop_desktop() {
    _wl_reap
    if [ -n "${_wl_wlr_lock:-}" ]; then
        exec {_wl_wlr_lock}<&-
        _wl_wlr_lock=
    fi
    unset WAYLAND_DISPLAY SWAYSOCK DISPLAY DBUS_SESSION_BUS_ADDRESS
    _wl_started=
}

wl_bg() {
    [ -n "$_wl_started" ] || e2e_fail "wl_bg: start the desktop first"
    _wl_spawn "$@"
    export WL_PID=$_wl_pid
}

# --- input, screen, clipboard --------------------------------------------------------------

_wl_virtual_keyboards() {
    swaymsg -t get_inputs -r | jq '[.[] | select(.type == "keyboard")] | length'
}

wl_keyboard() {
    [ -n "$(_wl_group_of keyboard)" ] && return 0
    local before
    before=$(_wl_virtual_keyboards)
    # Every wtype brings a keymap of its own, and a seat without a keyboard loses the first key
    # of the next one: this one stays (10 minutes, longer than any test) and keeps the seat's.
    _wl_spawn keyboard wtype -s 600000
    _wl_await keyboard 10 _wl_keyboard_added "$before"
}

_wl_keyboard_added() { [ "$(_wl_virtual_keyboards)" -gt "$1" ]; }

wl_key() {
    wl_keyboard
    wtype "$@"
}

wl_screen() {
    local out=$1
    if [ $# -ge 3 ]; then
        grim -g "$2 $3" "$out"
    else
        grim "$out"
    fi
}

wl_clipboard_types() { timeout 5 wl-paste --list-types; }

# As a client sees them: from libwayland's trace of a one-pixel grim.
wl_globals() {
    WAYLAND_DEBUG=1 timeout 5 grim -g "0,0 1x1" - 2>&1 >/dev/null |
        sed -nE 's/.*wl_registry[@#][0-9]+\.global\([0-9]+, "([^"]+)".*/\1/p' | sort -u
}

# wl-paste may wait for the keyboard focus (GNOME, without wlr-data-control) or for a clipboard
# that is empty (KWin): never without a bound.
_wl_has_png() { timeout 5 wl-paste --list-types 2>/dev/null | grep -qx image/png; }

wl_clipboard_png() {
    local out=$1 seconds=${2:-5}
    e2e_poll "$seconds" _wl_has_png || return 1
    timeout "$seconds" wl-paste --no-newline --type image/png >"$out" || return 1
    [ "$(head -c 8 "$out" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]
}

# --- windows -------------------------------------------------------------------------------

_wl_find_window() {
    swaymsg -t get_tree -r | jq -r --arg app "$1" --arg re "$2" --argjson pid "$3" '
        [.. | objects | select(.type == "con" or .type == "floating_con")
            | select(.pid != null and .visible == true)
            | select($app == "" or .app_id == $app or .window_properties.class? == $app)
            | select($re == "" or ((.name // "") | test($re)))
            | select($pid == 0 or .pid == $pid)]
        | first | .id // empty'
}

wl_wait_window() {
    local app="" re="" pid=0 seconds=20
    while [ $# -gt 0 ]; do
        case $1 in
            --app-id) app=$2 && shift ;;
            --title) re=$2 && shift ;;
            --pid) pid=$2 && shift ;;
            *) seconds=$1 ;;
        esac
        shift
    done
    e2e_poll "$seconds" _wl_window_there "$app" "$re" "$pid" || return 1
    echo "$_wl_found"
}

_wl_window_there() { _wl_found=$(_wl_find_window "$@") && [ -n "$_wl_found" ]; }

wl_window_geometry() {
    swaymsg -t get_tree -r | jq -r --argjson id "$1" '
        .. | objects | select(.id? == $id)
        | "\(.rect.x + .window_rect.x) \(.rect.y + .window_rect.y) \(.window_rect.width) \(.window_rect.height)"'
}

wl_focus() { swaymsg "[con_id=$1] focus" >/dev/null; }

_wl_has_pointer() { swaymsg -t get_inputs -r | jq -e 'any(.[]; .type == "pointer")' >/dev/null; }
_wl_pointer_done() { [ "$(grep -c '^done$' "$E2E_TMP/wl-pointer.log")" -ge "$1" ]; }

# The layout's size in the desktop's units.
_wl_layout() {
    swaymsg -t get_outputs -r | jq -r '[.[].rect | [.x + .width, .y + .height]] | transpose
        | "\(.[0] | max) \(.[1] | max)"'
}

wl_pointer() {
    local w h
    mkfifo "$WL_DIR/pointer"
    _wl_spawn pointer "$E2E_BUILD_DIR/tests/capture/scan_e2e_tool" pointer "$WL_DIR/pointer"
    _wl_await pointer 10 _wl_has_pointer
    # Where asked, else out of the way in the bottom right corner: sway draws its image into
    # every screenshot.
    read -r w h < <(_wl_layout)
    printf 'move %d %d %d %d\n' "${1:-$((w - 1))}" "${2:-$((h - 1))}" "$w" "$h" >"$WL_DIR/pointer"
    e2e_poll 10 _wl_pointer_done 1
}

wl_drag() {
    local before w h
    before=$(grep -c '^done$' "$E2E_TMP/wl-pointer.log")
    read -r w h < <(_wl_layout)
    printf 'move %d %d %d %d\npress\nmove %d %d %d %d\nmove %d %d %d %d\nrelease\n' \
        "$1" "$2" "$w" "$h" $((($1 + $3) / 2)) $((($2 + $4) / 2)) "$w" "$h" "$3" "$4" "$w" "$h" \
        >"$WL_DIR/pointer"
    e2e_poll 10 _wl_pointer_done $((before + 5))
}

# --- the scripted portal backend -----------------------------------------------------------

_wl_test_call() {
    dbus-send --session --print-reply=literal --dest="$WL_BACKEND_NAME" /org/numarika/test \
        "org.numarika.test.PortalBackend.$1" "${@:2}"
}

wl_portal_state() { _wl_test_call State | sed 's/^ *//'; }

wl_bound_shortcuts() {
    wl_portal_state | jq -c '[.sessions[] | select(.closed | not) | . as $s
        | .shortcuts[] | . + {session_handle: $s.session_handle}]'
}

_wl_bound() { wl_bound_shortcuts | jq -e --arg id "$1" 'any(.[]; .id == $id)' >/dev/null; }

wl_wait_shortcut() { e2e_poll "${2:-10}" _wl_bound "$1"; }

_wl_session_made() { wl_portal_state | jq -e 'any(.calls.global_shortcuts[]; .method == "CreateSession")' >/dev/null; }

wl_activate_shortcut() { _wl_test_call Activate "string:$1" >/dev/null; }

wl_deactivate_shortcut() { _wl_test_call Deactivate "string:$1" >/dev/null; }

wl_withdraw_shortcut() { _wl_test_call Withdraw "string:$1" >/dev/null; }

wl_grant_shortcut() { _wl_test_call Grant "string:$1" "string:$2" >/dev/null; }

wl_set_screenshot_mode() { _wl_test_call SetScreenshotMode "string:$1" >/dev/null; }

# --- the program -----------------------------------------------------------------------------

wl_install_entry() {
    mkdir -p "$HOME/.local/share/applications"
    local bindir
    bindir=$(dirname "$(realpath "$NUMARIKA")")
    sed -e "s|@NUMARIKA_BINDIR@|$bindir|g" \
        -e "s|@NUMARIKA_PROGRAM@|$bindir/libexec/numarika/numarika|g" \
        "$WL_LIB_DIR/../../packaging/com.example.numarika.desktop.in" \
        >"$HOME/.local/share/applications/com.example.numarika.desktop"
}

wl_start_app() {
    # Qt makes its keyboard when the seat first has one: keys sent while a keyboard is being
    # added to the seat are lost.
    wl_keyboard
    wl_bg app "$NUMARIKA" "$@"
    APP_PID=$WL_PID
    APP_CON=$(wl_wait_window --title '^ヌマリカ Ver1\.00$' --pid "$APP_PID" 30) ||
        e2e_fail "the main window did not appear on the Wayland desktop"
}

# The window comes back as a new one after a scan that hid it.
_wl_main_window() {
    APP_CON=$(wl_wait_window --title '^ヌマリカ Ver1\.00$' --pid "$APP_PID" 20) ||
        e2e_fail "the main window is not on the screen"
}

wl_menu() {
    local letter=$1 key
    shift
    _wl_main_window
    wl_focus "$APP_CON"
    # One wtype for all: each brings a keymap of its own, and sway takes the keyboard focus
    # away and gives it back to change to it, which closes an open menu.
    local keys=(-M alt "$letter" -m alt)
    for key in "$@"; do keys+=(-s 50 -k "$key"); done
    wl_key "${keys[@]}"
}

wl_close_box() {
    local box
    box=$(wl_wait_window --title '^ヌマリカ$' --pid "$APP_PID" "${1:-20}") ||
        e2e_fail "no message box of the program"
    wl_focus "$box"
    wl_key -k Return
    e2e_poll 10 _wl_box_gone "$box" || e2e_fail "the message box did not close"
}

_wl_box_gone() { ! swaymsg -t get_tree -r | jq -e --argjson id "$1" 'any(.. | objects; .id? == $id)' >/dev/null; }
_wl_no_box() { ! wl_wait_window --title '^ヌマリカ$' --pid "$APP_PID" 0 >/dev/null 2>&1; }
_wl_box_up() { ! _wl_no_box; }

wl_clipboard_clear() { timeout 10 wl-copy --clear; }

wl_scan_picture() { wl_clipboard_png "$1" "${2:-20}" || e2e_fail "no picture on the clipboard"; }
