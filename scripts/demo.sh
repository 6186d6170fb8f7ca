#!/usr/bin/env bash
# Runs zarn-cli on the bundled samples: scripts/demo.sh <build-dir>
# Shows a single-image template and a multi-image enrollment of one finger.
set -euo pipefail

build="${1:-build}"
build="$(cd "$build" 2>/dev/null && pwd)" || { echo "demo: no build directory '$1'" >&2; exit 1; }
cd "$(dirname "$0")/.."
tool="$build/bin/zarn-cli"
if [[ ! -x "$tool" ]]; then
    echo "demo: $tool not found; build first (make)" >&2
    exit 1
fi

shown="${tool#"$PWD"/}"  # print the tool's path relative to the checkout when it is inside

run() {
    echo "\$ $shown ${*:2}"
    "$@"
    echo
}

echo "== One image, default (plain) format"
run "$tool" samples/finger1_1.png

echo "== Four impressions of one finger, pretty format, finger position 2 (right index)"
run "$tool" -f pretty -p 2 samples/finger2_1.png samples/finger2_2.png samples/finger2_3.png \
    samples/finger2_4.png
