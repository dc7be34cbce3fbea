#!/usr/bin/env bash
# Builds velmora-<version>-win64.zip and velmora-<version>-win64.msi (win32 with
# VELMORA_WIN_ARCH=i686): the program, its cursor, the Qt DLLs and plugins it
# loads, the mingw-w64 runtime, all stripped, and licences/ with every licence
# and notice they come under. With VELMORA_SIGN_PKCS12 and VELMORA_SIGN_PASSWORD
# (and VELMORA_SIGN_TIMESTAMP_URL) the programs, DLLs and MSI are signed
# (sign-release.sh). The zip and the MSI go to the clone's top folder, or to the
# folder VELMORA_PACKAGE_OUT names.
#   tools/windows/package-windows.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-win}
arch=${VELMORA_WIN_ARCH:-x86_64}
case $arch in
x86_64) bits=64 msi_arch=x64 ;;
i686) bits=32 msi_arch=x86 ;;
*) echo "unknown VELMORA_WIN_ARCH $arch" >&2; exit 1 ;;
esac
triplet=$arch-w64-mingw32

qt=$(tools/windows/configure.sh "$build")
cmake --build "$build" --target velmora

version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=velmora-$version-win$bits
stage=$build/package/$name
rm -rf "$build/package"
mkdir -p "$stage"
cp "$build/bin/velmora.exe" dist/HAND-M.CUR "$stage/"
# Plugins are looked up in the program's folder: the Windows platform, the
# native style, and the icon reader that reads the .CUR file.
for plugin in platforms/qwindows.dll styles/qwindowsvistastyle.dll imageformats/qico.dll; do
    mkdir -p "$stage/$(dirname "$plugin")"
    cp "$qt/plugins/$plugin" "$stage/$plugin"
done

# Every DLL that a shipped file imports and that is not part of Windows, and
# theirs in turn. Those of the mingw-w64 runtime are remembered for licences/.
search=("$qt/bin" "/usr/lib/gcc/$triplet/12-posix" "/usr/$triplet/lib")
runtime=()
changed=1
while [ $changed -eq 1 ]; do
    changed=0
    for dll in $(find "$stage" -name '*.exe' -o -name '*.dll' | xargs "$triplet-objdump" -p |
                 sed -n 's/^\s*DLL Name: //p' | sort -u); do
        [ -e "$stage/$dll" ] && continue
        for dir in "${search[@]}"; do
            if [ -f "$dir/$dll" ]; then
                cp "$dir/$dll" "$stage/"
                [ "$dir" = "$qt/bin" ] || runtime+=("$dir/$dll")
                changed=1
                break
            fi
        done
    done
done
find "$stage" \( -name '*.exe' -o -name '*.dll' \) -exec "$triplet-strip" --strip-unneeded {} +

