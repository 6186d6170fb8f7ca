#!/usr/bin/env bash
# Packs the Windows build for users: scripts/windows-dist.sh build-win32
# makes build-win32/zarn-<version>-win32.zip with zarn-cli.exe, zarn.dll, the
# licence and how to use them, the text files with Windows line ends.
set -euo pipefail
root=$(realpath "$(dirname "$0")/..")
win_build=$(realpath "${1:?usage: $0 <windows build>}")

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$win_build/CMakeCache.txt")
[ -n "$version" ] || { echo "windows-dist: no project version in $win_build/CMakeCache.txt" >&2; exit 1; }
for file in zarn-cli.exe zarn.dll; do
    [ -f "$win_build/$file" ] || { echo "windows-dist: $win_build/$file is missing; make windows first" >&2; exit 1; }
done

name=zarn-$version-win32
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir "$stage/$name"
cp "$win_build/zarn-cli.exe" "$win_build/zarn.dll" "$stage/$name/"
sed 's/$/\r/' "$root/LICENSE" >"$stage/$name/LICENSE.txt"
sed 's/$/\r/' "$root/packaging/windows/README.txt" >"$stage/$name/README.txt"

zip_file=$win_build/$name.zip
rm -f "$zip_file"
# -X: no extra attributes, -D: no folder entries, so the zip depends on the files only.
(cd "$stage" && zip -q -X -D -r "$zip_file" "$name")
echo "$zip_file"
