#!/usr/bin/env bash
# Fails, naming the files and lines, when a C++ file of the tree is not formatted as the checked-in
# .clang-format says; `clang-format -i FILE` formats one.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
git ls-files -z -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' \
    'fuzz/*.cpp' 'fuzz/*.h' |
    xargs -0 clang-format --dry-run -Werror
