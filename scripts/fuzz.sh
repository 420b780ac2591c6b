#!/usr/bin/env bash
# Builds the fuzz harnesses of fuzz/ (clang, AddressSanitizer and UndefinedBehaviorSanitizer) in
# build-fuzz/ and runs them.
#   scripts/fuzz.sh replay          every file of each harness's corpus once (a regression run)
#   scripts/fuzz.sh run [seconds]   fuzz each harness for a while (default 60 s each); new
#                                   inputs go to build-fuzz/corpus/<harness>/, findings (crash-*,
#                                   leak-*, timeout-*) to build-fuzz/findings/<harness>/
# FUZZ_HARNESSES="fuzz_rtf fuzz_whois" limits either to some harnesses.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$top/build-fuzz}"
mode="${1:-replay}"
seconds="${2:-60}"

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" \
    -DTARVEX_FUZZ=ON -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCH=OFF >/dev/null
# Only the harnesses and the core libraries they link; the windows are not built.
cmake --build "$build" --target fuzz_harnesses

harnesses=(${FUZZ_HARNESSES:-$(cd "$top/fuzz" && ls fuzz_*.cpp | sed 's/\.cpp$//')})
# The leak checker stops the process to scan it, which some CI containers do not allow; the
# regression run does without it, fuzzing runs keep it.
if [ "$mode" = replay ]; then
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}"
else
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
fi
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
status=0
for harness in "${harnesses[@]}"; do
    corpus="$top/fuzz/corpus/$harness"
    case "$mode" in
        replay)
            # Runs each corpus file once; any crash, sanitizer report or leak fails.
            if ! "$build/fuzz/$harness" -runs=0 -rss_limit_mb=4096 -artifact_prefix="$build/" "$corpus" \
                    >"$build/$harness.replay.log" 2>&1; then
                echo "$harness: FAILED on its corpus (log: $build/$harness.replay.log)" >&2
                tail -n 30 "$build/$harness.replay.log" >&2
                status=1
            else
                echo "$harness: $(find "$corpus" -type f | wc -l) corpus files replayed"
            fi
            ;;
        run)
            work="$build/corpus/$harness"
            findings="$build/findings/$harness"
            mkdir -p "$work" "$findings"
            echo "== $harness: fuzzing for $seconds s"
            # One child process at a time that is restarted after a finding, so that one
            # finding does not end the run and each harness gets its whole time.
            "$build/fuzz/$harness" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=10 \
                -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
                -print_final_stats=1 -artifact_prefix="$findings/" \
                "$work" "$corpus" || status=1
            if ls "$findings" | grep -q .; then
                echo "$harness: findings in $findings" >&2
                status=1
            fi
            ;;
        *)
            echo "usage: $0 replay | run [seconds]" >&2
            exit 2
            ;;
    esac
done
exit "$status"
