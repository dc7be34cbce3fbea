#!/usr/bin/env bash
# Builds Velmora and its tests for Windows against a Qt cross-built from
# Debian's own source, runs the tests under Wine, then makes the zip and the
# MSI and follows the Wine story of docs/windows.md with the MSI in a new Wine prefix.
#   tools/windows/test-windows.sh [BUILD_DIR] [TEST_REGEX]
# With a TEST_REGEX only the matching tests run.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-win}

qt=$(tools/windows/configure.sh "$build")
cmake --build "$build"
python3 tools/windows/run-tests.py "$build" "$qt" ${2:+"$2"}
[ -z "${2:-}" ] || exit 0
VELMORA_REBUILT_MSI=$build/rebuilt.msi tools/windows/package-windows.sh "$build"
version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
bits=$([ "${VELMORA_WIN_ARCH:-x86_64}" = i686 ] && echo 32 || echo 64)
python3 tools/windows/wine-story.py "$build" "velmora-$version-win$bits.msi" "$build/rebuilt.msi"
# The release packaged again, signed with a throwaway certificate, verifies against
# its MSI; each change below fails the check and names the file.
copy=$build/signed-copy && rm -rf "$copy" && tools/windows/sign-release.sh self-signed "$copy/key"
VELMORA_SIGN_PKCS12=$copy/key/velmora.p12 VELMORA_SIGN_PASSWORD=$(cat "$copy/key/password") \
    VELMORA_PACKAGE_OUT=$copy tools/windows/package-windows.sh "$build" >/dev/null
release=$(realpath "$copy")/release && cp -r "$build/package/velmora-$version-win$bits" "$release"
verify() { tools/windows/sign-release.sh verify "$copy/key/velmora.pem" "${given:-$release}" "$copy/velmora-$version-win$bits.msi" 2>&1; }
said=$(verify) || { echo "signing check: the signed release fails: $said" >&2; exit 1; }
# Windows finds files whatever their case: a renamed one is still the one the MSI holds.
mv "$release/Qt6Core.dll" "$release/QT6CORE.DLL" && said=$(verify) && mv "$release/QT6CORE.DLL" "$release/Qt6Core.dll" ||
    { echo "signing check: Qt6Core.dll renamed QT6CORE.DLL fails: $said" >&2; exit 1; }
# Each change (a command; it may give the folder otherwise) must fail the check, which names the file; then it is undone.
fails_on() {
    rm -rf "$copy/kept" "$copy/link" && cp -r "$release" "$copy/kept" && given= && eval "$3" </dev/null
    ! said=$(verify) && grep -q ": $release/$1\$" <<<"$said" || { echo "signing check: $1 $2 passed: $said" >&2; exit 1; }
    rm -rf "$release" && mv "$copy/kept" "$release"
}
unsigned=$build/bin/Excel.exe # a program file that nobody signed
while IFS='|' read -r file what change; do fails_on "$file" "$what" "$change"; done <<'EOF'
velmora.exe|changed after signing|printf X | dd of="$release/velmora.exe" bs=1 seek=4096 conv=notrunc status=none
velmora.exe|changed, the folder given through a link|printf X | dd of="$release/velmora.exe" bs=1 seek=4096 conv=notrunc status=none && ln -s "$release" "$copy/link" && given=$copy/link
Qt6Gui.dll|left unsigned|osslsigncode remove-signature -in "$copy/kept/Qt6Gui.dll" -out "$copy/Qt6Gui.dll" >/dev/null && mv "$copy/Qt6Gui.dll" "$release/"
Qt6Gui.dll|left unsigned, the folder given as release//|osslsigncode remove-signature -in "$copy/kept/Qt6Gui.dll" -out "$copy/Qt6Gui.dll" >/dev/null && mv "$copy/Qt6Gui.dll" "$release/" && given=$release//
VERSION.DLL|added unsigned (Windows loads it by that name)|cp "$unsigned" "$release/VERSION.DLL"
Excel.EXE|added unsigned (where Ok looks first)|cp "$unsigned" "$release/Excel.EXE"
platforms/evil.ocx|added unsigned|cp "$unsigned" "$release/platforms/evil.ocx"
Qt6Widgets.dll|removed|rm "$release/Qt6Widgets.dll"
HAND-M.CUR?libwinpthread-1.dll|put in place of the two files its name lists on two lines|rm "$release/HAND-M.CUR" "$release/libwinpthread-1.dll" && cp "$unsigned" "$release/"$'HAND-M.CUR\nlibwinpthread-1.dll'
velmora.exe|replaced by an empty folder|rm "$release/velmora.exe" && mkdir "$release/velmora.exe"
EOF
