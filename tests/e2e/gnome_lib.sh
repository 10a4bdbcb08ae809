#!/usr/bin/env bash
# A private headless GNOME desktop (gnome-shell 43 with xdg-desktop-portal-gnome) for the
# end-to-end tests, built on wayland_lib.sh: the same process groups, marks and watcher, so
# everything started here ends with the test, however it ends.
#
#   gnome_start_desktop [WxH] [--background PNG]
#       gnome-shell --headless on one virtual monitor (default 1920x1080), without Xwayland,
#       with its own session bus and an empty system bus (its login manager client needs one),
#       settings in memory; then the permission store (screenshots allowed, so the portal asks
#       nobody), pipewire, xdg-desktop-portal-gnome and -gtk, and the frontend with GNOME's
#       portal files only. The shell runs in unsafe mode so that the test can drive it
#       (gnome_eval). The top bar, its notifications and the overview are put away and PNG
#       (the size of the monitor) is the background: the screen then shows that picture,
#       pixel for pixel, and the windows on it. A virtual keyboard is on the seat before any
#       program starts (a program sees no keyboard that came later). Exports WAYLAND_DISPLAY,
#       XDG_CURRENT_DESKTOP=GNOME, XDG_SESSION_TYPE=wayland; DISPLAY stays unset.
#   gnome_eval JS               runs JS in the shell and prints its value; fails if it throws
#   gnome_windows               prints "TITLE|PID|FOCUSED" for each window
#   gnome_wait_window REGEX [PID] [s]   waits for a window whose title matches (grep -E)
#   gnome_key TITLE KEY...      activates the window titled TITLE and presses and releases KEY
#                               (a Clutter key name: Return, Escape, ...); several keys are a
#                               chord (Alt_L a), pressed in order and released in reverse
#   gnome_shortcuts             whether the portal offers GlobalShortcuts (GNOME 48 and later)
#   gnome_activation_token CMD  prints a token the shell gives a command it starts (its startup
#                               id, which GNOME passes as XDG_ACTIVATION_TOKEN / DESKTOP_STARTUP_ID)
#   gnome_screen OUT.png        the shell's own picture of the screen
#   gnome_set_scale S           gives the monitor the scale S for the session (fails when its
#                               mode does not offer S; GNOME before 50 offers fractional scales
#                               only when GNOME_FRACTIONAL=1 was set for gnome_start_desktop,
#                               which turns mutter's experimental feature on)
#   gnome_scan_as_the_desktop WHAT   `numarika --scan` as the desktop runs a key binding's
#                               command: with the activation token the shell gives it
#
# The program on that desktop:
#   gnome_start_app             starts $NUMARIKA natively, logging numarika.platform to
#                               $E2E_TMP/wl-app.log; sets APP_PID (does not wait)

# shellcheck source=wayland_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/wayland_lib.sh"

_gnome_shell() {
    gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell -m "org.gnome.Shell.$1" "${@:2}"
}

