#!/usr/bin/env bash
# The zip `make windows-dist` made: the exe and the DLL of the Windows build,
# unchanged, beside the licence and the text on use, with Windows line ends.
#   tests/install/check_windows_zip.sh <windows build>
set -uo pipefail
root=$(realpath "$(dirname "$0")/../..")
win_build=$(realpath "${1:?usage: $0 <windows build>}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$root/tests/install/checks.sh"

zip_file=$(ls "$win_build"/zarn-*-win32.zip 2>/dev/null | head -n 1)
check "the zip exists" test -n "$zip_file"
unzip -q "$zip_file" -d "$work" 2>/dev/null
folder=$(ls -d "$work"/zarn-*-win32 2>/dev/null | head -n 1)
check "the zip holds one folder and four files" \
    test "$(cd "$work" && find . -type f | sort | tr '\n' ' ')" = \
         "./$(basename "$folder")/LICENSE.txt ./$(basename "$folder")/README.txt ./$(basename "$folder")/zarn-cli.exe ./$(basename "$folder")/zarn.dll "
for file in zarn-cli.exe zarn.dll; do
    check "$file is the build's" cmp "$folder/$file" "$win_build/$file"
done
for file in LICENSE.txt README.txt; do
    check "$file ends every line in CR LF" \
        test "$(grep -c $'\r$' "$folder/$file")" = "$(wc -l <"$folder/$file")"
done
check "LICENSE.txt is the licence" cmp <(tr -d '\r' <"$folder/LICENSE.txt") "$root/LICENSE"

finish "Windows zip checks"
