#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Velmora need,
# asking apt only for the ones that are missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev libgl-dev libxcb1-dev
    fonts-liberation2
    xvfb xauth xdotool x11-utils libx11-dev
    g++-mingw-w64-x86-64
    libbenchmark-dev
    desktop-file-utils appstream python3 dpkg-dev file
    dbus at-spi2-core python3-pyatspi
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing missing packages: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update
$sudo apt-get install -y --no-install-recommends "${missing[@]}"
