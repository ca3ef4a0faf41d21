#!/usr/bin/env bash
# The manual pages render without a warning, and tamboro-scan(1) documents
# every option that `tamboro-scan --help` lists.
#   man_pages_test.sh TAMBORO_SCAN MAN_DIR
set -euo pipefail
scan=$1 man_dir=$2
status=0
for page in "$man_dir"/tamboro.1 "$man_dir"/tamboro-scan.1; do
    warnings=$(groff -man -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || { echo "$page: $warnings"; status=1; }
    rendered=$(MANWIDTH=80 man -l "$page" 2>&1)
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS 'EXIT STATUS' ENVIRONMENT EXAMPLES; do
        grep -qx "$section" <<<"$rendered" || { echo "$page: no section $section"; status=1; }
    done
done
rendered=$(MANWIDTH=200 man -l "$man_dir/tamboro-scan.1")
for option in $("$scan" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
    grep -qE -- "^ +$option( |,|$)" <<<"$rendered" || { echo "tamboro-scan.1 does not describe $option"; status=1; }
done
# Charts that cannot be read are rows with empty values, not left out.
grep -q 'A chart that cannot be read is still listed, with empty genre, title and artist' <<<"$rendered" ||
    { echo "tamboro-scan.1 does not say unreadable charts are listed"; status=1; }
exit $status
