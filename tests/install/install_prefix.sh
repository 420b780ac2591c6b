#!/usr/bin/env bash
# `cmake --install` under a prefix of its own: the installed program, started from an unrelated
# folder, copies the marker pictures installed beside it (here made different from the source
# tree's, so that a copy from anywhere else shows), and starts without a package manager's help.
# Usage: install_prefix.sh <cmake> <build folder>
set -uo pipefail
cmake="$1" build="$2"
work="$(mktemp -d)"
program_pid=""
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

prefix="$work/prefix"
if ! "$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
    cat "$work/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi
for picture in Marker.png Flag.png; do
    printf 'installed %s\n' "$picture" >"$prefix/share/tarvex/$picture"
done

mkdir -p "$work/home" "$work/start"
(
    cd "$work/start" || exit 1
    exec env -i PATH=/usr/bin:/bin HOME="$work/home" QT_QPA_PLATFORM=offscreen \
        QTWEBENGINE_DISABLE_SANDBOX=1 "$prefix/bin/tarvex"
) >"$work/program.log" 2>&1 &
program_pid=$!

# The settings file is written after the pictures are copied.
images="$work/home/Documents/Haldrin/Tarvex/Images"
for _ in $(seq 600); do
    [ -f "$work/home/Documents/Haldrin/Tarvex/System/Tarvex.ini" ] && break
    kill -0 "$program_pid" 2>/dev/null || break
    sleep 0.2
done
failures=0
for picture in Marker.png Flag.png; do
    if cmp -s "$images/$picture" "$prefix/share/tarvex/$picture"; then
        echo "ok:   $picture copied from $prefix/share/tarvex"
    else
        echo "FAIL: $picture was not copied from $prefix/share/tarvex"
        failures=$((failures + 1))
    fi
done
[ "$failures" -eq 0 ] || cat "$work/program.log"
[ "$failures" -eq 0 ]
