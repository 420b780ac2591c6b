# What the tests that use the program as a desktop user does share (sourced, not run): a private
# virtual display, waiting for the program, its main window, and its results pane read back the
# way a user copies it (Ctrl+A, Ctrl+C in the window, then the clipboard). The user's keys reach
# the display through XTEST (xdotool). The caller sets `work` (a folder of its own) and, once the
# program runs, `program_pid`.

# Starts Xvfb on a free display and exports DISPLAY; sets xvfb_pid. Returns 1 when it did not
# start.
start_display() {
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.1
    done
    [ -s "$work/display" ] || return 1
    export DISPLAY=":$(head -n 1 "$work/display")"
}

# wait_for <seconds> <command...>: polls until the command succeeds; fails when the time is up or
# the program has ended.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        if [ "$SECONDS" -ge "$deadline" ] || ! kill -0 "$program_pid" 2>/dev/null; then
            return 1
        fi
        sleep 0.2
    done
}

# Succeeds once the program's main window is on the display; sets `window`. (The splash before
# it carries the same title, so callers wait for something the first showing does first.)
main_window() {
    window="$(xdotool search --onlyvisible --pid "$program_pid" --name '^Tarvex$' 2>/dev/null | head -n 1)"
    [ -n "$window" ]
}

# wait_for_main_window <file>: waits for the file that the first showing writes, then for the
# main window (the splash before it carries the same title); sets `window`. Prints the program's
# output and fails when the window does not appear.
wait_for_main_window() {
    window=""
    if ! wait_for 120 test -f "$1" || ! wait_for 60 main_window; then
        cat "$work/program.log"
        echo "FAIL: the main window did not appear"
        return 1
    fi
}

clipboard() { timeout 5 xclip -o -selection clipboard 2>/dev/null; }

# Copies the results pane into `results` and succeeds once a run's statistics are there, or once
# the program shows a window of its own (an error message), whose text is then copied instead
# and whose id is left in `message_box`.
run_ended() {
    message_box="$(xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null | grep -vxF "$window" | head -n 1)"
    if [ -n "$message_box" ]; then
        # Where the toolkit lets a message box copy its text with Ctrl+C, it is shown too.
        xdotool windowfocus --sync "$message_box"
        xdotool key ctrl+c
        results="a message box titled '$(xdotool getwindowname "$message_box")' $(clipboard)"
        return 0
    fi
    # As a user copies the results: a click into the results pane (the lower left of the window),
    # then Ctrl+A and Ctrl+C; in the address field Ctrl+A would select the field's own text.
    local WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(WIDTH|HEIGHT)=')"
    xdotool mousemove --window "$window" $((WIDTH / 4)) $((HEIGHT * 3 / 4)) click 1
    xdotool key ctrl+a ctrl+c
    results="$(clipboard)"
    grep -q "^Packets: Sent = " <<<"$results"
}

# Waits (up to two minutes) for the run in the focused main window to end; fails, saying why,
# when it does not end with its statistics.
wait_for_results() {
    results=""
    message_box=""
    if ! wait_for 120 run_ended || [ -n "$message_box" ]; then
        cat "$work/program.log"
        echo "${message_box:+the program shows }$results"
        echo "FAIL: the run did not finish with its statistics"
        return 1
    fi
    echo "$results"
}
