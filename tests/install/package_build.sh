#!/usr/bin/env bash
# Builds the Debian package from the finished build into a folder of its own (the build is
# reused, nothing is compiled again), as `make package` does into the build folder.
# Usage: package_build.sh <cpack> <build folder> <package folder>
set -euo pipefail
cpack="$1" build="$2" out="$3"
rm -rf "$out"
mkdir -p "$out"
"$cpack" -G DEB -B "$out" --config "$build/CPackConfig.cmake"
ls -l "$out"/*.deb
