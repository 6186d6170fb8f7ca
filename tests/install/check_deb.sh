#!/usr/bin/env bash
# The package `make deb` made: what it holds, what it depends on, that its
# programs run unpacked (dpkg-deb -x) and make the build's template, and that
# lintian finds no error.
#   tests/install/check_deb.sh <package.deb> <build>
set -uo pipefail
root=$(realpath "$(dirname "$0")/../..")
deb=$(realpath "${1:?usage: $0 <package.deb> <build>}")
build=$(realpath "${2:?usage: $0 <package.deb> <build>}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$root/tests/install/checks.sh"

libdir=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)
expected_files=(
    usr/bin/zarn-cli usr/bin/zarn-match
    "$libdir/libzarn.so.1.0.0" "$libdir/libzarn.so.1" "$libdir/libzarn.so"
    usr/include/zarn.h usr/include/zarn_engine.h
    "$libdir/pkgconfig/zarn.pc" "$libdir/cmake/zarn/zarnConfig.cmake"
    usr/share/man/man1/zarn-cli.1.gz usr/share/man/man1/zarn-match.1.gz
    usr/share/doc/zarn/copyright usr/share/doc/zarn/changelog.gz
)
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed 's|^\./||' >"$work/contents"
for file in "${expected_files[@]}"; do
    check "the package holds $file" grep -qxF "$file" "$work/contents"
done
check "every file lies under /usr" \
    test -z "$(grep -v '^usr/' "$work/contents" | grep -v '^$')"

# The C++ runtime, Boost.Program_options and stb are inside the binaries.
depends=$(dpkg-deb -f "$deb" Depends)
check "Depends ($depends) is the C library alone" \
    grep -qE '^libc6 \(>= [0-9.]+\)$' <<<"$depends"
check "the engine's soname is declared" \
    grep -qx 'libzarn 1 zarn (>= [0-9.]*)' <(dpkg-deb -I "$deb" shlibs)

dpkg-deb -x "$deb" "$work/root"
unset LD_LIBRARY_PATH
version=$("$build/bin/zarn-cli" --version)
check "zarn-cli --version runs unpacked" \
    test "$("$work/root/usr/bin/zarn-cli" --version)" = "$version"
check "zarn-match --version runs unpacked" \
    test "$("$work/root/usr/bin/zarn-match" --version)" = "$version"
check "the unpacked tool makes the build's template" \
    test "$("$work/root/usr/bin/zarn-cli" "$root/samples/finger1_1.png")" = \
         "$("$build/bin/zarn-cli" "$root/samples/finger1_1.png")"

check "lintian finds no error" lintian --fail-on error "$deb"

finish "package checks"
