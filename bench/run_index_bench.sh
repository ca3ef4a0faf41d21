#!/usr/bin/env bash
# Index benchmark: times tamboro-scan with an index on a synthetic BMS
# library. From one hyperfine run it reports the ratios of
#   - a rescan of the unchanged library with its index (the read-ahead
#     default and --jobs 1) to tamboro-walk-stat, the floor of a walk on one
#     thread that reads every folder and stats every chart, and to
#     tamboro-stat-known, the floor of looking at the folders and charts of
#     a list on every core (on 16 threads with --cold, as many as the scan's
#     look-ahead, so that looks waiting for the device overlap), reading no
#     folder;
#   - a first indexed scan (the index empty, written at the end) to a scan
#     without an index;
# and the index's size per chart, with and without the text it holds
# (names, paths and values), and the peak RSS of both scans.
#
# usage: bench/run_index_bench.sh [--charts N] [--small] [--cold] [--build DIR]
#                                 [--lib DIR] [--runs N] [--warmup N] [--out DIR]
#
#   --charts N   charts in the library (default 20000)
#   --small      a library of many small charts (1-8 KB, nothing else), as
#                run_scan_bench.sh --small makes it
#   --cold       before each timed run, write back and drop every cache of
#                the system (sync; echo 3 > /proc/sys/vm/drop_caches: the
#                folders' and files' metadata too, which a rescan lives on);
#                needs root
#   --build DIR  build tree holding cli/tamboro-scan and bench/tamboro-*
#                (default: build/ at the top of the repository)
#   --lib DIR    where the library lives (default ${TMPDIR:-/tmp}/tamboro-benchlib-N,
#                or tamboro-benchlib-small-N with --small, shared with
#                run_scan_bench.sh); generated once, reused while
#                its stamp file matches
#   --runs N     timed runs per command (default 7, 3 with --cold), --warmup N
#                (default 1, 0 with --cold)
#   --out DIR    where outputs, the indexes and hyperfine's JSON/CSV go
#                (default: a new temp folder)
#
# Every command is first run once and checked: the indexed scans print the
# bytes of the plain scan, both floors see every chart.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")

charts=20000
build="$repo/build"
lib=""
runs=""
warmup=""
out=""
cold=0
small=0
seed=1

die() {
    echo "run_index_bench: $*" >&2
    exit 1
}
usage() {
    sed -n '/^# usage:/,/^# Every command/p' "${BASH_SOURCE[0]}" | sed '$d; s/^# \{0,1\}//'
}
want_value() {
    [[ $# -ge 2 && -n $2 ]] || die "$1 needs a value (see --help)"
}
while [[ $# -gt 0 ]]; do
    case "$1" in
        --charts) want_value "$@"; charts=$2; shift 2 ;;
        --build) want_value "$@"; build=$2; shift 2 ;;
        --lib) want_value "$@"; lib=$2; shift 2 ;;
        --runs) want_value "$@"; runs=$2; shift 2 ;;
        --warmup) want_value "$@"; warmup=$2; shift 2 ;;
        --out) want_value "$@"; out=$2; shift 2 ;;
        --small) small=1; shift ;;
        --cold) cold=1; shift ;;
        -h | --help) usage; exit 0 ;;
        *) die "unknown argument '$1' (see --help)" ;;
    esac
done
runs=${runs:-$( ((cold)) && echo 3 || echo 7)}
warmup=${warmup:-$( ((cold)) && echo 0 || echo 1)}
[[ $charts =~ ^[1-9][0-9]*$ ]] || die "--charts wants a positive number, not '$charts'"
[[ $runs =~ ^[1-9][0-9]*$ && $runs -ge 2 ]] || die "--runs wants a number of at least 2, not '$runs'"
[[ $warmup =~ ^[0-9]+$ ]] || die "--warmup wants a number, not '$warmup'"
((!cold || EUID == 0)) || die "--cold drops the system's caches, which needs root"
shape=""
((small)) && shape="small-"
lib=${lib:-${TMPDIR:-/tmp}/tamboro-benchlib-$shape$charts}
lib=${lib%/}

