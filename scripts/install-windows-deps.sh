#!/usr/bin/env bash
# Installs what the Windows build and its tests need: the 32-bit MinGW-w64
# cross compiler, dpkg-dev for fetching Debian's boost source, and Wine with its
# 32-bit half (which needs Debian's i386 architecture). Quick when all are
# present: the architecture, the source entries and apt-get are touched only for
# what is missing.
#   scripts/install-windows-deps.sh          compiler and boost source tools
#   scripts/install-windows-deps.sh wine     also wine and wine32
#   scripts/install-windows-deps.sh qemu     also what runs Wine's 32-bit half on
#       a host that executes no 32-bit program: Wine's 64-bit server (wine64)
#       and qemu's user-mode emulator from backports (the release's own qemu
#       takes about a minute for each start of Wine's loader)
#
# Exits with 3 when Wine cannot be installed for a reason outside the project
# (a registry in trouble, an unresolvable dependency); the reason, in apt's
# words, is the last line on standard error and, when ZARN_WINE_REASON_FILE
# names a file, written there too.
set -euo pipefail
here=$(dirname "$(realpath "$0")")
# shellcheck source=scripts/apt-lib.sh
source "$here/apt-lib.sh"

packages=(cmake make g++-mingw-w64-i686-posix dpkg-dev)
wine_packages=()
backports=()
for group in "$@"; do
    case "$group" in
        wine) wine_packages+=(wine wine32:i386) ;;
        qemu)
            wine_packages+=(wine wine32:i386 wine64)
            backports+=(qemu-user)
            ;;
        *) echo "unknown package group: $group" >&2; exit 2 ;;
    esac
done

# Where apt keeps its sources (another folder only for the scripts' own tests).
apt_etc=${ZARN_APT_ETC:-/etc/apt}
need_update=0

# wine32 is an i386 package.
if [ ${#wine_packages[@]} -gt 0 ] &&
    ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${apt_sudo[@]}" dpkg --add-architecture i386
    need_update=1
fi

# `apt-get source` needs deb-src entries: mirror the system's own deb entries.
src_list=$apt_etc/sources.list.d/zarn-deb-src.sources
if ! grep -rqs '^Types:.*deb-src\|^deb-src' "$apt_etc"/sources.list "$apt_etc"/sources.list.d/; then
    entries=$(grep -s -l '^Types: *deb *$' "$apt_etc"/sources.list.d/*.sources || true)
    if [ -n "$entries" ]; then
        # shellcheck disable=SC2086
        sed -n '/^Types:/,$p' $entries | sed 's/^Types: *deb *$/Types: deb-src/' |
            "${apt_sudo[@]}" tee "$src_list" >/dev/null
    elif [ -f "$apt_etc"/sources.list ]; then
        grep '^deb ' "$apt_etc"/sources.list | sed 's/^deb /deb-src /' |
            "${apt_sudo[@]}" tee "$apt_etc"/sources.list.d/zarn-deb-src.list >/dev/null
    else
        echo "no apt sources found to mirror as deb-src" >&2
        exit 1
    fi
    need_update=1
fi

# Backports: the release's own entry with the backports suite in its place.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
backports_list=$apt_etc/sources.list.d/zarn-backports
has_backports_entry() {
    grep -qs "^deb [^ ]* ${codename}-backports " "$apt_etc"/sources.list "$apt_etc"/sources.list.d/*.list ||
        awk -v suite="${codename}-backports" '
            BEGIN { RS = ""; FS = "\n" }
            $0 ~ /Types:[^\n]*deb( |\n|$)/ && $0 ~ ("Suites:[^\n]*" suite) { found = 1 }
            END { exit !found }' "$apt_etc"/sources.list.d/*.sources 2>/dev/null
}
if [ ${#backports[@]} -gt 0 ] && [ -n "$codename" ] && ! has_backports_entry; then
    release_entry=$(grep -s -l "^Suites:.*\b${codename}\b" "$apt_etc"/sources.list.d/*.sources | head -1 || true)
    if [ -n "$release_entry" ]; then
        awk -v suite="${codename}-backports" -v release="$codename" '
            BEGIN { RS = ""; FS = "\n" }
            !done && $0 ~ ("Suites:[^\n]*" release "( |\n|$)") {
                gsub(/Suites:[^\n]*/, "Suites: " suite); print; done = 1
            }' "$release_entry" | "${apt_sudo[@]}" tee "$backports_list.sources" >/dev/null
    elif [ -f "$apt_etc"/sources.list ]; then
        grep -m1 "^deb [^ ]* ${codename} " "$apt_etc"/sources.list |
            sed "s/ ${codename} / ${codename}-backports /" |
            "${apt_sudo[@]}" tee "$backports_list.list" >/dev/null
    else
        echo "no apt sources found to derive ${codename}-backports from" >&2
        exit 1
    fi
    need_update=1
fi

is_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}
missing=()
for package in "${packages[@]}"; do
    is_installed "$package" || missing+=("$package")
done
missing_wine=()
for package in "${wine_packages[@]}"; do
    is_installed "$package" || missing_wine+=("$package")
done
# A backported package counts as present only in its backports version.
missing_backports=()
for package in "${backports[@]}"; do
    if ! is_installed "$package" ||
        ! dpkg-query -W -f='${Version}' "$package" | grep -q '~bpo'; then
        missing_backports+=("$package")
    fi
done

wine_unavailable() {
    echo "Wine cannot be installed: $1" >&2
    [ -z "${ZARN_WINE_REASON_FILE:-}" ] || printf '%s\n' "$1" >"$ZARN_WINE_REASON_FILE"
    exit 3
}

if [ ${#missing[@]} -gt 0 ] || [ ${#missing_wine[@]} -gt 0 ] ||
    [ ${#missing_backports[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
    apt_update
fi
# The cross compiler is amd64 only: without it nothing can be built, so its
# failure is the build's.
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    apt_install -- "${missing[@]}" || {
        echo "cannot install ${missing[*]}: $APT_FAILURE_REASON" >&2
        exit 1
    }
fi
if [ ${#missing_wine[@]} -gt 0 ]; then
    echo "Installing: ${missing_wine[*]}"
    if ! apt_install -- "${missing_wine[@]}"; then
        pin_dir=$(mktemp -d)
        trap 'rm -rf "$pin_dir"' EXIT
        pinned=$(apt_pin_matching_versions "$pin_dir" "${missing_wine[@]}")
        if [ "$pinned" -eq 0 ]; then
            wine_unavailable "$APT_FAILURE_REASON"
        fi
        echo "Installing again with $pinned i386 packages held at the versions their amd64 halves can match"
        # With the pins, what still fails names the package no version can match.
        apt_install -o Dir::Etc::PreferencesParts="$pin_dir" -- "${missing_wine[@]}" ||
            wine_unavailable "$APT_FAILURE_REASON"
    fi
fi
if [ ${#missing_backports[@]} -gt 0 ]; then
    echo "Installing from ${codename}-backports: ${missing_backports[*]}"
    apt_install -t "${codename}-backports" -- "${missing_backports[@]}" ||
        wine_unavailable "$APT_FAILURE_REASON"
fi
