#!/usr/bin/env bash
# Builds the core libraries and the core tests (those that link only core libraries and need no
# display) with ThreadSanitizer in build-tsan/ and runs them: a data race fails the run.
# Arguments go to ctest (e.g. -R ping_ to run some of them).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
build="${TSAN_BUILD_DIR:-$top/build-tsan}"

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# gcc, not clang: clang 14's runtime stops with an internal check failure in the child of the
# clone() that QProcess starts programs with (the tests run unrtf, pdftotext, ip and others).
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=g++ "${launcher[@]}" \
    -DTARVEX_TSAN=ON -DTARVEX_BUILD_BENCH=OFF >/dev/null
# Only the core tests and the core libraries they link; the windows are not built.
cmake --build "$build" --target core_tests

tests="$(paste -sd '|' "$build/core-tests.txt")"
# Qt is not built with the sanitizer: tests/tsan.supp names the reports that come from inside it.
export TSAN_OPTIONS="${TSAN_OPTIONS:-suppressions=$top/tests/tsan.supp second_deadlock_stack=1}"
cd "$build"
ctest --output-on-failure -j "$(nproc)" -R "^($tests)\$" "$@"
