#!/usr/bin/env bash
# Runs the end-to-end suite, built natively in <linux build>, against the
# Windows tool and engines of <windows build> under Wine:
#   scripts/test-windows.sh build build-win32
# The Wine prefix lives in the Windows build folder and its server runs only
# for the length of the suite.
set -euo pipefail

host_build=$(realpath "${1:?usage: $0 <linux build> <windows build>}")
win_build=$(realpath "${2:?usage: $0 <linux build> <windows build>}")

status=0
fail() {
    echo "FAILED: $*" >&2
    status=1
}

# The binaries themselves: the exe imports zarn.dll by name and no MinGW
# runtime DLL; each engine exports exactly the seven undecorated names.
objdump=i686-w64-mingw32-objdump
imports() {
    "$objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p'
}
imports "$win_build/zarn-cli.exe" | grep -qx 'zarn.dll' || fail "zarn-cli.exe does not import zarn.dll"
for binary in zarn-cli.exe zarn.dll test-engine/zarn.dll; do
    if imports "$win_build/$binary" | grep -Ei 'libstdc|libgcc|winpthread'; then
        fail "$binary needs a MinGW runtime DLL"
    fi
done
expected="VX_Enroll VX_EnrollFinal VX_EnrollGetCount VX_EnrollInit VX_EnrollUpdate VX_InitZARN VX_UninitZARN"
for dll in "$win_build/zarn.dll" "$win_build/test-engine/zarn.dll"; do
    exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | xargs)
    [ "$exports" = "$expected" ] || fail "$dll exports: $exports"
done

export WINEPREFIX="$win_build/wine-prefix"
export WINEDEBUG=-all
# No Mono or Gecko installers: the tool needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
# UTF-8 names on the Unix side and code page 1252 in the Windows processes,
# whatever the machine's locale.
export LC_ALL=C.UTF-8

# A server that stays up, with Wine's own services started before the first
# test: a service started by a tool run would inherit and hold open the pipes
# the test reads the tool's output from, and a server that came and went with
# each run would start them every time. The prefix must exist before the
# server starts, so the first run of a fresh prefix only creates it.
quietly() {
    "$@" </dev/null >/dev/null 2>&1
}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    quietly wine cmd /c exit
    quietly wineserver -w
fi
quietly wineserver -p || true
trap 'quietly wineserver -k || true' EXIT
quietly wine cmd /c exit

export ZARN_TEST_WINDOWS=1
export ZARN_TEST_TOOL_WRAPPER=wine
export ZARN_TEST_TOOL_PATH="$win_build/zarn-cli.exe"
export ZARN_TEST_ENGINE_DIR="$win_build/test-engine"

wine "$win_build/windows-tests.exe" </dev/null || status=1
for suite in tool_e2e_tests tool_default_engine_tests; do
    "$host_build/bin/$suite" --gtest_brief=1 </dev/null || status=1
done
exit $status
