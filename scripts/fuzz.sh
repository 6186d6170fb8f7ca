#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, writes their seed corpora, and runs
# each target for a bounded time. Fails on any finding that is not contained.
#   scripts/fuzz.sh FUZZ_BUILD_DIR TOOL_BUILD_DIR [SECONDS_PER_TARGET] [TARGET...]
#
# fuzz_decode runs the image decoder in process, so that coverage and the
# sanitizers see inside it. What it finds there (crashes, undefined behaviour,
# hangs, runaway allocations) lives in the system's stb_image, which we do not
# patch: the tool decodes in a child process with limits and a deadline. So
# each decoder finding is replayed through the real tool, and only one that
# the tool does not turn into a clean error fails the run. Findings of the
# other targets are in our own code and fail the run directly.
set -euo pipefail
fuzz_build=${1:-build-fuzz}
tool_build=${2:-build}
seconds=${3:-60}
shift $(( $# > 3 ? 3 : $# ))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_decode fuzz_enroll fuzz_enrollment fuzz_iso_decode)
fi

CC=clang CXX=clang++ cmake -S . -B "$fuzz_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DZARN_FUZZ=ON -DZARN_BUILD_TESTS=OFF -DZARN_BUILD_BENCH=OFF -DZARN_BUILD_TOOLS=OFF >/dev/null
cmake --build "$fuzz_build" -j "$(nproc)" --target make_fuzz_seeds "${targets[@]}" >/dev/null

corpus="$fuzz_build/fuzz-corpus"
"$fuzz_build/bin/make_fuzz_seeds" "$corpus/seeds"
# Hostile files found before seed the decoder too.
find tests/corpus -type f ! -name README.md -exec cp {} "$corpus/seeds/fuzz_decode/" \;

# Runs the tool on one file: it must end with a template or a clean error,
# without a signal, within 20 seconds.
contained() {
    local status=0
    timeout 20 "$tool_build/bin/zarn-cli" "$1" >/dev/null 2>&1 || status=$?
    [ "$status" -eq 0 ] || [ "$status" -eq 255 ]
}

failed=0
for target in "${targets[@]}"; do
    findings="$fuzz_build/fuzz-findings/$target"
    mkdir -p "$corpus/$target" "$findings"
    # Instrumented extraction of a 4000x4000 image takes seconds, so a hang is
    # anything over 30 s.
    options=(-max_total_time="$seconds" -timeout=30 -rss_limit_mb=1024 -max_len=65536
             -artifact_prefix="$findings/" -print_final_stats=1)
    if [ "$target" = fuzz_decode ]; then
        options+=(-fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1)
    fi
    echo "== $target for ${seconds}s"
    status=0
    "$fuzz_build/bin/$target" "$corpus/$target" "$corpus/seeds/$target" "${options[@]}" \
        >"$fuzz_build/$target.log" 2>&1 || status=$?
    grep -E '^stat::|^INFO: fuzzed for|ERROR:|SUMMARY:' "$fuzz_build/$target.log" | sort -u | tail -n 12
    if [ "$target" = fuzz_decode ]; then
        for finding in "$findings"/*; do
            [ -e "$finding" ] || continue
            if contained "$finding"; then
                echo "contained by the tool: $finding"
            else
                echo "NOT CONTAINED: $finding"
                failed=1
            fi
        done
    elif [ "$status" -ne 0 ]; then
        echo "FINDING in $target (see $fuzz_build/$target.log and $findings)"
        failed=1
    fi
done
exit "$failed"
