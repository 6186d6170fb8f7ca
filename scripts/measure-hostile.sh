#!/usr/bin/env bash
# Worst-case time and peak memory of the tool, with the shipped engine, on
# every hostile file and on the largest image the engine accepts.
#   scripts/measure-hostile.sh <build-dir>
set -euo pipefail
build="${1:-build}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The largest image the engine takes (4000x4000, noise), and the largest print
# the generator makes (2000x2000).
{ printf 'P5\n4000 4000\n255\n'; head -c 16000000 /dev/urandom; } > "$work/largest-noise.pgm"
"$build/bin/zarn-fingergen" -o "$work" --prefix largest-print --width 2000 --height 2000 \
    -i 1 -d hard >/dev/null

printf '%-28s %8s %10s  %s\n' file seconds "peak MB" result
for file in tests/corpus/* "$work/largest-noise.pgm" "$work/largest-print1_1.png"; do
    [ "$(basename "$file")" = README.md ] && continue
    # GNU time's peak covers the tool and the decoding child it waited for.
    /usr/bin/time -o "$work/time" -f '%e %M' "$build/bin/zarn-cli" "$file" >"$work/out" 2>&1 || true
    read -r seconds kb <<<"$(tail -n 1 "$work/time")"
    result=$(head -c 60 "$work/out" | tr '\n' ' ')
    printf '%-28s %8s %10s  %s\n' "$(basename "$file")" "$seconds" "$((kb / 1024))" "$result"
done
