#!/usr/bin/env bash
# An address on the command line, as the desktop entry passes one (Exec=tarvex %u): the program
# opens its window, loads its settings and pings the address as Enter in the address field
# would, with the settings file's number of requests. The pane is read back as a user copies it.
# Usage: address_argument.sh <program>
set -uo pipefail
program="$1"
skip=77
for tool in Xvfb xdotool xclip; do
    if ! command -v "$tool" >/dev/null; then
        echo "SKIP: $tool is missing (scripts/install-deps.sh installs it)"
        exit "$skip"
    fi
done

work="$(mktemp -d)"
program_pid=""
xvfb_pid=""
# shellcheck source=desktop_user.sh
source "$(dirname "$0")/desktop_user.sh"
cleanup() {
    [ -n "$program_pid" ] && kill "$program_pid" 2>/dev/null && wait "$program_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
ok() { echo "ok:   $*"; }

if ! start_display; then
    echo "FAIL: the virtual X server did not start"
    exit 1
fi

# A settings file of the user's own: three requests, not the standard four, so that the run
# shows it used the settings loaded at start.
home="$work/home"
mkdir -p "$home/Documents/Haldrin/Tarvex/System" "$work/runtime"
chmod 700 "$work/runtime"
cat >"$home/Documents/Haldrin/Tarvex/System/Tarvex.ini" <<'EOF'
[PING SYSTEM SETTINGS]
Time Out=1000
Buffer Size=32
TTL=128
Retries No=3
EOF

address="127.0.0.1"
(
    cd "$work" || exit 1
    exec env -i PATH=/usr/bin:/bin HOME="$home" DISPLAY="$DISPLAY" XDG_RUNTIME_DIR="$work/runtime" \
        LANG=C.UTF-8 QTWEBENGINE_DISABLE_SANDBOX=1 "$program" "$address"
) >"$work/program.log" 2>&1 &
program_pid=$!

wait_for_main_window "$home/Documents/Haldrin/Tarvex/Images/Flag.png" || exit 1
xdotool windowfocus --sync "$window"
if ! wait_for_results; then
    exit 1
fi

replies="$(grep -c "^Reply from 127\.0\.0\.1[:;] " <<<"$results")"
if [ "$replies" -eq 3 ]; then ok "three replies from 127.0.0.1"; else fail "$replies replies from 127.0.0.1, expected 3"; fi
if grep -qxF "Packets: Sent = 3, Received = 3, Lost = 0 [ 0% loss ]" <<<"$results"; then
    ok "statistics: three sent, three received"
else
    fail "statistics line"
fi
if grep -qxF "Ping statistics for $address; IPv4 - 127.0.0.1" <<<"$results"; then
    ok "the run is the address as given"
else
    fail "no statistics for $address"
fi
# The windows that stay hidden until a command opens them are there once the main window is:
# Ctrl+L opens the file window.
file_window() {
    xdotool search --onlyvisible --pid "$program_pid" --name '^Load list of addresses$' \
        >/dev/null 2>&1
}
xdotool windowfocus --sync "$window"
xdotool key ctrl+l
if wait_for 30 file_window; then ok "Ctrl+L opens the file window"; else fail "no file window after Ctrl+L"; fi
xdotool key Escape
# The address stays in the field, as after Enter; the window goes on running.
if kill -0 "$program_pid" 2>/dev/null; then ok "the window stays open"; else fail "the program ended"; fi

[ "$failures" -eq 0 ]
