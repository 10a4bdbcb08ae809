#!/usr/bin/env bash
# Runs bench_clipboard on private X servers at 1920x1080 and 3840x2160.
#   bench/clipboard/run.sh [BUILD_DIR] [RUNS]
set -euo pipefail
build=${1:-$(dirname "$0")/../../build}
exec bash "$(dirname "$0")/../on_xvfb.sh" "$build/bench/clipboard/bench_clipboard" 600 "${2:-7}"
