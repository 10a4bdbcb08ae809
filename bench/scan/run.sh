#!/usr/bin/env bash
# Runs bench_scan on private X servers at 1920x1080 and 3840x2160, without a window manager.
#   bench/scan/run.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-$(dirname "$0")/../../build}
exec bash "$(dirname "$0")/../on_xvfb.sh" "$build/bench/scan/bench_scan" 120 "${2:-20}"
