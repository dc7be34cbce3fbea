#!/usr/bin/env bash
# Builds velmora-<version>-win64.zip: the program, its cursor, the Qt DLLs and
# plugins it loads and the mingw-w64 runtime, all stripped, in one folder.
#   tools/windows/package-windows.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build-win}

qt=$(tools/windows/configure.sh "$build")
cmake --build "$build" --target velmora

version=$(sed -n 's/^project(Velmora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
name=velmora-$version-win64
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
# theirs in turn.
search=("$qt/bin" /usr/lib/gcc/x86_64-w64-mingw32/12-posix /usr/x86_64-w64-mingw32/lib)
changed=1
while [ $changed -eq 1 ]; do
    changed=0
    for dll in $(find "$stage" -name '*.exe' -o -name '*.dll' | xargs x86_64-w64-mingw32-objdump -p |
                 sed -n 's/^\s*DLL Name: //p' | sort -u); do
        [ -e "$stage/$dll" ] && continue
        for dir in "${search[@]}"; do
            if [ -f "$dir/$dll" ]; then
                cp "$dir/$dll" "$stage/"
                changed=1
                break
            fi
        done
    done
done
find "$stage" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +

python3 tools/windows/check-package.py "$build" "$stage"

rm -f "$name.zip"
(cd "$build/package" && zip -qr9 "$OLDPWD/$name.zip" "$name")
echo "Wrote $name.zip ($(du -h "$name.zip" | cut -f1); unpacked $(du -sh "$stage" | cut -f1))"
(cd "$stage" && find . -type f | sort | sed 's/^\.\//  /')
