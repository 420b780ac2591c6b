#!/usr/bin/env bash
# The program's command line: questions answered and mistakes refused before any display is
# needed, and a missing display reported in one line with its own exit status.
# Usage: command_line.sh <program>
set -uo pipefail
program="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A display number that no server holds.
display=1000
while [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
done

failures=0
# check <case name> <expected status> <expected stdout> <expected stderr> <env and arguments...>
# Outputs are compared whole; "*" in an expected text matches anything.
check() {
    local name="$1" status="$2" out="$3" err="$4"
    shift 4
    local got_status
    env -i PATH="$PATH" HOME="$work" "$@" >"$work/out" 2>"$work/err" </dev/null
    got_status=$?
    local got_out got_err
    got_out="$(cat "$work/out")"
    got_err="$(cat "$work/err")"
    # shellcheck disable=SC2053  # the expected texts are patterns on purpose
    if [ "$got_status" != "$status" ] || [[ "$got_out" != $out ]] || [[ "$got_err" != $err ]]; then
        echo "FAIL: $name"
        echo "  status $got_status (expected $status)"
        echo "  stdout: $got_out"
        echo "  stderr: $got_err"
        failures=$((failures + 1))
    else
        echo "ok:   $name"
    fi
}

usage_line="Try 'tarvex --help' for the options."
no_display="Tarvex needs a graphical display, and none is set (DISPLAY and WAYLAND_DISPLAY are empty)."

# Every case runs without a display unless it names one.
check "--version answers" 0 "Tarvex 1.0.0.1" "" "$program" --version
check "-v answers" 0 "Tarvex 1.0.0.1" "" "$program" -v
check "--help answers" 0 "Usage: tarvex \[options\] \[address\]*-h, --help*-v, --version*address*" "" \
    "$program" --help
check "-h answers" 0 "Usage: tarvex \[options\] \[address\]*" "" "$program" -h
check "--help comes before an unreachable display" 0 "Usage: tarvex*" "" \
    DISPLAY=":$display" "$program" --help
check "unknown option" 2 "" "tarvex: Unknown option 'frobnicate'."$'\n'"$usage_line" \
    "$program" --frobnicate
check "unknown option after a good one" 2 "" "tarvex: Unknown option 'x'."$'\n'"$usage_line" \
    "$program" --version -x
check "a second address" 2 "" \
    "tarvex: unexpected argument 'example.net'."$'\n'"$usage_line" "$program" example.org example.net
check "an address to ping needs the display too" 1 "" "$no_display" "$program" example.org
check "a URL to ping needs the display too" 1 "" "$no_display" "$program" "http://example.org/x?y=1"
check "toolkit option without its value" 2 "" \
    "tarvex: Missing value after '-platform'."$'\n'"$usage_line" "$program" -platform
check "no display set" 1 "" "$no_display" "$program"
check "display that cannot be opened" 1 "" \
    "Tarvex cannot open the graphical display (DISPLAY=\":$display\", WAYLAND_DISPLAY=\"\")." \
    DISPLAY=":$display" "$program"
check "toolkit options are the toolkit's, the display is still missing" 1 "" "$no_display" \
    "$program" -style Fusion
check "platform that cannot be loaded" 1 "" \
    "Tarvex cannot open the graphical display (DISPLAY=\"\", WAYLAND_DISPLAY=\"\", platform \"nowhere\")." \
    "$program" -platform nowhere
check "platform from the environment that cannot be loaded" 1 "" \
    "Tarvex cannot open the graphical display (DISPLAY=\"\", WAYLAND_DISPLAY=\"\", platform \"nowhere\")." \
    QT_QPA_PLATFORM=nowhere "$program"

# check_libraries <case name> <pattern> <arguments...>: none of the shared libraries that the
# program loads to do what it is asked, at its start or later, matches the pattern (an extended
# regular expression). The loader names each as it maps it.
check_libraries() {
    local name="$1" pattern="$2"
    shift 2
    env -i PATH="$PATH" HOME="$work" LD_DEBUG=files "$program" "$@" >/dev/null 2>"$work/err" \
        </dev/null
    local loaded unwanted
    loaded="$(sed -n 's/.*file=\([^ ]*\) .*/\1/p' "$work/err" | sort -u)"
    unwanted="$(grep -E "$pattern" <<<"$loaded")"
    if [ -z "$loaded" ] || [ -n "$unwanted" ]; then
        echo "FAIL: $name"
        echo "  loaded: $(tr '\n' ' ' <<<"${unwanted:-nothing the loader named}")"
        failures=$((failures + 1))
    else
        echo "ok:   $name"
    fi
}

# What only some commands use is loaded when one of them first runs, not at every start.
on_demand='libcurl'
check_libraries "--version loads no library it does not use" "$on_demand" --version
check_libraries "a ping without a window loads no library it does not use" "$on_demand" \
    --ping -c 1 -i 10 127.0.0.1

[ "$failures" -eq 0 ]
