#!/usr/bin/env bash
# Hash benchmark: times `tamboro-scan --columns md5,sha256` (its default
# read-ahead and --jobs 1) and the plain scan against OpenSSL hashing every
# chart on all cores (find | xargs -P <cores> running `openssl dgst -md5` and
# `openssl dgst -sha256` over each batch of charts), on the library of
# run_scan_bench.sh.
#
# usage: bench/run_hash_bench.sh [--charts N] [--cold] [--build DIR] [--lib DIR] [--runs N] [--out DIR]
#
#   --charts N   charts in the library (default 20000); it is generated as
#                run_scan_bench.sh does when missing
#   --cold       drop every chart's pages from the page cache before each run
#   --build DIR  build tree holding cli/tamboro-scan and bench/tamboro-*
#                (default: build/ at the top of the repository)
#   --lib DIR    the library (default ${TMPDIR:-/tmp}/tamboro-benchlib-N)
#   --runs N     timed runs per command (default 5)
#   --out DIR    where outputs and hyperfine's CSV go (default: a new temp folder)
#
# First checks that the scan's digests are OpenSSL's, chart for chart, and
# the same with --jobs 1; then one hyperfine run times everything and the
# ratios come from its medians.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")
charts=20000
build="$repo/build"
lib=""
runs=5
out=""
cold=0

die() {
    echo "run_hash_bench: $*" >&2
    exit 1
}
while [[ $# -gt 0 ]]; do
    case "$1" in
        --charts) charts=${2:?--charts needs a value}; shift 2 ;;
        --build) build=${2:?--build needs a value}; shift 2 ;;
        --lib) lib=${2:?--lib needs a value}; shift 2 ;;
        --runs) runs=${2:?--runs needs a value}; shift 2 ;;
        --out) out=${2:?--out needs a value}; shift 2 ;;
        --cold) cold=1; shift ;;
        -h | --help) sed -n '/^# usage:/,/^# First/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'; exit 0 ;;
        *) die "unknown argument '$1' (see --help)" ;;
    esac
done
[[ $charts =~ ^[1-9][0-9]*$ ]] || die "--charts wants a positive number, not '$charts'"
[[ $runs =~ ^[1-9][0-9]*$ && $runs -ge 2 ]] || die "--runs wants a number of at least 2, not '$runs'"
lib=${lib:-${TMPDIR:-/tmp}/tamboro-benchlib-$charts}
lib=${lib%/}
scan="$build/cli/tamboro-scan"
drop="$build/bench/tamboro-drop-cache"
for tool in "$scan" "$drop"; do
    [[ -x $tool ]] || die "$(basename "$tool") not found at $tool; build it first"
done
command -v hyperfine > /dev/null || die "hyperfine is missing (apt-get install hyperfine)"
command -v openssl > /dev/null || die "openssl is missing (apt-get install openssl)"
if [[ ! -f $lib/.tamboro-benchlib ]]; then
    # run_scan_bench.sh makes the library (and checks every tool on it).
    "$here/run_scan_bench.sh" --charts "$charts" --build "$build" --lib "$lib" --runs 2 --warmup 0 \
        --floors-only > /dev/null || die "could not make the library $lib"
fi
out=${out:-$(mktemp -d "${TMPDIR:-/tmp}/tamboro-hash-bench.XXXXXX")}
mkdir -p -- "$out"
cores=$(nproc)

q() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }
root=$(q "$lib")
cmd_hash="$(q "$scan") --raw --columns folder,file,md5,sha256 $root > $(q "$out/scan.out")"
cmd_hash1="$(q "$scan") --raw --jobs 1 --columns folder,file,md5,sha256 $root > $(q "$out/scan1.out")"
cmd_scan="$(q "$scan") --raw $root > /dev/null"
# Each batch of charts goes through both digests, as the scan computes both,
# into a file of its own (batches writing to one pipe would mix their lines).
mkdir -p -- "$out/openssl.d"
cmd_openssl="find $root -type f -iname '*.bms' -print0 | xargs -0 -n 200 -P $cores sh -c 'd=\$(mktemp -p \"\$0\"); openssl dgst -md5 -r \"\$@\" > \"\$d\"; openssl dgst -sha256 -r \"\$@\" >> \"\$d\"' $(q "$out/openssl.d")"

echo "checking the digests against OpenSSL's"
rm -f -- "$out"/openssl.d/*
sh -c "$cmd_hash" && sh -c "$cmd_hash1" && sh -c "$cmd_openssl"
cat -- "$out"/openssl.d/* > "$out/openssl.out"
cmp -s "$out/scan.out" "$out/scan1.out" || die "CHECK FAILED: --jobs 1 gave other digests"
# The digests alone, sorted (names are escaped differently by each, and
# the generated library holds names with line feeds in them).
cut -f 3,4 "$out/scan.out" | tr '\t' '\n' | sort > "$out/scan.sorted"
grep -oE '^\\?[0-9a-f]{32}([0-9a-f]{32})? \*' "$out/openssl.out" | tr -d '\\ *' | sort > "$out/openssl.sorted"
cmp -s "$out/scan.sorted" "$out/openssl.sorted" ||
    die "CHECK FAILED: the scan's digests differ from OpenSSL's (see $out/*.sorted)"
echo "  $(wc -l < "$out/scan.out") charts, both digests agree"

hf=(-n scan-md5-sha256 "$cmd_hash" -n scan-md5-sha256-jobs-1 "$cmd_hash1" -n openssl-all-cores "$cmd_openssl"
    -n scan-no-digests "$cmd_scan")
((cold)) && hf=(--prepare "$(q "$drop") $root > /dev/null" "${hf[@]}")
load=$(cut -d ' ' -f 1-3 /proc/loadavg)
hyperfine --warmup "$((1 - cold))" --runs "$runs" --export-csv "$out/hyperfine.csv" "${hf[@]}" > "$out/hyperfine.txt"
{
    echo
    echo "Hash benchmark ($( ((cold)) && echo cold || echo warm) page cache): $lib, $cores cores," \
        "load average before the run: $load; $(openssl version)"
    awk -F, '
        NR == 1 { next }
        { name[NR] = $1; median[NR] = $4; cpu[NR] = $5 + $6; if ($1 == "openssl-all-cores") ref = $4 }
        END {
            printf "%-24s %9s %8s %14s\n", "command", "median s", "cpu s", "this / openssl"
            for (i = 2; i <= NR; i++)
                printf "%-24s %9.3f %8.3f %14.2f\n", name[i], median[i], cpu[i], median[i] / ref
            print "(cpu s: mean user + system time; this / openssl: ratio of medians)"
        }' "$out/hyperfine.csv"
} | tee "$out/summary.txt"
