#!/usr/bin/env bash
# Runs bench_hide on a private 1920x1080 X server per desktop: none, openbox with and without
# its iconify animation, i3; a late painter (tests/capture/scan_e2e_tool) lies beneath.
#   bench/hide/run.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-$(dirname "$0")/../../build}
runs=${2:-15}
bench="$build/bench/hide/bench_hide"
tool="$build/tests/capture/scan_e2e_tool"
for f in "$bench" "$tool"; do
    [ -x "$f" ] || { echo "missing $f: build the targets bench_hide and scan_e2e_tool" >&2; exit 2; }
done
tmp=$(mktemp -d)
pids=()
stop_all() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    for i in "${pids[@]}"; do wait "$i" 2>/dev/null || true; done
    pids=()
}
cleanup() {
    stop_all
    rm -rf "$tmp"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$tmp" HOME="$tmp" LANG=C.UTF-8 LC_ALL=C.UTF-8
unset QT_QPA_PLATFORM

wm_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
wait_for() {
    local deadline=$((SECONDS + 15))
    until "$@"; do
        ((SECONDS < deadline)) || { echo "timed out: $*" >&2; exit 1; }
        sleep 0.05
    done
}

# Debian's openbox binds Print, which the scan gives back to the desktop and takes again.
perl -0pe 's{<keybind key="(?:A-)?Print">.*?</keybind>\s*}{}gs' /etc/xdg/openbox/rc.xml \
    >"$tmp/openbox.xml"
sed 's|<animateIconify>yes</animateIconify>|<animateIconify>no</animateIconify>|' \
    "$tmp/openbox.xml" >"$tmp/openbox-still.xml"
printf '# i3 config file (v4)\nfont pango:DejaVu Sans 8\n' >"$tmp/i3.conf"

for desktop in none openbox openbox-still i3; do
    mkfifo "$tmp/fd"
    Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp -noreset 3>"$tmp/fd" \
        >"$tmp/xvfb.log" 2>&1 &
    pids+=($!)
    read -r -t 20 n <"$tmp/fd" || { cat "$tmp/xvfb.log" >&2; exit 1; }
    rm "$tmp/fd"
    export DISPLAY=":$n"
    case $desktop in
        openbox*) openbox --config-file "$tmp/$desktop.xml" >"$tmp/wm.log" 2>&1 & pids+=($!) ;;
        i3) i3 -c "$tmp/i3.conf" --shmlog-size=0 >"$tmp/wm.log" 2>&1 & pids+=($!) ;;
    esac
    [ "$desktop" = none ] || wait_for wm_running
    echo 0 >"$tmp/delay"
    rm -f "$tmp/painter.png"
    "$tool" late-painter "$tmp/delay" "$tmp/painter.png" & pids+=($!)
    wait_for test -e "$tmp/painter.png"
    timeout 300 "$bench" "$desktop" "$tmp/delay" "$runs" 0 60 150
    stop_all
done
