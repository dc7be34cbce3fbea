#!/usr/bin/env bash
# Builds Velmora and its tests for Windows against a Qt cross-built from
# Debian's own source, runs the tests under Wine, then makes the zip and the
# MSI and follows the README's Wine story with the MSI in a new Wine prefix.
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
# A copy of the release signed with a throwaway certificate verifies; a DLL left
# unsigned, or the program changed after signing, fails the check and is named.
copy=$build/signed-copy && rm -rf "$copy" && tools/windows/sign-release.sh self-signed "$copy/key"
cp -r "$build/package/velmora-$version-win$bits" "$copy/release" && cp "velmora-$version-win$bits.msi" "$copy/release.msi"
sign() { VELMORA_SIGN_PKCS12=$copy/key/velmora.p12 VELMORA_SIGN_PASSWORD=$(cat "$copy/key/password") tools/windows/sign-release.sh sign "$@" >/dev/null; }
verify() { tools/windows/sign-release.sh verify "$copy/key/velmora.pem" "$copy/release" "$copy/release.msi" 2>&1; }
fails_on() { ! said=$(verify) && grep -q "signing: $copy/release/$1\$" <<<"$said" || { echo "signing check: $1 $2 passed: $said" >&2; exit 1; }; }
sign $(find "$copy/release" \( -name '*.exe' -o -name '*.dll' \) ! -name Qt6Gui.dll) "$copy/release.msi"
fails_on Qt6Gui.dll "left unsigned"
sign "$copy/release/Qt6Gui.dll" && verify
printf X | dd of="$copy/release/velmora.exe" bs=1 seek=4096 conv=notrunc status=none
fails_on velmora.exe "changed after signing"
