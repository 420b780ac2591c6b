#!/usr/bin/env bash
# Starts the built Tarvex in the folder make was called from. On its first start the program
# copies the two marker pictures into its data folder; a program in the build folder finds them
# in the source tree when the start folder does not hold them.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "Tarvex needs a graphical display, and none is set (DISPLAY and WAYLAND_DISPLAY are empty)." >&2
    echo "Start it from a desktop session, or under a virtual one: xvfb-run -a make run" >&2
    exit 1
fi

exec "$top/build/src/tarvex" "$@"
