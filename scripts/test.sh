#!/usr/bin/env bash
# Runs every test. Tests use the offscreen platform; those that need real windowing or the
# embedded browser get the virtual X server started here (when no display is set).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top/build"
jobs="$(nproc)"

if [ -z "${DISPLAY:-}" ]; then
    # Our own server rather than xvfb-run, so that the result is ctest's own exit status.
    fdfile="$(mktemp)"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
    xvfb_pid=$!
    trap 'kill "$xvfb_pid" 2>/dev/null || true; rm -f "$fdfile"' EXIT
    for _ in $(seq 100); do
        [ -s "$fdfile" ] && break
        sleep 0.1
    done
    if [ ! -s "$fdfile" ]; then
        echo "The virtual X server (Xvfb) did not start." >&2
        exit 1
    fi
    export DISPLAY=":$(head -n 1 "$fdfile")"
fi

ctest --output-on-failure -j "$jobs" "$@"