# licences/: ours, Qt's (LGPL-3 and the GPL-3 it builds on, the notices of the
# libraries inside Qt, our two source fixes) and the runtime's, each taken
# from the Debian package the file came from.
licences=$stage/licences
mkdir -p "$licences"
cp LICENSE "$licences/Velmora-MIT.txt"
cp /usr/share/common-licenses/LGPL-3 "$licences/LGPL-3.txt"
cp /usr/share/common-licenses/GPL-3 "$licences/GPL-3.txt"
cp tools/windows/qt-patches/*.patch "$licences/"
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
cp /usr/share/doc/libqt6core6/copyright "$licences/qt6-base-copyright.txt"
runtime_packages=$(dpkg -S "${runtime[@]}" | cut -d: -f1 | sort -u)
for package in $runtime_packages; do
    cp "/usr/share/doc/$package/copyright" "$licences/$package-copyright.txt"
done
{
    echo "Velmora $version for Windows ($bits-bit): what it is made of and under which terms"
    echo
    echo "Velmora itself (velmora.exe, HAND-M.CUR): the MIT licence, Velmora-MIT.txt."
    echo
    echo "Qt ${qt_version%%+*} (Qt6*.dll and the plugins in platforms/, styles/ and imageformats/):"
    echo "the GNU Lesser General Public License version 3 (LGPL-3.txt), which builds on the"
    echo "GNU General Public License version 3 (GPL-3.txt). The libraries built into Qt"
    echo "(FreeType, HarfBuzz, PCRE2, zlib, libpng, double-conversion and others) come"
    echo "under the terms listed in qt6-base-copyright.txt, Debian's copyright file of"
    echo "the source package."
    echo "Built from Debian's source package qt6-base $qt_version"
    echo "(apt-get source qt6-base=$qt_version, or snapshot.debian.org), cross-compiled"
    echo "with Debian's mingw-w64 as tools/windows/build-qt.sh in Velmora's source says,"
    echo "with these two source fixes, included here as patch files:"
    for fix in tools/windows/qt-patches/*.patch; do
        echo "  $(basename "$fix"), which changes $(sed -n 's|^+++ b/||p' "$fix" | sort -u | tr '\n' ' ')"
    done
    echo "You may replace these DLLs with your own build of Qt ${qt_version%%+*}."
    echo
    echo "The mingw-w64 runtime ($(for f in "${runtime[@]}"; do printf '%s ' "$(basename "$f")"; done | sed 's/ $//')):"
    for package in $runtime_packages; do
        echo "  $package-copyright.txt, from the Debian package $package"
    done
    echo "libgcc and libstdc++ come under the GPL version 3 with the GCC Runtime Library"
    echo "Exception 3.1, and winpthreads under the mingw-w64 licence; both texts are in"
    echo "those files."
} >"$licences/NOTICE.txt"

python3 tools/windows/check-package.py "$build" "$stage"

# The installer's checks, a DLL that only the MSI holds and runs.
checks=$build/package/installer_checks.dll
"$triplet-g++" -std=c++20 -shared -O2 -s -static -Wl,--kill-at -o "$checks" dist/windows/installer_checks.cpp -lmsi

# Signed after stripping (which would break a signature), before zip and MSI take the files.
signing=${VELMORA_SIGN_PKCS12:+yes}
if [ -n "$signing" ]; then
    tools/windows/sign-release.sh sign "$stage" "$checks"
else
    echo "Unsigned release: no certificate given (VELMORA_SIGN_PKCS12 and VELMORA_SIGN_PASSWORD)"
fi

out=${VELMORA_PACKAGE_OUT:-.}
mkdir -p "$out"
rm -f "$out/$name.zip" "$out/$name.msi"
zip_file=$(realpath "$out")/$name.zip
(cd "$build/package" && zip -qr9 "$zip_file" "$name")

# The installer: every file of the folder, under Program Files\Velmora.
heat=(-p "$stage/" --directory-ref INSTALLDIR --component-group ProgramFolder --var var.SourceDir)
[ "$msi_arch" = x64 ] && heat+=(--win64)
find "$stage" -type f | sort | wixl-heat "${heat[@]}" >"$build/package/files.wxs"
# wixl finds files by relative paths only. Every build gets a product code of its own.
msi() {
    wixl --arch "$msi_arch" -D Version="$version.0" -D Arch="$msi_arch" \
        -D SourceDir="$(realpath --relative-to=. "$stage")" \
        -D Win64="$([ "$msi_arch" = x64 ] && echo yes || echo no)" \
        -D Icon=dist/icons/example.quenmark.Velmora.ico \
        -D Checks="$(realpath --relative-to=. "$checks")" \
        -o "$1" dist/windows/velmora.wxs "$build/package/files.wxs"
    # The installed build that an upgrade removes loses its one feature, not ALL: Wine's
    # msiexec passes this as REMOVE and sets no UPGRADINGPRODUCTCODE, and an uninstall
    # (REMOVE=ALL) while Velmora runs is refused (velmora.wxs). wixl writes no Remove column.
    msibuild "$1" -q "UPDATE \`Upgrade\` SET \`Remove\` = 'Complete'"
}
msi "$out/$name.msi"
# A second build of the same version, for the test that it replaces the first.
[ -z "${VELMORA_REBUILT_MSI:-}" ] || msi "$VELMORA_REBUILT_MSI"
[ -z "$signing" ] || tools/windows/sign-release.sh sign "$out/$name.msi"

echo "Wrote $out/$name.zip ($(du -h "$out/$name.zip" | cut -f1); unpacked $(du -sh "$stage" | cut -f1))" \
    "and $out/$name.msi ($(du -h "$out/$name.msi" | cut -f1))"
(cd "$stage" && find . -type f | sort | sed 's/^\.\//  /')
