#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Tarvex need (and, with the
# argument "bench", what the benchmarks need besides). Does nothing when
# everything is present, so both make targets can call it every time.
set -euo pipefail

packages=(
    # build
    g++ make cmake ninja-build pkg-config
    qt6-base-dev qt6-charts-dev qt6-webengine-dev qt6-svg-dev libqt6svg6 qt6-image-formats-plugins
    libgl-dev libglx-dev libcurl4-openssl-dev libxcb1-dev
    # the offline location database (country and AS of an address) and its reader; the map
    # library of the OpenStreetMap page with its marker clusters
    libloc-dev libloc-database libjs-leaflet libjs-leaflet.markercluster
    # tests and benchmarks
    libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth iproute2 nftables iputils-ping unrtf poppler-utils python3-jsonschema
    # a session bus of the tests' own for the desktop notifications
    dbus-daemon
    # the format check of make test
    clang-format
    # fuzz harnesses (libFuzzer and the sanitizers' runtime); gcc's ThreadSanitizer runtime for
    # scripts/tsan.sh
    clang libclang-rt-14-dev libtsan2
    # the Debian package: building it, checking what it installs, using it as a desktop user would
    dpkg-dev desktop-file-utils appstream groff-base libcap2-bin xdotool xclip
    # look of the program
    fonts-liberation2 fonts-dejavu-core
)
# `install-deps.sh bench`: also what the benchmarks compare against (fping and ping for list runs,
# mtr for traces, GNOME Nettool for the launch time, GNU time for peak memory).
if [ "${1:-}" = bench ]; then
    packages+=(fping mtr-tiny gnome-nettool time)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
