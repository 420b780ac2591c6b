#!/usr/bin/env bash
# Starts Tarvex from the folder that holds the two marker images, which the program copies into
# its data folder on the first start.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Tarvex needs a graphical display, and none is set (DISPLAY and WAYLAND_DISPLAY are empty)." >&2
    echo "Start it from a desktop session, or under a virtual one: xvfb-run -a make run" >&2
    exit 1
fi

cd "$top/resources/images"
exec "$top/build/src/tarvex" "$@"
