#!/usr/bin/env bash
# A private headless KDE Plasma desktop for the end-to-end tests: its own session bus, KWin
# (kwin_wayland --virtual with Xwayland, which also serves kglobalaccel and ScreenShot2), the
# permission store, pipewire, xdg-desktop-portal-kde and the portal frontend, in the test's own
# home and runtime folder; everything is ended with the test, as wayland_lib.sh does it (whose
# process helpers this uses).
#
#   kde_start_desktop [WxH] [--background PNG]
#                                  starts the desktop (default 1280x800); PNG (of that size)
#                                  is shown full screen by qmlscene. Exports WAYLAND_DISPLAY,
#                                  DISPLAY (KWin's Xwayland), DBUS_SESSION_BUS_ADDRESS and the
#                                  variables of a Plasma session. Logs: $E2E_TMP/wl-*.log.
#   kde_free_key KEY               takes KEY (a Qt key code) from whichever shortcut holds it,
#                                  as a user does in System Settings (Spectacle's Print, where
#                                  Spectacle is installed)
#   kde_screenshots                whether KWin takes pictures (ScreenShot2): KWin 6 does not
#                                  without a GPU (it composites in software then, and its
#                                  screenshot effect needs OpenGL)
#   KDE_PLASMA_VERSION             KWin's version, e.g. 6.7.4 (exported by kde_start_desktop)
#   KDE_COMPONENTS                 the names kglobalaccel may file numarika's shortcut under:
#                                  its application id (Plasma 6 through a portal that knows
#                                  it), else its session token
#   kde_start_app                  starts $NUMARIKA natively on KWin, logging numarika.platform
#                                  to $E2E_TMP/wl-app.log; sets APP_PID (no wait)
#   kde_windows                    prints "PID<TAB>CAPTION" of every window KWin manages
#   kde_wait_window REGEX [S]      waits up to S seconds (20) for a window of APP_PID whose
#                                  caption matches
#   kde_close_window REGEX         closes the windows of APP_PID whose caption matches, as
#                                  their close button does, and waits until they are gone
#   kde_keys COMPONENT ACTION      prints the keys kglobalaccel holds for a shortcut (Qt key
#                                  codes, 0 for none), one a line
#   kde_hold_key COMPONENT ACTION KEY
#                                  registers a shortcut of another program holding KEY (a Qt key
#                                  code), as Spectacle holds Print on a real Plasma desktop
#   kde_invoke COMPONENT ACTION    activates a shortcut as its key would (invokeShortcut)
#   kde_clipboard_png OUT [S]      the clipboard's image/png (fails if none within S, 10)
#   KDE_KEY_PRINT                  Qt's code of Print Screen

# shellcheck source=wayland_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/wayland_lib.sh"

export KDE_KEY_PRINT=16777225
# shellcheck disable=SC2034 # read by the tests that source this
KDE_COMPONENTS=(com.example.numarika numarika)
_kde_scripts=0