scan="$build/cli/tamboro-scan"
gen="$build/bench/tamboro-gen-library"
walk="$build/bench/tamboro-walk-stat"
known="$build/bench/tamboro-stat-known"
for tool in "$scan" "$gen" "$walk" "$known"; do
    [[ -x $tool ]] || die "$(basename "$tool") not found at $tool; build it first:
    cmake --build $build -j2 --target tamboro-scan tamboro-gen-library tamboro-walk-stat tamboro-stat-known"
done
for command in hyperfine sqlite3 /usr/bin/time; do
    command -v "$command" > /dev/null || die "$command is missing (Debian: hyperfine, sqlite3, time)"
done

# --- library (as run_scan_bench.sh makes it) ------------------------------------
stamp="$lib/.tamboro-benchlib"
want_stamp="$("$gen" --version) charts=$charts seed=$seed"
gen_shape=()
if ((small)); then
    want_stamp+=" shape=small"
    gen_shape=(--small)
fi
if [[ -f $stamp && "$(head -n 1 "$stamp")" == "$want_stamp" ]]; then
    echo "library: reusing $lib"
else
    [[ ! -e $lib ]] || die "$lib exists but was not made for '$want_stamp'; remove it or pass another --lib"
    echo "library: generating $charts charts into $lib"
    "$gen" --seed "$seed" --charts "$charts" "${gen_shape[@]}" "$lib.partial" > "$lib.summary"
    { echo "$want_stamp"; cat "$lib.summary"; } > "$lib.partial/.tamboro-benchlib"
    rm -f -- "$lib.summary"
    mv -- "$lib.partial" "$lib"
fi

out=${out:-$(mktemp -d "${TMPDIR:-/tmp}/tamboro-index-bench.XXXXXX")}
mkdir -p -- "$out"
index="$out/index.db"
first="$out/first.db"

# --- commands --------------------------------------------------------------------
q() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }
root=$(q "$lib")
cmd_rescan="$(q "$scan") --raw --index-file $(q "$index") $root > $(q "$out/rescan.out")"
cmd_rescan1="$(q "$scan") --raw --jobs 1 --index-file $(q "$index") $root > $(q "$out/rescan1.out")"
cmd_walk="$(q "$walk") $root > /dev/null"
known_threads=$(nproc)
((cold)) && known_threads=16
cmd_known="$(q "$known") --threads $known_threads $(q "$out/charts.list") > /dev/null"
cmd_first="$(q "$scan") --raw --index-file $(q "$first") $root > $(q "$out/first.out")"
cmd_plain="$(q "$scan") --raw $root > $(q "$out/plain.out")"
drop="true"
((cold)) && drop="sync && echo 3 > /proc/sys/vm/drop_caches"
remove_first="rm -f $(q "$first") $(q "$first-wal") $(q "$first-shm")"

# --- check every command once (this also writes the index the rescans use) ------
echo "checking outputs"
rm -f -- "$index" "$index-wal" "$index-shm"
sh -c "$cmd_plain" || die "the plain scan failed"
sh -c "$cmd_rescan" || die "the first scan into $index failed"
sh -c "$cmd_rescan" && cmp -s "$out/plain.out" "$out/rescan.out" || die "CHECK FAILED: the rescan's rows differ"
sh -c "$cmd_rescan1" && cmp -s "$out/plain.out" "$out/rescan1.out" || die "CHECK FAILED: the --jobs 1 rescan's rows differ"
sh -c "$remove_first && $cmd_first" && cmp -s "$out/plain.out" "$out/first.out" ||
    die "CHECK FAILED: the first indexed scan's rows differ"
walk_seen=$("$walk" "$lib")
walked=${walk_seen%% *}
[[ $walked == "$charts" ]] || die "CHECK FAILED: tamboro-walk-stat saw $walked charts, not $charts"
"$walk" --list "$lib" > "$out/charts.list" || die "tamboro-walk-stat --list failed"
[[ "$("$known" "$out/charts.list")" == "$walk_seen" ]] ||
    die "CHECK FAILED: tamboro-stat-known did not see the charts tamboro-walk-stat saw"
