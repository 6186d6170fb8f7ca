# shellcheck shell=bash
# One line per failed check, one summary line, and the exit status, for the
# install and package checks.
passes=0
failures=0

# check <what> <command...>: runs the command quietly, keeping its output for
# the failure message.
check() {
    local what=$1 output
    shift
    if output=$("$@" 2>&1); then
        passes=$((passes + 1))
    else
        echo "FAILED: $what"
        [ -z "$output" ] || sed 's/^/    /' <<<"$output"
        failures=$((failures + 1))
    fi
}

finish() {
    echo "$1: $passes passed, $failures failed"
    [ "$failures" -eq 0 ]
}