kde_start_desktop() {
    local size background lines
    _wl_desktop_args kde_start_desktop 1280x800 "$@"
    size=$_wl_size background=$_wl_background
    _wl_t0=$(_wl_now)
    _wl_begin_desktop
    mkdir -p "$WL_DIR/portals" "$HOME/Pictures"
    # The installed binary carries a file capability, which a container refuses; a copy runs.
    cp /usr/bin/kwin_wayland "$WL_DIR/kwin_wayland"
    # Plasma's major version, which its programs read from the session.
    KDE_PLASMA_VERSION=$("$WL_DIR/kwin_wayland" --version | grep -o '[0-9][0-9.]*' | head -n 1)
    KDE_SESSION_VERSION=${KDE_PLASMA_VERSION%%.*}
    export XDG_CURRENT_DESKTOP=KDE XDG_SESSION_DESKTOP=KDE XDG_SESSION_TYPE=wayland \
        KDE_FULL_SESSION=true KDE_SESSION_VERSION KDE_PLASMA_VERSION
    # Xwayland's sockets go there; a machine that never ran an X server lacks the folder.
    [ -d /tmp/.X11-unix ] || mkdir -m 1777 /tmp/.X11-unix

    _wl_start_bus
    _wl_await bus 10 _wl_bus_up
    # shellcheck disable=SC2016 # expanded by KWin's shell once Xwayland is up
    _wl_spawn kwin "$WL_DIR/kwin_wayland" --virtual --width "${size%x*}" --height "${size#*x}" \
        --xwayland --socket wayland-kde --no-lockscreen \
        "sh -c 'echo \"\$DISPLAY\" >$WL_DIR/display.tmp && mv $WL_DIR/display.tmp $WL_DIR/display'"
    _wl_await kwin 30 test -s "$WL_DIR/display"
    mapfile -t lines <"$WL_DIR/display"
    export DISPLAY=${lines[0]} WAYLAND_DISPLAY=wayland-kde
    _wl_await kwin 10 _wl_has_owner org.kde.kglobalaccel
    _wl_mark kwin

    _wl_spawn permissions /usr/libexec/xdg-permission-store --replace
    _wl_spawn pipewire pipewire
    # Screenshots allowed to our id, so that the portal (Plasma 6.7) asks nobody.
    _wl_await permissions 10 _wl_has_owner org.freedesktop.impl.portal.PermissionStore
    gdbus call --session -d org.freedesktop.impl.portal.PermissionStore \
        -o /org/freedesktop/impl/portal/PermissionStore \
        -m org.freedesktop.impl.portal.PermissionStore.SetPermission \
        screenshot true screenshot com.example.numarika "['yes']" >/dev/null
    # Its dialogs are Qt 5 programs: on Xwayland, Qt 5 has no Wayland platform here.
    _wl_spawn portal-kde env QT_QPA_PLATFORM=xcb \
        /usr/lib/x86_64-linux-gnu/libexec/xdg-desktop-portal-kde
    _wl_await portal-kde 20 _wl_has_owner org.freedesktop.impl.portal.desktop.kde
    cp /usr/share/xdg-desktop-portal/portals/kde.portal "$WL_DIR/portals/"
    _wl_spawn portal env XDG_DESKTOP_PORTAL_DIR="$WL_DIR/portals" /usr/libexec/xdg-desktop-portal \
        --verbose
    _wl_await portal 10 _wl_has_owner org.freedesktop.portal.Desktop
    _wl_mark portal

    if [ -n "$background" ]; then
        cat >"$WL_DIR/background.qml" <<EOF
import QtQuick 2.15
import QtQuick.Window 2.15
Window {
    title: "kde-background"
    visibility: Window.FullScreen
    color: "black"
    Image { anchors.fill: parent; source: "file://$background"; smooth: false }
}
EOF
        _wl_spawn background env QT_QPA_PLATFORM=xcb qmlscene "$WL_DIR/background.qml"
        _wl_await background 20 _kde_has_window '^kde-background$' ''
    fi
    export WL_STARTUP_SECONDS
    WL_STARTUP_SECONDS=$(awk -v d=$(($(_wl_now) - _wl_t0)) 'BEGIN { printf "%.3f", d / 1e6 }')
}

kde_start_app() {
    wl_bg app env QT_QPA_PLATFORM=wayland QT_LOGGING_RULES=numarika.platform=true \
        "$NUMARIKA"
    APP_PID=$WL_PID
}

# Runs a KWin script (JavaScript, on stdin) and prints what it printed. KWin prints a script's
# lines on its own output as "js: ...", so each run marks its lines with a number of its own.
_kde_script() {
    local n=$((++_kde_scripts)) file
    file="$WL_DIR/script-$n.js"
    {
        echo "var out = function(s) { print('kde-$n ' + s); };"
        cat
        echo "out('end');"
    } >"$file"
    gdbus call --session -d org.kde.KWin -o /Scripting -m org.kde.kwin.Scripting.loadScript \
        "$file" "numarika-test-$n" >/dev/null
    gdbus call --session -d org.kde.KWin -o /Scripting -m org.kde.kwin.Scripting.start >/dev/null
    e2e_poll 10 grep -aq "^js: kde-$n end$" "$E2E_TMP/wl-kwin.log" ||
        e2e_fail "kde: KWin did not run a script"
    gdbus call --session -d org.kde.KWin -o /Scripting -m org.kde.kwin.Scripting.unloadScript \
        "numarika-test-$n" >/dev/null
    grep -a "^js: kde-$n " "$E2E_TMP/wl-kwin.log" | grep -v " end$" | sed "s/^js: kde-$n //"
}

