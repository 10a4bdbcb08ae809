#!/usr/bin/env bash
# Runs bench_wayland on a private headless Wayland desktop: sway (tests/e2e/wayland_lib.sh, the
# desktop portal with xdg-desktop-portal-wlr for the portal's rounds) at 1920x1080 and then at
# 3840x2160, or GNOME (tests/e2e/gnome_lib.sh) at 1920x1080.
#   bench/wayland/run.sh [BUILD_DIR] [RUNS] [sway|gnome]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build}" && pwd)
runs=${2:-9}
bench="$build/bench/wayland/bench_wayland"
[ -x "$bench" ] || { echo "missing $bench: build the target bench_wayland" >&2; exit 2; }
export NUMARIKA="$build/numarika" E2E_BUILD_DIR="$build"
if [ "${3:-sway}" = gnome ]; then
    # shellcheck source=../../tests/e2e/gnome_lib.sh
    source "$here/../../tests/e2e/gnome_lib.sh"
    python3 "$here/../../tests/e2e/distinct_pixels_png.py" 1920x1080 "$E2E_TMP/screen.png"
    gnome_start_desktop 1920x1080 --background "$E2E_TMP/screen.png"
    "$bench" "$runs" "$NUMARIKA" gnome
    exit
fi
# shellcheck source=../../tests/e2e/wayland_lib.sh
source "$here/../../tests/e2e/wayland_lib.sh"
for size in 1920x1080 3840x2160; do
    python3 "$here/../../tests/e2e/distinct_pixels_png.py" "$size" "$E2E_TMP/screen.png"
    wl_start_desktop "$size" --background "$E2E_TMP/screen.png" --float --screenshot wlr
    "$bench" "$runs" "$NUMARIKA"
    wl_stop_desktop
done
