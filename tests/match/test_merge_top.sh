#!/bin/sh
# A gallery searched in parts, the parts' lists merged by scripts/merge-top.sh,
# must list exactly what one search over the whole gallery lists: for a probe
# list and for one probe, with ties (every template three times) falling on the
# parts' borders, and K deep enough to reach below the top scores.
# usage: test_merge_top.sh ZARN_CLI ZARN_MATCH MERGE_TOP SAMPLES_DIR
set -eu
cli=$1 match=$2 merge=$3 samples=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for image in "$samples"/*.png; do
    "$cli" "$image" > "$work/$(basename "$image" .png).hex"
done
ls "$work"/*.hex > "$work/templates.txt"
for copy in 1 2 3; do cat "$work/templates.txt"; done > "$work/gallery.txt"
head -n 3 "$work/templates.txt" > "$work/probes.txt"
split -l 7 "$work/gallery.txt" "$work/part."

check() {  # check NAME K [PROBE ARGS...]
    name=$1 k=$2
    shift 2
    for part in "$work"/part.*; do
        "$match" --top "$k" --shortlist 0 --decimals 15 --gallery-list "$part" "$@" \
            > "$work/out.$(basename "$part")"
    done
    "$match" --top "$k" --shortlist 0 --decimals 15 --gallery-list "$work/gallery.txt" "$@" \
        > "$work/whole.txt"
    if [ "$1" = --probe-list ]; then
        sh "$merge" "$k" --probe-list "$2" "$work"/out.part.* > "$work/merged.txt"
    else
        sh "$merge" "$k" "$work"/out.part.* > "$work/merged.txt"
    fi
    if ! cmp -s "$work/whole.txt" "$work/merged.txt"; then
        echo "$name: the merged lists differ from one search's" >&2
        diff "$work/whole.txt" "$work/merged.txt" >&2 || true
        exit 1
    fi
    [ "$(wc -l < "$work/whole.txt")" -gt 0 ] || { echo "$name: nothing listed" >&2; exit 1; }
}

check "probe list" 8 --probe-list "$work/probes.txt"
check "one probe" 5 "$(head -n 1 "$work/templates.txt")"
# A wrong call says how to call it.
if sh "$merge" five "$work/whole.txt" 2> /dev/null; then
    echo "a K that is not a number was taken" >&2
    exit 1
fi
echo "merged lists equal one search's"
