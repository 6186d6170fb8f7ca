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
set -euo pipefail

packages=(cmake make g++-mingw-w64-i686-posix dpkg-dev)
backports=()
for group in "$@"; do
    case "$group" in
        wine) packages+=(wine wine32:i386) ;;
        qemu)
            packages+=(wine wine32:i386 wine64)
            backports+=(qemu-user)
            ;;
        *) echo "unknown package group: $group" >&2; exit 2 ;;
    esac
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
need_update=0

# wine32 is an i386 package.
if [[ " ${packages[*]} " == *":i386 "* ]] &&
    ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
    need_update=1
fi

# `apt-get source` needs deb-src entries: mirror the system's own deb entries.
src_list=/etc/apt/sources.list.d/zarn-deb-src.sources
if ! grep -rqs '^Types:.*deb-src\|^deb-src' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    entries=$(grep -s -l '^Types: *deb *$' /etc/apt/sources.list.d/*.sources || true)
    if [ -n "$entries" ]; then
        # shellcheck disable=SC2086
        sed -n '/^Types:/,$p' $entries | sed 's/^Types: *deb *$/Types: deb-src/' |
            "${sudo_cmd[@]}" tee "$src_list" >/dev/null
    elif [ -f /etc/apt/sources.list ]; then
        grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
            "${sudo_cmd[@]}" tee /etc/apt/sources.list.d/zarn-deb-src.list >/dev/null
    else
        echo "no apt sources found to mirror as deb-src" >&2
        exit 1
    fi
    need_update=1
fi

# Backports: the release's own entry with the backports suite in its place.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
backports_list=/etc/apt/sources.list.d/zarn-backports
has_backports_entry() {
    grep -qs "^deb [^ ]* ${codename}-backports " /etc/apt/sources.list /etc/apt/sources.list.d/*.list ||
        awk -v suite="${codename}-backports" '
            BEGIN { RS = ""; FS = "\n" }
            $0 ~ /Types:[^\n]*deb( |\n|$)/ && $0 ~ ("Suites:[^\n]*" suite) { found = 1 }
            END { exit !found }' /etc/apt/sources.list.d/*.sources 2>/dev/null
}
if [ ${#backports[@]} -gt 0 ] && [ -n "$codename" ] && ! has_backports_entry; then
    release_entry=$(grep -s -l "^Suites:.*\b${codename}\b" /etc/apt/sources.list.d/*.sources | head -1 || true)
    if [ -n "$release_entry" ]; then
        awk -v suite="${codename}-backports" -v release="$codename" '
            BEGIN { RS = ""; FS = "\n" }
            !done && $0 ~ ("Suites:[^\n]*" release "( |\n|$)") {
                gsub(/Suites:[^\n]*/, "Suites: " suite); print; done = 1
            }' "$release_entry" | "${sudo_cmd[@]}" tee "$backports_list.sources" >/dev/null
    elif [ -f /etc/apt/sources.list ]; then
        grep -m1 "^deb [^ ]* ${codename} " /etc/apt/sources.list |
            sed "s/ ${codename} / ${codename}-backports /" |
            "${sudo_cmd[@]}" tee "$backports_list.list" >/dev/null
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
# A backported package counts as present only in its backports version.
missing_backports=()
for package in "${backports[@]}"; do
    if ! is_installed "$package" ||
        ! dpkg-query -W -f='${Version}' "$package" | grep -q '~bpo'; then
        missing_backports+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ] || [ ${#missing_backports[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
    "${sudo_cmd[@]}" apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ ${#missing_backports[@]} -gt 0 ]; then
    echo "Installing from ${codename}-backports: ${missing_backports[*]}"
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
        -t "${codename}-backports" "${missing_backports[@]}"
fi
