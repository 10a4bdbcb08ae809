#!/usr/bin/env bash
# Builds numarika (Release) into build/ and starts it on the current X display.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
ninja -C build -j"$(nproc)" numarika
exec ./build/numarika "$@"
