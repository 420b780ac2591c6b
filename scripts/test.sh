#!/usr/bin/env bash
# Runs every test. Tests use the offscreen platform; those that need real windowing or the
# embedded browser get the virtual X server started here.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top/build"
jobs="$(nproc)"
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure -j "$jobs" "$@"
fi
exec ctest --output-on-failure -j "$jobs" "$@"
