#!/usr/bin/env bash
# A man page that has drifted from its program fails here:
#   tests/man/check_man_page.sh <program> <page>
# The page's OPTIONS section must list exactly the options of --help, long and
# short; its title line must carry the program's --version; and groff must
# format it without a warning.
set -euo pipefail
program=${1:?usage: $0 <program> <page>}
page=${2:?usage: $0 <program> <page>}
failures=0
fail() {
    echo "$(basename "$page"): $*"
    failures=$((failures + 1))
}

# "-h [ --help ]" or "--name" alone in the help text; "\-h ", " \-\-help" or
# "\-\-name" alone in the tag line after a .TP of the roff source's OPTIONS
# section. Each option is kept as
# "-h --help" or "--name".
help=$("$program" --help)
help_options=$(sed -nE 's/^ +((-[a-zA-Z]) \[ )?(--[a-z][a-z-]*).*/\2 \3/p' <<<"$help" |
    sed 's/^ //' | sort)
tag_lines=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | awk 'after_tp { print } { after_tp = /^\.TP/ }' |
    sed 's/\\-/-/g')
page_options=$(sed -nE 's/^\.BR? ((-[a-zA-Z]) ", " )?(--[a-z][a-z-]*).*/\2 \3/p' <<<"$tag_lines" |
    sed 's/^ //' | sort)
[ -n "$help_options" ] || fail "no option found in the output of $program --help"
while read -r option; do
    [ -z "$option" ] || grep -qxF -- "$option" <<<"$page_options" ||
        fail "option $option of --help is not in the OPTIONS section"
done <<<"$help_options"
while read -r option; do
    [ -z "$option" ] || grep -qxF -- "$option" <<<"$help_options" ||
        fail "option $option of the OPTIONS section is not in --help"
done <<<"$page_options"

version=$("$program" --version)
grep -qE "^\.TH .*\"zarn $version\"" "$page" ||
    fail "the .TH line does not name version $version"

warnings=$(groff -man -ww -z -Tutf8 "$page" 2>&1)
[ -z "$warnings" ] || fail "groff warns: $warnings"

if [ $failures -ne 0 ]; then
    exit 1
fi
echo "$(basename "$page"): $(wc -l <<<"$help_options") options, version $version, groff clean"
