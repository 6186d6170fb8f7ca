#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need. Quick when all
# are present: apt-get runs only for what is missing.
#   scripts/install-deps.sh            build, tests, benchmarks
#   scripts/install-deps.sh fuzz       also clang with libFuzzer
#   scripts/install-deps.sh memcheck   also valgrind
#   scripts/install-deps.sh package    also the Debian package tools and lintian
#   scripts/install-deps.sh windows-dist  also zip
set -euo pipefail
here=$(dirname "$(realpath "$0")")
# shellcheck source=scripts/apt-lib.sh
source "$here/apt-lib.sh"

packages=(
    cmake make g++ pkg-config time
    libboost-program-options-dev
    libstb-dev
    libgtest-dev
    libbenchmark-dev
    groff-base
)
for group in "$@"; do
    case "$group" in
        fuzz) packages+=(clang libclang-rt-dev) ;;
        memcheck) packages+=(valgrind) ;;
        package) packages+=(dpkg-dev file lintian) ;;
        windows-dist) packages+=(zip) ;;
        *) echo "unknown package group: $group" >&2; exit 2 ;;
    esac
done

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
apt_update
apt_install -- "${missing[@]}" || {
    echo "cannot install ${missing[*]}: $APT_FAILURE_REASON" >&2
    exit 1
}
