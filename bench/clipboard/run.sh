#!/usr/bin/env bash
# Runs bench_clipboard on private X servers at 1920x1080 and 3840x2160.
#   bench/clipboard/run.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-$(dirname "$0")/../../build}
runs=${2:-7}
bench="$build/bench/clipboard/bench_clipboard"
[ -x "$bench" ] || { echo "missing $bench: build the target bench_clipboard" >&2; exit 2; }
tmp=$(mktemp -d)
xvfb=
cleanup() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR="$tmp" TMPDIR="$tmp" LANG=C.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb
for size in 1920x1080 3840x2160; do
    mkfifo "$tmp/fd"
    Xvfb -displayfd 3 -screen 0 "${size}x24" -nolisten tcp -noreset 3>"$tmp/fd" >"$tmp/xvfb.log" 2>&1 &
    xvfb=$!
    read -r -t 20 n <"$tmp/fd" || { cat "$tmp/xvfb.log" >&2; exit 1; }
    rm "$tmp/fd"
    DISPLAY=":$n" timeout 600 "$bench" "$runs"
    kill "$xvfb"
    wait "$xvfb" 2>/dev/null || true
    xvfb=
done
