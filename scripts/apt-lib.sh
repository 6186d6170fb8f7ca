# shellcheck shell=bash
# apt-get steps that survive a package registry in trouble, sourced by the
# install scripts. A registry in the middle of a sync serves stale or partial
# indexes; what decides is whether the packages install, so a failed update is
# reported and the install is tried with the lists at hand.
#
#   ZARN_APT_TRIES   updates tried before going on with the lists at hand (3)
#   ZARN_APT_PAUSE   seconds between two tries (10)

apt_sudo=()
if [ "$(id -u)" -ne 0 ]; then
    apt_sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

# Why the last apt_install failed, in apt's own words, on one line.
APT_FAILURE_REASON=

# apt's reason in one line: an unmet dependency names the package that blocks,
# which says more than the closing "E: Unable to correct problems".
apt_reason_from() {
    local log=$1 line
    # (apt writes the "E:" lines to stderr before its buffered report on stdout)
    line=$(grep -m1 -E ' : (Pre-)?Depends: ' "$log" || grep -m1 '^E: ' "$log")
    line=$(sed -E 's/^ +//; s/ +/ /g' <<<"$line")
    [ -n "$line" ] || line=$(grep -v '^\s*$' "$log" | tail -n 1)
    printf '%s' "${line:-apt-get gave no reason}"
}

# apt-get update, retried; an update that keeps failing is reported in one line
# and does not stop the caller. apt-get exits 0 on some failed indexes and
# non-zero on others, so both its status and its "E:" lines count.
apt_update() {
    local tries=${ZARN_APT_TRIES:-3} pause=${ZARN_APT_PAUSE:-10} try log
    log=$(mktemp)
    for ((try = 1; try <= tries; try++)); do
        if "${apt_sudo[@]}" apt-get update -qq >"$log" 2>&1 && ! grep -q '^E: ' "$log"; then
            rm -f "$log"
            return 0
        fi
        [ "$try" -lt "$tries" ] && sleep "$pause"
    done
    echo "apt-get update failed $tries times, going on with the package lists at hand: $(apt_reason_from "$log")"
    rm -f "$log"
    return 0
}

# apt-get install that never removes a package; on failure apt's output is
# shown and its reason kept in APT_FAILURE_REASON. Extra apt-get options may
# come before a "--", the packages after it.
apt_install() {
    local options=() log status=0
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        options+=("$1")
        shift
    done
    [ "${1:-}" = -- ] && shift
    log=$(mktemp)
    "${apt_sudo[@]}" apt-get install -y -q --no-install-recommends --no-remove \
        "${options[@]}" "$@" >"$log" 2>&1 || status=$?
    if [ $status -ne 0 ]; then
        cat "$log" >&2
        APT_FAILURE_REASON=$(apt_reason_from "$log")
    fi
    rm -f "$log"
    return $status
}

# Multi-Arch "same" packages must have one version on both architectures. When
# a registry serves the security suite for one architecture and not the other,
# the candidates differ and the i386 half cannot install. Writes apt pins into
# <pin dir> that hold each such package, on both architectures, at the highest
# version both indexes offer, never below the installed one (so nothing is
# downgraded). Takes the i386 packages to install; prints how many were pinned.
apt_pin_matching_versions() {
    local pin_dir=$1
    shift
    local names
    names=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts \
        --no-breaks --no-replaces --no-enhances "$@" 2>/dev/null |
        sed -n 's/^\([a-z0-9][^ <>]*\):i386$/\1/p' | sort -u)
    [ -n "$names" ] || {
        echo 0
        return 0
    }
    local queries=()
    for name in $names; do
        queries+=("$name:amd64" "$name:i386")
    done
    # madison: "name[:arch] | version | origin suite/component arch Packages"
    local table
    table=$(apt-cache madison "${queries[@]}" 2>/dev/null |
        awk -F' [|] ' '{ gsub(/ /, "", $1); sub(/:.*/, "", $1); n = split($3, f, " ");
                         print $1, $2, f[n - 1] }')
    # Names whose newest version differs between the two architectures, with
    # every version each side offers.
    local mismatched
    mismatched=$(awk '
        { if ($3 == "amd64") amd64[$1] = amd64[$1] " " $2; else i386[$1] = i386[$1] " " $2 }
        $3 == "amd64" && !($1 in first64) { first64[$1] = $2 }
        $3 == "i386" && !($1 in first32) { first32[$1] = $2 }
        END { for (p in first64) if ((p in first32) && first64[p] != first32[p])
                  print p "|" amd64[p] "|" i386[p] }' <<<"$table")
    local pinned=0 name amd64 i386 installed version best
    while IFS='|' read -r name amd64 i386; do
        [ -n "$name" ] || continue
        installed=$(dpkg-query -W -f='${Status} ${Version}' "$name:amd64" 2>/dev/null |
            sed -n 's/^install ok installed //p')
        best=
        for version in $amd64; do
            [[ " $i386 " == *" $version "* ]] || continue
            if [ -n "$installed" ] && dpkg --compare-versions "$version" lt "$installed"; then
                continue
            fi
            if [ -z "$best" ] || dpkg --compare-versions "$version" gt "$best"; then
                best=$version
            fi
        done
        [ -n "$best" ] || continue
        printf 'Package: %s:amd64 %s:i386\nPin: version %s\nPin-Priority: 1001\n\n' \
            "$name" "$name" "$best" >>"$pin_dir/zarn-matching-versions.pref"
        pinned=$((pinned + 1))
    done <<<"$mismatched"
    echo $pinned
}
