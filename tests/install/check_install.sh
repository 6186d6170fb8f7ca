#!/usr/bin/env bash
# What `make install DESTDIR=<destdir> PREFIX=<prefix>` left, used as a user
# would: the demo and zarn-match from the installed programs, another engine
# dropped in, and a C program built against the engine with pkg-config and
# with CMake's find_package.
#   tests/install/check_install.sh <destdir> <prefix> <build>
# <build> is the build the files came from (its test engine is the drop-in).
set -uo pipefail
root=$(realpath "$(dirname "$0")/../..")
destdir=$(realpath "${1:?usage: $0 <destdir> <prefix> <build>}")
prefix=${2:?usage: $0 <destdir> <prefix> <build>}
build=$(realpath "${3:?usage: $0 <destdir> <prefix> <build>}")
installed=$destdir$prefix
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$root/tests/install/checks.sh"

# The installed tool finds the installed engine through its RUNPATH alone, even
# moved under a staging root: nothing points it there.
unset LD_LIBRARY_PATH
check "the demo runs from $installed" \
    "$root/scripts/demo.sh" "$installed"
libdir=$(dirname "$(find "$installed" -name 'libzarn.so.1' | head -n 1)")
loaded_engine() {
    realpath "$(ldd "$1" | sed -n 's/^\s*libzarn\.so => \(\S*\) .*/\1/p')"
}
check "the tool loads the installed engine" \
    test "$(loaded_engine "$installed/bin/zarn-cli")" = "$(realpath "$libdir/libzarn.so")"

check "zarn-cli enrolls a finger" \
    sh -c "'$installed/bin/zarn-cli' '$root'/samples/finger1_[123].png > '$work/enrolled.txt'"
check "zarn-cli makes a probe" \
    sh -c "'$installed/bin/zarn-cli' '$root/samples/finger1_4.png' > '$work/probe.txt'"
check "zarn-cli makes another finger's template" \
    sh -c "'$installed/bin/zarn-cli' '$root/samples/finger2_1.png' > '$work/other.txt'"
check "zarn-match runs" \
    sh -c "'$installed/bin/zarn-match' --fmr 0.0001 '$work/probe.txt' '$work/enrolled.txt' \
           '$work/other.txt' > '$work/scores.txt'"
check "zarn-match matches the finger and not the other" \
    diff <(cut -d' ' -f3 "$work/scores.txt") <(printf 'match\nno-match\n')

check "another libzarn.so on LD_LIBRARY_PATH drops in" \
    test "$(LD_LIBRARY_PATH=$build/tests/test-engine ZARN_TEST_TEMPLATE=c0ffee \
        "$installed/bin/zarn-cli" "$root/samples/finger1_1.png")" = c0ffee

check "man pages are installed" \
    test -f "$installed/share/man/man1/zarn-cli.1.gz" -a -f "$installed/share/man/man1/zarn-match.1.gz"
check "man shows the installed page" \
    sh -c "MANPATH='$installed/share/man' man -P cat zarn-cli 2>/dev/null | grep -q 'zarn-cli - make'"

# A program of its own, built the two ways the README shows. The .pc file and
# the CMake package name the final prefix; the staging root goes in front.
export PKG_CONFIG_PATH=$libdir/pkgconfig PKG_CONFIG_SYSROOT_DIR=$destdir
check "pkg-config finds zarn" pkg-config --exists zarn
check "a C program builds with pkg-config" \
    sh -c "cc -Wall -Wextra -Werror -o '$work/use_pc' '$root/tests/install/use_engine.c' \
           \$(pkg-config --cflags --libs zarn)"
check "it calls the engine" env LD_LIBRARY_PATH="$libdir" "$work/use_pc"
check "a C program builds with find_package(zarn)" \
    sh -c "cmake -S '$root/tests/install' -B '$work/cmake' -DCMAKE_PREFIX_PATH='$installed' \
           > '$work/cmake.log' 2>&1 && cmake --build '$work/cmake' >> '$work/cmake.log' 2>&1 ||
           { cat '$work/cmake.log'; exit 1; }"
check "it calls the engine" "$work/cmake/use_engine"

finish "install checks"
