#!/usr/bin/env bash
# Launch time of Tarvex against its peers: the time from starting a program until its main window
# is on screen, Tarvex and each peer interleaved round by round under one private virtual X
# server, so that all see the same machine load. Prints every launch, the medians and the ratio
# of Tarvex's median to each peer's.
#
# The peers, unless others are given: a bare Qt Widgets window with a menu (bench/bare_window,
# what any window of the same toolkit costs) and GNOME Nettool, a GTK program of the same kind.
#
# Two moments are taken per launch: when the window is mapped (viewable, what
# `xdotool search --onlyvisible` sees) and when it is also drawn. A program may map its window
# long before it paints it; until then the user sees nothing of it, so the drawn figure is the
# one that counts.
#
# Usage: startup_ab.sh [ROUNDS] [TARVEX_PROGRAM] [TITLE CMD]...
#   ROUNDS          launches of each program (default 11)
#   TARVEX_PROGRAM  the program to time (default build/src/tarvex below this folder's parent)
#   TITLE CMD       a peer: a window-title pattern and a command, as many as wanted (default
#                   '^Bare Qt Window$' 'exec build/bench/bare_window' and
#                   'Network Tools|Devices' 'exec gnome-nettool'); another build of Tarvex
#                   ('^Tarvex$' 'exec /other/build/src/tarvex') compares two versions in one run
#
# Every program starts in a folder that holds the marker pictures, with a HOME of its own whose
# first start is already done (one launch of each before the timed rounds), so that none pays
# for creating its data folder or settings during the rounds. Needs Xvfb and the window_shown
# and bare_window helpers built beside the program (build/bench/).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
rounds="${1:-11}"
program="$(realpath "${2:-$top/build/src/tarvex}")"
bench="$(dirname "$program")/../bench"
shown="$bench/window_shown"
TITLES=('^Tarvex$')
COMMANDS=("exec '$program'")
NAMES=("Tarvex")
if [ $# -gt 2 ]; then
    shift 2
    while [ $# -ge 2 ]; do
        TITLES+=("$1")
        COMMANDS+=("$2")
        NAMES+=("$2")
        shift 2
    done
    [ $# -eq 0 ] || { echo "startup_ab.sh: a peer needs a title and a command" >&2; exit 2; }
else
    bare="$(realpath "$bench/bare_window")"
    [ -x "$bare" ] || { echo "startup_ab.sh: no helper $bare (build the bench folder)" >&2; exit 1; }
    command -v gnome-nettool >/dev/null ||
        { echo "startup_ab.sh: gnome-nettool is missing (scripts/install-deps.sh bench)" >&2; exit 1; }
    TITLES+=('^Bare Qt Window$' 'Network Tools|Devices')
    COMMANDS+=("exec '$bare'" "exec gnome-nettool")
    NAMES+=("bare Qt window" "GNOME Nettool")
fi

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
count=${#TITLES[@]}
for ((p = 0; p < count; ++p)); do
    launch "${TITLES[p]}" "${COMMANDS[p]}" >/dev/null
done

# MAPPED_<p> and DRAWN_<p>: the times of program p, round after round.
for ((p = 0; p < count; ++p)); do
    declare -a "MAPPED_$p=()" "DRAWN_$p=()"
done
for round in $(seq 1 "$rounds"); do
    line="round $round:"
    for ((p = 0; p < count; ++p)); do
        times="$(launch "${TITLES[p]}" "${COMMANDS[p]}")"
        read -r mapped drawn <<<"$times"
        eval "MAPPED_$p+=(\"\$mapped\")"
        eval "DRAWN_$p+=(\"\$drawn\")"
        line+=" ${NAMES[p]} $drawn ms (mapped $mapped)"
        [ $p -eq $((count - 1)) ] || line+=","
    done
    echo "$line" >&2
done

median() { printf '%s\n' "$@" | sort -n | sed -n "$((($# + 1) / 2))p"; }
ratio() { awk "BEGIN{printf \"%.2f\", $1/$2}"; }
echo "launch to window on screen, $rounds interleaved rounds"
for moment in DRAWN MAPPED; do
    for ((p = 0; p < count; ++p)); do
        eval "values=(\"\${${moment}_$p[@]}\")"
        echo "${moment,,} ${NAMES[p]}: ${values[*]}"
    done
done
for moment in DRAWN MAPPED; do
    eval "values=(\"\${${moment}_0[@]}\")"
    ma=$(median "${values[@]}")
    for ((p = 1; p < count; ++p)); do
        eval "values=(\"\${${moment}_$p[@]}\")"
        mb=$(median "${values[@]}")
        echo "${moment,,}: median Tarvex $ma ms, ${NAMES[p]} $mb ms, Tarvex/peer $(ratio "$ma" "$mb")"
    done
done
