#!/usr/bin/env bash
# Cross-builds a small shared Qt for Windows from Debian's own qt6-base source,
# into a cache folder outside the clone keyed by the Qt version and the build
# flags. Does nothing when that folder is already complete.
#   build-qt.sh               build when missing, then print the install folder
#   build-qt.sh --print-prefix  only print the folder
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

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
hash=$( { printf '%s\n' "$qt_version" "${flags[@]}"; cat "$here/mingw-w64.cmake";
          sed -n '/^# --- source fixes/,/^# --- end/p' "$0"; } | sha256sum | cut -c1-12)
cache="${XDG_CACHE_HOME:-$HOME/.cache}/velmora"
prefix="$cache/qt-${qt_version%%+*}-$hash"

if [ "${1:-}" = --print-prefix ]; then echo "$prefix"; exit 0; fi
if [ -f "$prefix/.complete" ]; then echo "$prefix"; exit 0; fi

work="$cache/qt-work-$hash"
rm -rf "$work" "$prefix"
mkdir -p "$work" "$prefix"
echo "Building Qt $qt_version for Windows into $prefix (takes a while)" >&2
cd "$work"
apt-get source --download-only "qt6-base=$qt_version" >&2
dpkg-source -x "qt6-base_${qt_version}.dsc" src >/dev/null
rm -f ./*.tar.xz
src="$work/src"

# --- source fixes: code that names types of features switched off above
f="$src/src/plugins/platforms/windows/qwindowswindow.cpp"
perl -0pi -e 's/(isSoftwareGl\(\)\n\{\n#if QT_CONFIG\(dynamicgl\))\n/$1 && QT_CONFIG(opengl)\n/' "$f"
[ "$(grep -c 'QT_CONFIG(dynamicgl) && QT_CONFIG(opengl)' "$f")" -eq 1 ] \
    || { echo "Qt source fix did not apply: $f" >&2; exit 1; }
f="$src/src/plugins/platforms/windows/qwindowsintegration.cpp"
sed -i 's/^#if QT_CONFIG(directwrite3)$/#if QT_CONFIG(directwrite3) \&\& QT_CONFIG(direct2d)/' "$f"
[ "$(grep -c '^#if QT_CONFIG(directwrite3) && QT_CONFIG(direct2d)$' "$f")" -eq 2 ] \
    || { echo "Qt source fix did not apply: $f" >&2; exit 1; }
# --- end

# The installed qt.toolchain.cmake loads this toolchain by path: keep it with Qt.
cp "$here/mingw-w64.cmake" "$prefix/mingw-w64.cmake"
cmake -S "$src" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$prefix/mingw-w64.cmake" \
    -DCMAKE_INSTALL_PREFIX="$prefix" "${flags[@]}" >&2
cmake --build "$work/build" >&2
cmake --install "$work/build" >&2
# The build tree is ten times the size of the install.
rm -rf "$work"
touch "$prefix/.complete"
echo "$prefix"
