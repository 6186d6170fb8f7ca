#!/usr/bin/env bash
# The install scripts' decisions when the package registry is in trouble,
# checked against fake apt-get, apt-cache, dpkg and dpkg-query first on PATH:
# nothing here touches the real registry or the machine's packages.
#   tests/scripts/test_install_scripts.sh <project root>
set -uo pipefail

root=$(realpath "${1:?usage: $0 <project root>}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
passes=0

check() {
    local what=$1
    shift
    if "$@"; then
        passes=$((passes + 1))
    else
        echo "FAILED: $what" >&2
        failures=$((failures + 1))
    fi
}

# --- the fakes ------------------------------------------------------------
# Each scenario sets FAKE_* variables; every call is logged to $FAKE_LOG.
fakes=$work/bin
mkdir -p "$fakes"
cat >"$fakes/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$FAKE_LOG"
case "$1" in
    update)
        count=$(($(cat "$FAKE_STATE/updates" 2>/dev/null || echo 0) + 1))
        echo $count >"$FAKE_STATE/updates"
        if [ "$count" -le "${FAKE_UPDATE_FAILURES:-0}" ]; then
            echo "E: Failed to fetch http://registry/dists/x/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
            echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
            exit 100
        fi
        ;;
    install)
        pins=
        for arg in "$@"; do
            case "$arg" in Dir::Etc::PreferencesParts=*) pins=${arg#*=} ;; esac
        done
        if [ -n "$pins" ]; then
            cat "$pins"/* >"$FAKE_STATE/pins" 2>/dev/null
            [ "${FAKE_PINNED_INSTALL:-fail}" = ok ] && exit 0
        elif [ -z "${FAKE_INSTALL_FAILS_FOR:-}" ] || [[ " $* " != *" ${FAKE_INSTALL_FAILS_FOR} "* ]]; then
            exit 0
        fi
        # apt's "E:" lines reach a shared log before its buffered report
        echo "E: Error, pkgProblemResolver::Resolve generated breaks, this may be caused by held packages."
        echo "The following packages have unmet dependencies:"
        echo " libxml2:i386 : Depends: zlib1g:i386 (>= 1:1.2.3.3) but it is not going to be installed"
        exit 100
        ;;
esac
exit 0
EOF
cat >"$fakes/apt-cache" <<'EOF'
#!/usr/bin/env bash
echo "apt-cache $*" >>"$FAKE_LOG"
case "$1" in
    depends)
        printf 'wine32:i386\n  Depends: libxml2:i386\nlibxml2:i386\nzlib1g:i386\nlibgood:i386\nlibsame:i386\n<virtual:i386>\n'
        ;;
    madison)
        cat <<'TABLE'
    zlib1g | 1:1.2.13-1+sec1 | http://registry/security x-security/main amd64 Packages
    zlib1g | 1:1.2.13-1 | http://registry/debian x/main amd64 Packages
zlib1g:i386 | 1:1.2.13-1 | http://registry/debian x/main i386 Packages
   libgood | 5.4-1+u2 | http://registry/security x-security/main amd64 Packages
   libgood | 5.4-1+u1 | http://registry/debian x/main amd64 Packages
libgood:i386 | 5.4-1+u1 | http://registry/debian x/main i386 Packages
   libsame | 2.0 | http://registry/debian x/main amd64 Packages
libsame:i386 | 2.0 | http://registry/debian x/main i386 Packages
TABLE
        ;;
esac
EOF
cat >"$fakes/dpkg-query" <<'EOF'
#!/usr/bin/env bash
# dpkg-query -W -f=FORMAT NAME, answered from $FAKE_INSTALLED ("name version" lines).
for arg in "$@"; do
    case "$arg" in
        -W) ;;
        -f=*) format=${arg#-f=} ;;
        *) name=${arg%:amd64} ;;
    esac
done
version=$(awk -v p="$name" '$1 == p { print $2 }' "$FAKE_INSTALLED")
[ -n "$version" ] || exit 1
format=${format//'${Status}'/install ok installed}
printf '%s' "${format//'${Version}'/$version}"
EOF
cat >"$fakes/dpkg" <<'EOF'
#!/usr/bin/env bash
case "$1" in
    --compare-versions) exec /usr/bin/dpkg "$@" ;;
    --print-foreign-architectures) echo i386 ;;
    *) echo "dpkg $*" >>"$FAKE_LOG" ;;
esac
EOF
printf '#!/bin/sh\nexec "$@"\n' >"$fakes/sudo"
cat >"$fakes/i686-w64-mingw32-objdump" <<'EOF'
#!/usr/bin/env bash
case "$2" in
    *.exe) printf '\tDLL Name: KERNEL32.dll\n\tDLL Name: zarn.dll\n' ;;
    *) printf '[Ordinal/Name Pointer] Table\n'
       for name in VX_Enroll VX_EnrollFinal VX_EnrollGetCount VX_EnrollInit VX_EnrollUpdate \
           VX_InitZARN VX_UninitZARN; do printf '\t[   0] %s\n' "$name"; done
       printf '\n' ;;
esac
EOF
chmod +x "$fakes"/*

# A source list that already has deb-src entries, so the scripts write nothing.
mkdir -p "$work/etc/sources.list.d"
printf 'Types: deb deb-src\nURIs: http://registry/debian\nSuites: x\nComponents: main\n' \
    >"$work/etc/sources.list.d/registry.sources"

export PATH="$fakes:$PATH" ZARN_APT_ETC="$work/etc" ZARN_APT_PAUSE=0
export FAKE_LOG FAKE_STATE FAKE_INSTALLED

# Fresh state for one scenario: installed packages given as "name version".
scenario() {
    FAKE_STATE=$(mktemp -d "$work/state.XXXX")
    FAKE_LOG=$FAKE_STATE/log
    FAKE_INSTALLED=$FAKE_STATE/installed
    printf '%s\n' "$@" >"$FAKE_INSTALLED"
    unset FAKE_UPDATE_FAILURES FAKE_INSTALL_FAILS_FOR FAKE_PINNED_INSTALL
}
calls() {
    grep -c "^$1" "$FAKE_LOG" || true
}
contains() {
    grep -qF -- "$2" "$1"
}

# --- install-deps.sh ------------------------------------------------------
# Everything present: apt is not touched at all.
scenario cmake make g++ pkg-config time libboost-program-options-dev libstb-dev \
    libgtest-dev libbenchmark-dev groff-base
sed -i 's/$/ 1.0/' "$FAKE_INSTALLED"
check "nothing missing, no apt call" "$root/scripts/install-deps.sh"
check "nothing missing, no apt call (log)" test ! -s "$FAKE_LOG"

# An update that keeps failing is tried three times, said in one line, and the
# install goes ahead with the lists at hand.
scenario
export FAKE_UPDATE_FAILURES=99
out=$("$root/scripts/install-deps.sh" 2>&1)
check "failing update does not stop the install" test $? -eq 0
check "update tried three times" test "$(calls 'apt-get update')" -eq 3
check "install tried after a failed update" test "$(calls 'apt-get install')" -eq 1
check "failed update said in one line" test "$(grep -c 'apt-get update failed' <<<"$out")" -eq 1
check "failed update names apt's reason" contains <(echo "$out") "Mirror sync in progress?"

# One failed update, then a good one: retried quietly.
scenario
export FAKE_UPDATE_FAILURES=1
out=$("$root/scripts/install-deps.sh" 2>&1)
check "update retried after one failure" test "$(calls 'apt-get update')" -eq 2
check "a recovered update is not reported" test "$(grep -c 'update failed' <<<"$out")" -eq 0

# A package that does not install fails the script with apt's reason.
scenario
export FAKE_INSTALL_FAILS_FOR=cmake
out=$("$root/scripts/install-deps.sh" 2>&1)
check "failed install fails install-deps" test $? -ne 0
check "failed install names the blocking dependency" contains <(echo "$out") \
    "libxml2:i386 : Depends: zlib1g:i386"

# --- install-windows-deps.sh wine ----------------------------------------
installed_base=(cmake make g++-mingw-w64-i686-posix dpkg-dev "zlib1g 1:1.2.13-1+sec1"
    "libgood 5.4-1" "libsame 2.0")

# Wine's i386 half does not resolve; a retry with matching versions does. The
# pins hold libgood at the version both architectures offer (an upgrade of the
# installed amd64 half), and never zlib1g, whose only i386 version is older
# than its installed amd64 half.
scenario "${installed_base[@]}"
sed -i 's/^\([^ ]*\)$/\1 1.0/' "$FAKE_INSTALLED"
export FAKE_INSTALL_FAILS_FOR=wine32:i386 FAKE_PINNED_INSTALL=ok
"$root/scripts/install-windows-deps.sh" wine >"$FAKE_STATE/out" 2>&1
check "matching versions rescue the wine install" test $? -eq 0
check "libgood pinned at the common version" contains "$FAKE_STATE/pins" \
    $'Package: libgood:amd64 libgood:i386\nPin: version 5.4-1+u1'
check "libgood pinned at the common version (pin line)" contains "$FAKE_STATE/pins" "5.4-1+u1"
check "no pin would downgrade zlib1g" bash -c "! grep -q zlib1g '$FAKE_STATE/pins'"
check "no pin where the candidates agree" bash -c "! grep -q libsame '$FAKE_STATE/pins'"
check "nothing is ever removed" bash -c "! grep 'apt-get install' '$FAKE_LOG' | grep -v -- --no-remove"

# Neither way works: exit 3, apt's reason in the reason file.
scenario "${installed_base[@]}"
sed -i 's/^\([^ ]*\)$/\1 1.0/' "$FAKE_INSTALLED"
export FAKE_INSTALL_FAILS_FOR=wine32:i386 ZARN_WINE_REASON_FILE=$FAKE_STATE/reason
"$root/scripts/install-windows-deps.sh" wine >"$FAKE_STATE/out" 2>&1
check "wine that cannot install exits 3" test $? -eq 3
check "the reason is apt's own" contains "$FAKE_STATE/reason" \
    "libxml2:i386 : Depends: zlib1g:i386 (>= 1:1.2.3.3) but it is not going to be installed"
unset ZARN_WINE_REASON_FILE

# A missing cross compiler is the build's own failure, not a skip.
scenario "wine 1.0" "wine32:i386 1.0"
export FAKE_INSTALL_FAILS_FOR=g++-mingw-w64-i686-posix
"$root/scripts/install-windows-deps.sh" wine >"$FAKE_STATE/out" 2>&1
check "a missing compiler fails with status 1" test $? -eq 1

# --- test-windows.sh ------------------------------------------------------
# Wine cannot be installed: the suite is skipped, the last line says why, and
# ZARN_REQUIRE_WINDOWS=1 turns the skip into a failure.
mkdir -p "$work/host" "$work/win/test-engine"
scenario "${installed_base[@]}"
sed -i 's/^\([^ ]*\)$/\1 1.0/' "$FAKE_INSTALLED"
export FAKE_INSTALL_FAILS_FOR=wine32:i386
ZARN_WINE=auto "$root/scripts/test-windows.sh" "$work/host" "$work/win" >"$FAKE_STATE/out" 2>&1
check "skipped suite exits 0" test $? -eq 0
last=$(tail -n 1 "$FAKE_STATE/out")
check "the skip is the last line, with apt's reason" contains <(echo "$last") \
    "Windows suite: SKIPPED (zarn-cli.exe and zarn.dll are built, not tested): Wine cannot be installed: libxml2:i386 : Depends: zlib1g:i386"
check "the skip is recorded for the summary" contains "$work/win/windows-suite.status" "skipped: "

ZARN_REQUIRE_WINDOWS=1 ZARN_WINE=auto "$root/scripts/test-windows.sh" "$work/host" "$work/win" \
    >"$FAKE_STATE/out" 2>&1
check "ZARN_REQUIRE_WINDOWS=1 fails a suite that cannot run" test $? -eq 1
check "the failure says why" contains "$FAKE_STATE/out" "ZARN_REQUIRE_WINDOWS=1: Wine cannot be installed"

echo "install scripts: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
