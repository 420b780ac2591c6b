#!/usr/bin/env bash
# Launch time of Tarvex against GNOME Nettool, a GTK program of the same kind: the time from
# starting the program until its main window is visible, A and B interleaved round by round
# under one private virtual X server, so that both see the same machine load. Prints every
# launch, both medians and the ratio A/B.
#
# Usage: startup_ab.sh [ROUNDS] [TARVEX_PROGRAM] [TITLE_B CMD_B]
#   ROUNDS          launches of each program (default 11)
#   TARVEX_PROGRAM  the program to time (default build/src/tarvex below this folder's parent)
#   TITLE_B CMD_B   the program to compare with: a window-title pattern and a command
#                   (default 'Network Tools|Devices' and 'exec gnome-nettool')
#
# Both programs start in a folder that holds the marker pictures, with a HOME of their own whose
# first start is already done (one launch of each before the timed rounds), so that neither pays
# for creating its data folder or settings during the rounds. Needs Xvfb and xdotool.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
rounds="${1:-11}"
program="$(realpath "${2:-$top/build/src/tarvex}")"
title_a='^Tarvex$'
cmd_a="exec '$program'"
title_b="${3:-Network Tools|Devices}"
cmd_b="${4:-exec gnome-nettool}"

for tool in Xvfb xdotool; do
    command -v "$tool" >/dev/null || { echo "startup_ab.sh: $tool is missing" >&2; exit 1; }
done
[ -x "$program" ] || { echo "startup_ab.sh: no program $program" >&2; exit 1; }

work="$(mktemp -d)"
fdfile="$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do
    [ -s "$fdfile" ] && break
    sleep 0.1
done
[ -s "$fdfile" ] || { echo "startup_ab.sh: the virtual X server did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$fdfile")"

export HOME="$work/home"
mkdir -p "$HOME/Documents" "$work/start"
unset XDG_DOCUMENTS_DIR XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME
cp "$top/resources/images/Marker.png" "$top/resources/images/Flag.png" "$work/start/"
cd "$work/start"

# launch TITLE COMMAND: milliseconds from the start until a visible window of that title.
launch() {
    local t0 t1 pid shown=""
    t0=$(date +%s%N)
    bash -c "$2" >"$work/launch.log" 2>&1 &
    pid=$!
    for _ in $(seq 1 3000); do
        if xdotool search --onlyvisible --name "$1" >/dev/null 2>&1; then
            shown=yes
            break
        fi
        sleep 0.005
    done
    t1=$(date +%s%N)
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 40); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    sleep 0.5
    if [ -z "$shown" ]; then
        echo "startup_ab.sh: no window '$1' from: $2" >&2
        cat "$work/launch.log" >&2
        exit 1
    fi
    echo $(((t1 - t0) / 1000000))
}

# First starts, not timed.
launch "$title_a" "$cmd_a" >/dev/null
launch "$title_b" "$cmd_b" >/dev/null

A=()
B=()
for round in $(seq 1 "$rounds"); do
    A+=("$(launch "$title_a" "$cmd_a")")
    B+=("$(launch "$title_b" "$cmd_b")")
    echo "round $round: A ${A[-1]} ms, B ${B[-1]} ms" >&2
done

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
ma=$(median "${A[@]}")
mb=$(median "${B[@]}")
echo "launch to visible window, $rounds interleaved rounds"
echo "A (Tarvex):   ${A[*]}"
echo "B ($cmd_b): ${B[*]}"
echo "median A $ma ms, B $mb ms, A/B $(awk "BEGIN{printf \"%.2f\", $ma/$mb}")"
