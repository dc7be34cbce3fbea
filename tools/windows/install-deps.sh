#!/usr/bin/env bash
# Installs what building and testing the Windows programs need: the mingw-w64
# cross compilers (64- and 32-bit), Wine (wine64 and wine32), Xvfb, wixl,
# osslsigncode, openssl and msitools (signing, and verifying a release against
# the files its MSI holds), and a deb-src entry so that `apt-get source` can fetch Debian's own qtbase.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config perl python3 ca-certificates
    qt6-base-dev qt6-base-dev-tools
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    wine wine64 fonts-wine dpkg-dev patch xz-utils
    xvfb xauth fonts-liberation2 zip unzip wixl msitools osslsigncode openssl
)

# sudo resets the environment: the setting that keeps apt from asking goes through env.
as_root=(env DEBIAN_FRONTEND=noninteractive)
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Need root or sudo to install packages" >&2; exit 1; }
    as_root=(sudo "${as_root[@]}")
fi

# A deb-src twin of the deb entry: same URIs, suites, components and keyring.
has_src() {
    grep -rqsE '^\s*(deb-src\s|Types:.*\bdeb-src\b)' /etc/apt/sources.list /etc/apt/sources.list.d/
}
if ! has_src; then
    src=/etc/apt/sources.list.d/debian.sources
    if [ -f "$src" ]; then
        echo "Adding a deb-src entry mirroring $src"
        sed 's/^Types:.*deb\b.*/Types: deb-src/' "$src" | "${as_root[@]}" tee /etc/apt/sources.list.d/velmora-src.sources >/dev/null
    elif [ -f /etc/apt/sources.list ]; then
        echo "Adding deb-src lines mirroring /etc/apt/sources.list"
        sed -n 's/^\s*deb\s/deb-src /p' /etc/apt/sources.list | "${as_root[@]}" tee /etc/apt/sources.list.d/velmora-src.list >/dev/null
    else
        echo "No apt source found to mirror as deb-src" >&2
        exit 1
    fi
    "${as_root[@]}" apt-get update
fi

# The 32-bit program runs under Debian's wine32, from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding the i386 architecture for wine32"
    "${as_root[@]}" dpkg --add-architecture i386
    "${as_root[@]}" apt-get update
fi
packages+=(wine32:i386)

exec "$(dirname "$0")/../install-deps.sh" "${packages[@]}"
