#!/usr/bin/env bash
# Installs what the Windows build and its tests need: the 32-bit MinGW-w64
# cross compiler, dpkg-dev for fetching Debian's boost source, and Wine with its
# 32-bit half (which needs Debian's i386 architecture). Quick when all are
# present: the architecture, the source entry and apt-get are touched only for
# what is missing.
#   scripts/install-windows-deps.sh          compiler and boost source tools
#   scripts/install-windows-deps.sh wine     also wine and wine32
set -euo pipefail

packages=(cmake make g++-mingw-w64-i686-posix dpkg-dev)
for group in "$@"; do
    case "$group" in
        wine) packages+=(wine wine32:i386) ;;
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

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ] || [ $need_update -eq 1 ]; then
    "${sudo_cmd[@]}" apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
