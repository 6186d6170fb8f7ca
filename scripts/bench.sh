#!/usr/bin/env bash
# Runs the benchmarks from a build directory: scripts/bench.sh <build-dir>
set -euo pipefail
build="${1:-build}"

echo "== Extraction speed (median of 5 repetitions)"
"$build/bin/bench_extraction" --benchmark_report_aggregates_only=true

echo "== Peak memory of one 1000x1000 extraction"
/usr/bin/time -v "$build/bin/zarn-extract-once" 2>&1 | grep -E "status|Maximum resident"

echo "== Minutia accuracy on generated impressions (recall and precision by difficulty)"
"$build/bin/accuracy_bench" --fingers 10 --per-level 3

echo "== Recall of reference minutiae (the peers' consensus, the generator's truth) and where the lost ones were lost"
python3 bench/recall/recall.py --build "$build"

echo "== Hostile files: worst-case time and peak memory per file"
scripts/measure-hostile.sh "$build"

echo "== Multi-impression merge: merged (1-3) against single (1) templates, speed, peak memory"
"$build/bin/merge_accuracy" --fingers 20
"$build/bin/bench_merge" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
/usr/bin/time -v "$build/bin/zarn-merge-once" 2>&1 | grep -E "status|Maximum resident"

echo "== Enrollment's false match rate: genuine enrollments refused, intruders let in, rate by rate"
python3 bench/merge/operating_point.py --build "$build"

echo "== Real sets: our matcher on our templates, every pair (EER, FNMR@FMR1%, time per image)"
"$build/bin/own_matcher_eer"

echo "== Interoperability: bozorth3 on our templates beside mindtct's and FingerJetFX's"
"$(dirname "$0")/../bench/interop/interop.py" --cli "$build/bin/zarn-cli"

echo "== Degraded real sets: ours beside FingerJetFX under bozorth3 and zarn-match"
python3 bench/degrade/degrade.py --build "$build"

echo "== Whole process, one per image (interleaved with FingerJetFX when built by the peers script)"
python3 bench/process/bench_process.py --tool "$build/bin/zarn-cli" \
    --reference "${PEERS:-/tmp/zarn-peers}/bin/fjfx_extract {pgm} {out}"

echo "== zarn-match: one probe against 10,000 templates, accuracy on the real sets"
python3 bench/match/bench_match.py --build "$build"
