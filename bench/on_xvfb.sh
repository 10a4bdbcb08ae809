#!/usr/bin/env bash
# Runs a benchmark on private X servers at 1920x1080 and 3840x2160, one after the other, each
# ended with the run (also when it fails).
#   bench/on_xvfb.sh BENCH_BINARY TIMEOUT_SECONDS [ARGS...]
set -euo pipefail
bench=$1
limit=$2
shift 2
[ -x "$bench" ] || { echo "missing $bench: build it first" >&2; exit 2; }
tmp=$(mktemp -d)
xvfb=
cleanup() {
    if [ -n "$xvfb" ]; then
        kill "$xvfb" 2>/dev/null || true
        wait "$xvfb" 2>/dev/null || true
    fi
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
    DISPLAY=":$n" timeout "$limit" "$bench" "$@"
    kill "$xvfb"
    wait "$xvfb" 2>/dev/null || true
    xvfb=
done
