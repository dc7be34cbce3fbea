#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Velmora need,
# asking apt only for the ones that are missing.
#   tools/install-deps.sh              the packages of the Linux build and its tests
#   tools/install-deps.sh --run        only what building and running need
#   tools/install-deps.sh --package    what building the Debian package needs
#   tools/install-deps.sh PACKAGE...   those packages instead
set -euo pipefail

run=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev libxcb1-dev libxkbcommon-dev
    fonts-liberation2
)
tests=(
    xvfb xauth xdotool x11-utils x11-apps libx11-dev openbox
    g++-mingw-w64-x86-64
    libbenchmark-dev
    desktop-file-utils appstream python3 dpkg-dev file lintian
    dbus at-spi2-core python3-pyatspi
)
if [ $# -eq 0 ]; then
    packages=("${run[@]}" "${tests[@]}")
elif [ "$1" = --run ]; then
    packages=("${run[@]}")
elif [ "$1" = --package ]; then
    packages=("${run[@]}" dpkg-dev file)
else
    packages=("$@")
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

# sudo resets the environment, so the setting that keeps apt from asking questions is
# passed through env.
as_root=(env DEBIAN_FRONTEND=noninteractive)
# Said before anything is tried: installing needs root.
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "Missing packages: ${missing[*]}. Installing them needs root, and there is no sudo;" \
            "as root: apt-get update && apt-get install -y ${missing[*]}" >&2
        exit 1
    fi
    echo "Missing packages: ${missing[*]}. Installing them needs root: through sudo"
    as_root=(sudo "${as_root[@]}")
else
    echo "Installing missing packages: ${missing[*]}"
fi
"${as_root[@]}" apt-get update
"${as_root[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
