#!/usr/bin/env bash
# Launch time of Tarvex against GNOME Nettool, a GTK program of the same kind: the time from
# starting the program until its main window is on screen, A and B interleaved round by round
# under one private virtual X server, so that both see the same machine load. Prints every
# launch, the medians and the ratios A/B.
#
# Two moments are taken per launch: when the window is mapped (viewable, what
# `xdotool search --onlyvisible` sees) and when it is also drawn. A program may map its window
# long before it paints it; until then the user sees nothing of it, so the drawn figure is the
# one that counts.
#
# Usage: startup_ab.sh [ROUNDS] [TARVEX_PROGRAM] [TITLE_B CMD_B]
#   ROUNDS          launches of each program (default 11)
#   TARVEX_PROGRAM  the program to time (default build/src/tarvex below this folder's parent)
#   TITLE_B CMD_B   the program to compare with: a window-title pattern and a command
#                   (default 'Network Tools|Devices' and 'exec gnome-nettool')
#
# Both programs start in a folder that holds the marker pictures, with a HOME of their own whose
# first start is already done (one launch of each before the timed rounds), so that neither pays
# for creating its data folder or settings during the rounds. Needs Xvfb and the window_shown
# helper built beside the program (build/bench/window_shown).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
rounds="${1:-11}"
program="$(realpath "${2:-$top/build/src/tarvex}")"
title_a='^Tarvex$'
cmd_a="exec '$program'"
title_b="${3:-Network Tools|Devices}"
cmd_b="${4:-exec gnome-nettool}"

shown="$(dirname "$program")/../bench/window_shown"
command -v Xvfb >/dev/null || { echo "startup_ab.sh: Xvfb is missing" >&2; exit 1; }
[ -x "$program" ] || { echo "startup_ab.sh: no program $program" >&2; exit 1; }
[ -x "$shown" ] || { echo "startup_ab.sh: no helper $shown (build the bench folder)" >&2; exit 1; }

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

# launch TITLE COMMAND: "MAPPED DRAWN", milliseconds from the start until a window of that title
# is viewable and until it is drawn.
launch() {
    local t0 pid times=""
    t0=$(date +%s%N)
    bash -c "$2" >"$work/launch.log" 2>&1 &
    pid=$!
    times="$("$shown" "$1" "$t0" 15000)" || times=""
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 40); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    sleep 0.5
    if [ -z "$times" ]; then
        echo "startup_ab.sh: no window '$1' drawn from: $2" >&2
        cat "$work/launch.log" >&2
        exit 1
    fi
    echo "$times"
}

# First starts, not timed.
launch "$title_a" "$cmd_a" >/dev/null
launch "$title_b" "$cmd_b" >/dev/null

A_MAPPED=()
A_DRAWN=()
B_MAPPED=()
B_DRAWN=()
for round in $(seq 1 "$rounds"); do
    times="$(launch "$title_a" "$cmd_a")"
    read -r mapped drawn <<<"$times"
    A_MAPPED+=("$mapped")
    A_DRAWN+=("$drawn")
    times="$(launch "$title_b" "$cmd_b")"
    read -r mapped drawn <<<"$times"
    B_MAPPED+=("$mapped")
    B_DRAWN+=("$drawn")
    echo "round $round: A ${A_DRAWN[-1]} ms (mapped ${A_MAPPED[-1]}), B ${B_DRAWN[-1]} ms (mapped ${B_MAPPED[-1]})" >&2
done

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
ratio() { awk "BEGIN{printf \"%.2f\", $1/$2}"; }
echo "launch to window on screen, $rounds interleaved rounds"
echo "A (Tarvex) drawn:   ${A_DRAWN[*]}"
echo "B ($cmd_b) drawn: ${B_DRAWN[*]}"
echo "A (Tarvex) mapped:   ${A_MAPPED[*]}"
echo "B ($cmd_b) mapped: ${B_MAPPED[*]}"
ma=$(median "${A_DRAWN[@]}")
mb=$(median "${B_DRAWN[@]}")
echo "drawn:  median A $ma ms, B $mb ms, A/B $(ratio "$ma" "$mb")"
ma=$(median "${A_MAPPED[@]}")
mb=$(median "${B_MAPPED[@]}")
echo "mapped: median A $ma ms, B $mb ms, A/B $(ratio "$ma" "$mb")"
