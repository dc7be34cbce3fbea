#!/usr/bin/env bash
# Cross-builds a small shared Qt for Windows from Debian's own qt6-base source,
# into a cache folder outside the clone keyed by the Qt version, the target, the
# build flags and our source fixes. Does nothing when that folder is complete.
#   build-qt.sh               build when missing, then print the install folder
#   build-qt.sh --print-prefix  only print the folder
# VELMORA_WIN_ARCH picks the target: x86_64 (the default) or i686.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
arch=${VELMORA_WIN_ARCH:-x86_64}
case $arch in
x86_64) bits=64 ;;
i686) bits=32 ;;
*) echo "unknown VELMORA_WIN_ARCH $arch: x86_64 or i686" >&2; exit 1 ;;
esac
# One toolchain file for both targets, made from mingw-w64.cmake.in.
toolchain=$(sed "s/@ARCH@/$arch/g; s/@BITS@/$bits/g" "$here/mingw-w64.cmake.in")

# The source of the same Debian version as the host tools the cross build uses
# (qt6-base-dev-tools; 6.4.2+dfsg-10 on Debian 12).
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools 2>/dev/null || true)
[ -n "$qt_version" ] || { echo "qt6-base-dev-tools is not installed" >&2; exit 1; }
flags=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF
    -DFEATURE_opengl=OFF -DFEATURE_vulkan=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF
    -DFEATURE_direct2d=OFF
    # The dfsg tarball has no wintab.
    -DFEATURE_tabletevent=OFF
    # The offscreen platform plugin, which the tests use, needs FreeType.
    -DFEATURE_freetype=ON -DFEATURE_system_freetype=OFF
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_doubleconversion=OFF
    -DFEATURE_system_libb2=OFF
    -DFEATURE_testlib=ON
)
hash=$( { printf '%s\n' "$qt_version" "${flags[@]}"; printf '%s\n' "$toolchain"; cat "$here"/qt-patches/*.patch;
        } | sha256sum | cut -c1-12)
cache="${XDG_CACHE_HOME:-$HOME/.cache}/velmora"
prefix="$cache/qt-${qt_version%%+*}-$arch-$hash"

if [ "${1:-}" = --print-prefix ]; then echo "$prefix"; exit 0; fi
# One build of a target at a time: a second run waits for the first, then finds it complete.
mkdir -p "$cache"
exec 9>"$cache/qt-$arch.lock"
flock 9
if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi

work="$cache/qt-work-$arch-$hash"
rm -rf "$work" "$prefix"
mkdir -p "$work" "$prefix"
# Qt's own build prints thousands of lines, its compiler warnings among them:
# they go to a log, and only a failure shows its end.
log="$cache/qt-$arch-$hash.log"
echo "Building Qt $qt_version for Windows ($arch) into $prefix: about 20 minutes on two cores; output in $log" >&2
started=$SECONDS
build() {
    cd "$work"
    apt-get source --download-only "qt6-base=$qt_version"
    dpkg-source -x "qt6-base_${qt_version}.dsc" src
    rm -f ./*.tar.xz
    # Our source fixes, shipped with the program as they are (see licences/).
    for fix in "$here"/qt-patches/*.patch; do
        patch -d src -p1 --forward <"$fix"
    done
    # The installed qt.toolchain.cmake loads this toolchain by path: keep it with Qt.
    printf '%s\n' "$toolchain" >"$prefix/mingw-w64.cmake"
    cmake -S src -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" "${flags[@]}"
    cmake --build build
    cmake --install build
}
if ! (set -e; build) >"$log" 2>&1; then
    tail -n 30 "$log" >&2
    echo "Building Qt failed; the whole output is in $log" >&2
    exit 1
fi
# The build tree is ten times the size of the install.
rm -rf "$work"
touch "$prefix/.complete"
echo "Qt built in $(( (SECONDS - started) / 60 )) min" >&2
echo "$prefix"