gnome_eval() {
    local answer
    answer=$(_gnome_shell Eval "$1") || return 1
    # (true, 'VALUE') or (false, 'ERROR'); VALUE is JSON.
    [[ $answer == "(true, '"* ]] || {
        echo "gnome_eval: $answer" >&2
        return 1
    }
    answer=${answer#"(true, '"}
    echo "${answer%"')"}"
}

gnome_windows() {
    # Separators that no title here holds: the shell's answer escapes tabs and line breaks.
    gnome_eval "global.get_window_actors().map(a => a.meta_window)
        .map(w => [w.get_title(), w.get_pid(), w.has_focus()].join('|')).join('//')" |
        jq -r . | sed 's|//|\n|g'
}

_gnome_window_there() { gnome_windows | awk -F'|' -v re="$1" -v pid="$2" \
    '$1 ~ re && (pid == "" || $2 == pid) { found = 1 } END { exit !found }'; }

gnome_wait_window() { e2e_poll "${3:-20}" _gnome_window_there "$1" "${2:-}"; }

gnome_key() {
    local keys
    keys=$(printf '%s\n' "${@:2}" | jq -R . | jq -sc .)
    gnome_eval "const Clutter = imports.gi.Clutter;
        const w = global.get_window_actors().map(a => a.meta_window)
            .find(w => w.get_title() === $(jq -n --arg t "$1" '$t'));
        w.activate(global.get_current_time());
        const keys = $keys, k = global._numarikaKeyboard;
        let t = imports.gi.GLib.get_monotonic_time();
        for (const key of keys) k.notify_keyval(t += 1000, Clutter['KEY_' + key], Clutter.KeyState.PRESSED);
        for (const key of keys.reverse()) k.notify_keyval(t += 1000, Clutter['KEY_' + key], Clutter.KeyState.RELEASED);
        true" >/dev/null
}

gnome_activation_token() {
    gnome_eval "global.create_app_launch_context(global.get_current_time(), -1)
        .get_startup_notify_id(imports.gi.Gio.AppInfo.create_from_commandline(
            $(jq -n --arg c "$1" '$c'), null, 0), [])" | jq -r .
}

gnome_screen() {
    gdbus call --session -d org.gnome.Shell.Screenshot -o /org/gnome/Shell/Screenshot \
        -m org.gnome.Shell.Screenshot.Screenshot false false "$1" >/dev/null
}

gnome_set_scale() { "$(dirname "${BASH_SOURCE[0]}")/gnome_scale.py" "$1"; }

gnome_scan_as_the_desktop() {
    local token
    token=$(gnome_activation_token "numarika --scan") || e2e_fail "the shell gave no token"
    XDG_ACTIVATION_TOKEN=$token DESKTOP_STARTUP_ID=$token timeout 5 "$NUMARIKA" --scan ||
        e2e_fail "numarika --scan was not answered ($1)"
}

gnome_start_app() {
    wl_bg app env QT_LOGGING_RULES=numarika.platform=true "$NUMARIKA"
    APP_PID=$WL_PID
}

gnome_shortcuts() { _wl_portal_interfaces | grep -qx org.freedesktop.portal.GlobalShortcuts; }

_gnome_system_bus() {
    sed -e 's|<type>session</type>|<type>system</type>|' \
        -e "s|unix:path=$XDG_RUNTIME_DIR/bus|${DBUS_SYSTEM_BUS_ADDRESS}|" \
        "$WL_DIR/session-bus.conf" >"$WL_DIR/system-bus.conf"
    _wl_spawn system-bus dbus-daemon --nofork --nopidfile --config-file="$WL_DIR/system-bus.conf"
}

_gnome_system_bus_up() {
    dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.GetId >/dev/null 2>&1
}

# The top bar and the overview put away (the bar made transparent: the shell shows it again
# whenever it sees fit) and the background drawn (its top-left pixel there).
_gnome_settled() {
    gnome_eval "Main.messageTray._bannerBin.hide(); Main.overview.hide();
        Main.layoutManager.panelBox.opacity = 0;
        Main.layoutManager.panelBox.opacity === 0 && !Main.overview.visible" | grep -qx true ||
        return 1
    [ -z "$1" ] && return 0
    gnome_screen "$WL_DIR/settled.png" &&
        [ "$(_gnome_corner "$WL_DIR/settled.png")" = "$(_gnome_corner "$1")" ]
}

_gnome_corner() { convert "$1[1x1+0+0]" -format '%[fx:int(255*r+.5)] %[fx:int(255*g+.5)] %[fx:int(255*b+.5)]' info:; }

gnome_start_desktop() {
    local size background portal
    _wl_desktop_args gnome_start_desktop 1920x1080 "$@"
    size=$_wl_size background=$_wl_background
    _wl_t0=$(_wl_now)
    _wl_begin_desktop
    export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland GSETTINGS_BACKEND=memory
    if [ "${GNOME_FRACTIONAL:-0}" = 1 ]; then
        # Read by mutter at its start: settings in a file of the test's home instead.
        mkdir -p "$HOME/.config/glib-2.0/settings"
        printf '[org/gnome/mutter]\nexperimental-features=[%s]\n' "'scale-monitor-framebuffer'" \
            >"$HOME/.config/glib-2.0/settings/keyfile"
        export GSETTINGS_BACKEND=keyfile
    fi
    export WAYLAND_DISPLAY=gnome-wayland
    [[ $DBUS_SYSTEM_BUS_ADDRESS == unix:path=$E2E_TMP/* ]] ||
        e2e_fail "gnome: the system bus must be the test's own"

    _wl_start_bus
    _gnome_system_bus
    _wl_await bus 10 _wl_bus_up
    _wl_await system-bus 10 _gnome_system_bus_up
    _wl_spawn shell gnome-shell --headless --wayland --no-x11 --unsafe-mode \
        --virtual-monitor "$size" --wayland-display "$WAYLAND_DISPLAY"
    _wl_spawn permissions /usr/libexec/xdg-permission-store --replace
    _wl_spawn pipewire pipewire
    _wl_await shell 30 _wl_has_owner org.gnome.Shell.Screenshot
    _wl_mark shell
    # The shell's first-use notices and its top bar (a clock) are not part of the screen a
    # test compares; the overview that greets a new session neither.
    gnome_eval "Main.messageTray.bannerBlocked = true;
        const Clutter = imports.gi.Clutter;
        global._numarikaKeyboard = Clutter.get_default_backend().get_default_seat()
            .create_virtual_device(Clutter.InputDeviceType.KEYBOARD_DEVICE); true" >/dev/null ||
        e2e_fail "gnome: the shell cannot be driven"
    if [ -n "$background" ]; then
        gnome_eval "const s = new imports.gi.Gio.Settings({schema_id: 'org.gnome.desktop.background'});
            for (const k of ['picture-uri', 'picture-uri-dark'])
                s.set_string(k, $(jq -n --arg u "file://$background" '$u'));
            s.set_string('picture-options', 'stretched'); true" >/dev/null
    fi
    _wl_await shell 10 _gnome_settled "$background"

    _wl_await permissions 10 _wl_has_owner org.freedesktop.impl.portal.PermissionStore
    # For programs without an id, and for ours once the portal knows it (1.19 and later).
    for app in '' com.example.numarika; do
        gdbus call --session -d org.freedesktop.impl.portal.PermissionStore \
            -o /org/freedesktop/impl/portal/PermissionStore \
            -m org.freedesktop.impl.portal.PermissionStore.SetPermission \
            screenshot true screenshot "$app" "['yes']" >/dev/null
    done
    # GNOME 48 and later: GlobalShortcuts asks the user through Settings' provider, which the
    # bus (without activation) does not start by itself.
    local provider=/usr/libexec/gnome-control-center-global-shortcuts-provider
    if [ -x "$provider" ]; then
        _wl_spawn shortcuts-provider env GDK_BACKEND=wayland "$provider"
        _wl_await shortcuts-provider 10 _wl_has_owner org.gnome.Settings.GlobalShortcutsProvider
    fi
    _wl_spawn portal-gnome env GDK_BACKEND=wayland /usr/libexec/xdg-desktop-portal-gnome
    _wl_spawn portal-gtk env GDK_BACKEND=wayland /usr/libexec/xdg-desktop-portal-gtk
    mkdir -p "$WL_DIR/portals"
    for portal in gnome gtk; do
        cp "/usr/share/xdg-desktop-portal/portals/$portal.portal" "$WL_DIR/portals/"
    done
    _wl_await portal-gnome 10 _wl_has_owner org.freedesktop.impl.portal.desktop.gnome
    _wl_await portal-gtk 10 _wl_has_owner org.freedesktop.impl.portal.desktop.gtk
    _wl_spawn portal env XDG_DESKTOP_PORTAL_DIR="$WL_DIR/portals" /usr/libexec/xdg-desktop-portal
    _wl_await portal 10 _wl_has_owner org.freedesktop.portal.Desktop
    _wl_portal_interfaces | grep -qx org.freedesktop.portal.Screenshot ||
        e2e_fail "gnome: the portal offers no Screenshot"
    _wl_mark portal
    export WL_STARTUP_SECONDS WL_DIR
    WL_STARTUP_SECONDS=$(awk -v d=$(($(_wl_now) - _wl_t0)) 'BEGIN { printf "%.3f", d / 1e6 }')
}