kde_windows() {
    # KWin 6 renamed clientList.
    _kde_script <<'EOF'
var all = workspace.windowList ? workspace.windowList() : workspace.clientList();
for (var i = 0; i < all.length; i++) out(all[i].pid + "\t" + all[i].caption);
EOF
}

_kde_has_window() {
    kde_windows | awk -F '\t' -v re="$1" -v pid="$2" \
        '(pid == "" || $1 == pid) && $2 ~ re { found = 1 } END { exit !found }'
}

kde_wait_window() {
    e2e_poll "${2:-20}" _kde_has_window "$1" "$APP_PID"
}

kde_close_window() {
    _kde_script >/dev/null <<EOF
var all = workspace.windowList ? workspace.windowList() : workspace.clientList();
var re = new RegExp($(jq -n --arg re "$1" '$re'));
for (var i = 0; i < all.length; i++)
    if (all[i].pid == $APP_PID && re.test(all[i].caption)) all[i].closeWindow();
EOF
    e2e_poll 10 _kde_no_window "$1" || e2e_fail "kde: the window $1 did not close"
}

_kde_no_window() { ! _kde_has_window "$1" "$APP_PID"; }

_kde_accel() {
    gdbus call --session -d org.kde.kglobalaccel -o /kglobalaccel \
        -m "org.kde.KGlobalAccel.$1" "${@:2}"
}

kde_keys() {
    _kde_accel shortcut "['$1', '$2', '', '']" | grep -o '[0-9]\+'
}

kde_hold_key() {
    local action="['$1', '$2', '$1', '$2']"
    _kde_accel doRegister "$action" >/dev/null
    # 4: the keys given, not those kglobalaccel remembers for it.
    _kde_accel setShortcut "$action" "[$3]" 4 >/dev/null
    [ "$(kde_keys "$1" "$2")" = "$3" ] || e2e_fail "kde: $1 did not get the key $3"
}

kde_free_key() {
    local holder n
    for n in 1 2 3 4 5; do
        # [component, action, component's name, action's name] of the holder, or nothing.
        holder=$(_kde_accel action "$1" | { grep -o "'[^']*'" || true; } | head -n 4 | paste -sd, -)
        [ -n "$holder" ] || return 0
        _kde_accel setShortcut "[$holder]" "@ai []" 4 >/dev/null
    done
    e2e_fail "kde: the key $1 stays held by $holder"
}

kde_screenshots() {
    # KWin 6 without a GPU: 6.3 offers no ScreenShot2, 6.7 answers it Cancelled.
    [ "$KDE_SESSION_VERSION" -lt 6 ] || [ -e /dev/dri ] || return 1
    gdbus introspect --session -d org.kde.KWin -o /org/kde/KWin/ScreenShot2 2>/dev/null |
        grep -q 'interface org.kde.KWin.ScreenShot2'
}

kde_invoke() {
    # The component's object path has its name's other characters as _ (com_example_numarika).
    gdbus call --session -d org.kde.kglobalaccel -o "/component/${1//[^A-Za-z0-9_]/_}" \
        -m org.kde.kglobalaccel.Component.invokeShortcut "$2" >/dev/null
}

_kde_has_png() { timeout 2 wl-paste --list-types 2>/dev/null | grep -qx image/png; }

kde_clipboard_png() {
    local out=$1 seconds=${2:-10}
    e2e_poll "$seconds" _kde_has_png || return 1
    # wl-paste waits forever on KWin 5.27 when the clipboard empties meanwhile.
    timeout 5 wl-paste --no-newline --type image/png >"$out" || return 1
    [ "$(head -c 8 "$out" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ]
}
