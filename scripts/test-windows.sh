#!/usr/bin/env bash
# Runs the end-to-end suite, built natively in <linux build>, against the
# Windows tool and engines of <windows build> under Wine:
#   scripts/test-windows.sh build build-win32
# The Wine prefix lives in the Windows build folder and its server runs only
# for the length of the suite.
#
# Wine runs a 32-bit exe with its 32-bit loader, which some hosts cannot
# execute at all (their kernel runs no 32-bit program). There the loader runs
# under qemu's user-mode emulator and Wine's 64-bit server natively. The path is
# chosen by trying the loader; ZARN_WINE=qemu forces the qemu path, and on a
# host that could run the loader natively the suite then runs under a filter
# that kills any 32-bit process, so nothing can slip past qemu unnoticed.
#
# Where Wine cannot be installed for a reason outside the project (a package
# registry in trouble), the suite is skipped with one line saying why, the last
# the script prints, and the script exits 0; ZARN_REQUIRE_WINDOWS=1 makes that
# a failure. How the suite ran is left in <windows build>/windows-suite.status.
set -euo pipefail

here=$(dirname "$(realpath "$0")")
host_build=$(realpath "${1:?usage: $0 <linux build> <windows build>}")
win_build=$(realpath "${2:?usage: $0 <linux build> <windows build>}")

wine_mode=${ZARN_WINE:-auto}
case "$wine_mode" in
    auto | native | qemu) ;;
    *) echo "ZARN_WINE must be auto, native or qemu, not: $wine_mode" >&2; exit 2 ;;
esac
if [ "$wine_mode" = qemu ] && [ -z "${ZARN_WITHOUT_IA32:-}" ]; then
    cc -O2 -Wall -Wextra -Werror -o "$win_build/without-ia32" "$here/without-ia32.c"
    export ZARN_WITHOUT_IA32=1
    exec "$win_build/without-ia32" "$0" "$@"
fi

status_file="$win_build/windows-suite.status"
rm -f "$status_file"
record() {
    printf '%s\n' "$1" >"$status_file"
}
skip_suite() {
    if [ "${ZARN_REQUIRE_WINDOWS:-0}" = 1 ]; then
        record "failed, cannot run (ZARN_REQUIRE_WINDOWS=1): $1"
        echo "Windows suite: FAILED, it cannot run and ZARN_REQUIRE_WINDOWS=1: $1" >&2
        exit 1
    fi
    record "skipped: $1"
    echo "Windows suite: SKIPPED (zarn-cli.exe and zarn.dll are built, not tested): $1"
    exit 0
}
install_wine() {
    local reason_file result=0
    reason_file=$(mktemp)
    ZARN_WINE_REASON_FILE=$reason_file "$here/install-windows-deps.sh" "$1" || result=$?
    local reason
    reason=$(cat "$reason_file")
    rm -f "$reason_file"
    if [ $result -eq 3 ]; then
        skip_suite "Wine cannot be installed: $reason"
    fi
    [ $result -eq 0 ] || exit $result
}

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
[ $status -eq 0 ] || exit $status
install_wine wine

export WINEPREFIX="$win_build/wine-prefix"
export WINEDEBUG=-all
# No Mono or Gecko installers: the tool needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
# UTF-8 names on the Unix side and code page 1252 in the Windows processes,
# whatever the machine's locale.
export LC_ALL=C.UTF-8
# A 32-bit prefix, the same on both paths (a 64-bit server would otherwise
# make a mixed one).
export WINEARCH=win32

loader32=/usr/lib/wine/wine
if [ "$wine_mode" != qemu ] && "$loader32" --version >/dev/null 2>&1; then
    how="natively"
    echo "Windows suite: Wine's 32-bit loader runs natively"
    wine=wine
elif [ "$wine_mode" = native ]; then
    echo "Windows suite: ZARN_WINE=native, but this host cannot run Wine's 32-bit loader" >&2
    exit 1
else
    install_wine qemu
    # Wine finds its libraries and data relative to the loader, and starts
    # every further Windows process through the "wine" beside it: a folder
    # with that layout, whose "wine" runs a copy of the loader under qemu.
    qemu_root="$win_build/wine-qemu"
    rm -rf "$qemu_root"
    mkdir -p "$qemu_root/lib/wine" "$qemu_root/share"
    ln -s /usr/lib/i386-linux-gnu "$qemu_root/lib/i386-linux-gnu"
    ln -s /usr/share/wine "$qemu_root/share/wine"
    cp "$loader32" "$qemu_root/lib/wine/wine-i386"
    wine="$qemu_root/lib/wine/wine"
    printf '#!/bin/sh\nexec qemu-i386 -0 "%s" "%s" "$@"\n' "$wine" "$qemu_root/lib/wine/wine-i386" >"$wine"
    chmod +x "$wine"
    export WINELOADER="$wine"
    export WINESERVER=/usr/lib/wine/wineserver64
    reason="this host runs no 32-bit program"
    [ "$wine_mode" = qemu ] && reason="forced by ZARN_WINE=qemu"
    how="under qemu ($reason)"
    echo "Windows suite: Wine's 32-bit loader runs under $(qemu-i386 --version | head -1) ($reason)"
fi
wineserver=${WINESERVER:-wineserver}

# A server that stays up, with Wine's own services started before the first
# test: a service started by a tool run would inherit and hold open the pipes
# the test reads the tool's output from, and a server that came and went with
# each run would start them every time. The prefix must exist before the
# server starts, so the first run of a fresh prefix only creates it.
quietly() {
    "$@" </dev/null >/dev/null 2>&1
}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    quietly "$wine" cmd /c exit
    quietly "$wineserver" -w
fi
quietly "$wineserver" -p || true
trap 'quietly "$wineserver" -k || true' EXIT
quietly "$wine" cmd /c exit

export ZARN_TEST_WINDOWS=1
export ZARN_TEST_TOOL_WRAPPER="$wine"
export ZARN_TEST_TOOL_PATH="$win_build/zarn-cli.exe"
export ZARN_TEST_ENGINE_DIR="$win_build/test-engine"

"$wine" "$win_build/windows-tests.exe" </dev/null || status=1
for suite in tool_e2e_tests tool_default_engine_tests; do
    "$host_build/bin/$suite" --gtest_brief=1 </dev/null || status=1
done
if [ $status -eq 0 ]; then
    record "ran $how: passed"
else
    record "ran $how: FAILED"
fi
exit $status