echo "  $(wc -l < "$out/plain.out") rows, the same bytes from every scan; both floors saw $walked charts"

# --- one timed run -----------------------------------------------------------------
load=$(cut -d ' ' -f 1-3 /proc/loadavg)
hyperfine --warmup "$warmup" --runs "$runs" --export-json "$out/hyperfine.json" --export-csv "$out/hyperfine.csv" \
    --prepare "$drop" -n rescan "$cmd_rescan" \
    --prepare "$drop" -n rescan-jobs-1 "$cmd_rescan1" \
    --prepare "$drop" -n walk-stat-floor "$cmd_walk" \
    --prepare "$drop" -n stat-known-floor "$cmd_known" \
    --prepare "$remove_first && $drop" -n first-indexed "$cmd_first" \
    --prepare "$drop" -n plain-scan "$cmd_plain"

# --- size and memory ---------------------------------------------------------------
peak() { # peak RSS in kB of a command run once
    sh -c "$1" && /usr/bin/time -v sh -c "exec $2" 2>&1 > /dev/null | awk -F': ' '/Maximum resident/ { print $2 }'
}
rescan_kb=$(peak "$drop" "$cmd_rescan")
first_kb=$(peak "$remove_first && $drop" "$cmd_first")
plain_kb=$(peak "$drop" "$cmd_plain")
index_bytes=$(stat -c %s "$index")
# The folders' paths and listings are text; the charts' names and values sit
# in one blob a folder with their stamps, so they stay in the figure
# "without the text", which is therefore an upper bound.
text_bytes=$(sqlite3 "$index" "SELECT total(length(path) + length(listing)) FROM folder")
text_bytes=${text_bytes%.*}
kept=$charts

# --- summary -------------------------------------------------------------------------
{
    echo
    echo "Index benchmark ($( ((cold)) && echo "cold: sync; echo 3 > drop_caches before each run" || echo warm)):" \
        "$charts $( ((small)) && echo "small ")charts, $lib"
    echo "machine: $(nproc) cores, $(uname -sr), load average before the run: $load"
    echo "hyperfine $(hyperfine --version | cut -d ' ' -f 2): --warmup $warmup --runs $runs; results in $out"
    awk -F, '
        NR == 1 { next }
        { name[NR] = $1; median[NR] = $4; mean[NR] = $2; sd[NR] = $3; cpu[NR] = $5 + $6; m[$1] = $4 }
        END {
            printf "%-16s %9s %18s %8s\n", "command", "median s", "mean +- sd s", "cpu s"
            for (i = 2; i <= NR; i++)
                printf "%-16s %9.3f %11.3f +- %.3f %8.3f\n", name[i], median[i], mean[i], sd[i], cpu[i]
            printf "rescan / walk-stat floor:        %.2f (target <= 0.5)\n", m["rescan"] / m["walk-stat-floor"]
            printf "rescan --jobs 1 / walk-stat:     %.2f\n", m["rescan-jobs-1"] / m["walk-stat-floor"]
            printf "rescan / stat-known floor:       %.2f (stat-known / walk-stat: %.2f)\n", m["rescan"] / m["stat-known-floor"], m["stat-known-floor"] / m["walk-stat-floor"]
            printf "first indexed / plain scan:      %.2f (target <= 1.15)\n", m["first-indexed"] / m["plain-scan"]
            print "(ratios of medians; cpu s: mean user + system time)"
        }' "$out/hyperfine.csv"
    awk -v file="$index_bytes" -v text="$text_bytes" -v n="$kept" 'BEGIN {
        printf "index: %d bytes for %d charts: %.0f bytes a chart; at most %.0f without the text (less the folders\x27 paths and listings, %d bytes; chart names and values left in) (target <= 400)\n",
               file, n, file / n, (file - text) / n, text }'
    echo "peak RSS (/usr/bin/time -v): rescan $rescan_kb kB, first indexed scan $first_kb kB, plain scan $plain_kb kB"
} | tee "$out/summary.txt"
