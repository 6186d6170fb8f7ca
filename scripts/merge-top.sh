#!/bin/sh
# Usage: merge-top.sh K [--probe-list FILE] PART_OUTPUT...
#
# Merges what `zarn-match --top K` printed for consecutive parts of one gallery
# (the outputs named in gallery order) into the K best of each probe, in the
# order one search over the whole gallery lists them: best first, ties in
# gallery order. Search the parts with --shortlist 0 (a first look judges each
# part on its own) and --decimals 15 (so that only equal scores print alike);
# with --probe-list, name the probe list the parts were searched with.
set -eu

usage() {
    echo "usage: $0 K [--probe-list FILE] PART_OUTPUT..." >&2
    exit 1
}

[ $# -ge 2 ] || usage
k=$1
shift
case $k in '' | *[!0-9]*) usage ;; esac
probes=/dev/null
if [ "$1" = --probe-list ]; then
    [ $# -ge 3 ] || usage
    probes=$2
    shift 2
fi
for part in "$@"; do
    [ -r "$part" ] || { echo "$0: cannot read $part" >&2; exit 1; }
done

# Each line keyed by its probe's place in the list, its score, its part and
# its place in the part; sorted on those; the first K of each probe kept.
LC_ALL=C awk -v listed="$probes" '
    BEGIN {
        n = 0
        while ((getline line < listed) > 0) {
            sub(/\r$/, "", line)
            if (line != "") probe[++n] = line
        }
        tab = sprintf("\t")
    }
    FNR == 1 { part++; at = 1 }
    {
        space = index($0, " ")
        score = substr($0, 1, space - 1)
        rest = substr($0, space + 1)
        which = 0
        if (n > 0) {
            # Probes come in list order, each its lines together.
            for (i = at; i <= n; i++) {
                if (substr(rest, 1, length(probe[i]) + 1) == probe[i] " ") { which = i; break }
            }
            if (which == 0) {
                printf "%s: line %d of part %d names no listed probe\n", ARGV[0], FNR, part > "/dev/stderr"
                exit 1
            }
            at = which
        }
        print which tab score tab part tab FNR tab $0
    }' "$@" |
    LC_ALL=C sort -t "$(printf '\t')" -k1,1n -k2,2gr -k3,3n -k4,4n |
    LC_ALL=C awk -F '\t' -v k="$k" '
        $1 != probe { probe = $1; kept = 0 }
        kept < k { kept++; sub(/^[^\t]*\t[^\t]*\t[^\t]*\t[^\t]*\t/, ""); print }'
