#!/usr/bin/env bash
# Scan benchmark: times tamboro-scan (its default read-ahead and --jobs 1)
# on a synthetic BMS library against floors that read every chart and parse
# nothing (tamboro-walk-read, which walks the tree the way the scan does on
# one thread; find | xargs cat; and find | xargs -P 8 cat, eight readers at
# once) and two peers that pick out the same header lines (ripgrep and GNU
# grep).
#
# usage: bench/run_scan_bench.sh [--charts N] [--small] [--cold] [--build DIR] [--lib DIR]
#                                [--runs N] [--warmup N] [--out DIR] [--floors-only]
#
#   --charts N     charts in the library (default 20000)
#   --small        a library of many small charts (1-8 KB, nothing else)
#   --cold         drop every chart's pages from the page cache before each
#                  timed run (tamboro-drop-cache: posix_fadvise, no root
#                  needed) and time only the scan and the two reading floors
#   --build DIR    build tree holding cli/tamboro-scan and bench/tamboro-*
#                  (default: build/ at the top of the repository)
#   --lib DIR      where the library lives (default ${TMPDIR:-/tmp}/tamboro-benchlib-N,
#                  tamboro-benchlib-small-N with --small);
#                  generated once, reused while its stamp file matches
#   --runs N       timed runs per command (default 7), --warmup N (default 1)
#   --out DIR      where outputs and hyperfine's JSON/CSV go (default: a new temp folder)
#   --floors-only  time the floors and the peers without tamboro-scan
#
# Every command is first run once and its output checked: tamboro-scan must
# print one line per chart, the same bytes with --jobs 1, rg and grep the
# same number of header lines (the number the generator wrote), the floors
# must see every chart. A cold run first checks that dropping the pages
# took effect (the floor cold against warm). Then one hyperfine run times
# them all, and the medians and the ratios of tamboro-scan to each of the
# others come from that one run.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(dirname "$here")

charts=20000
build="$repo/build"
lib=""
runs=7
warmup=1
out=""
floors_only=0
small=0
cold=0
seed=1
# The scan lists no charts of a folder it enters once this many rows exist.
row_limit=65536

die() {
    echo "run_scan_bench: $*" >&2
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
        --floors-only) floors_only=1; shift ;;
        --small) small=1; shift ;;
        --cold) cold=1; shift ;;
        -h | --help) usage; exit 0 ;;
        *) die "unknown argument '$1' (see --help)" ;;
    esac
done
[[ $charts =~ ^[1-9][0-9]*$ ]] || die "--charts wants a positive number, not '$charts'"
[[ $runs =~ ^[1-9][0-9]*$ && $runs -ge 2 ]] || die "--runs wants a number of at least 2, not '$runs'"
[[ $warmup =~ ^[0-9]+$ ]] || die "--warmup wants a number, not '$warmup'"
shape=""
((small)) && shape="small-"
lib=${lib:-${TMPDIR:-/tmp}/tamboro-benchlib-$shape$charts}
lib=${lib%/}

scan="$build/cli/tamboro-scan"
gen="$build/bench/tamboro-gen-library"
walk="$build/bench/tamboro-walk-read"
drop="$build/bench/tamboro-drop-cache"
for tool in "$gen" "$walk" "$drop"; do
    [[ -x $tool ]] || die "$(basename "$tool") not found at $tool; build it first:
    cmake --build $build -j2 --target tamboro-gen-library tamboro-walk-read tamboro-drop-cache"
done
if ((!floors_only)) && [[ ! -x $scan ]]; then
    die "tamboro-scan not found at $scan; build it first:
    cmake --build $build -j2 --target tamboro-scan
(or pass --floors-only to time the floors and peers alone)"
fi

# --- tools -------------------------------------------------------------------
apt_updated=0
need() { # need COMMAND PACKAGE
    command -v "$1" > /dev/null 2>&1 && return 0
    echo "run_scan_bench: $1 is missing, installing the Debian package $2" >&2
    local sudo=()
    ((EUID == 0)) || sudo=(sudo)
    if ((!apt_updated)); then
        "${sudo[@]}" apt-get update -qq >&2 || true
        apt_updated=1
    fi
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "$2" >&2 || die "could not install $2"
    command -v "$1" > /dev/null 2>&1 || die "$2 is installed but $1 is still not found"
}
need hyperfine hyperfine
need rg ripgrep
((floors_only)) || need /usr/bin/time time

# --- library -----------------------------------------------------------------
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
    if [[ -e $lib || -L $lib ]]; then
        if [[ -f $stamp ]]; then
            echo "library: $lib was made for '$(head -n 1 "$stamp")', regenerating"
            rm -rf -- "$lib"
        elif [[ -d $lib && ! -L $lib && -z "$(ls -A -- "$lib")" ]]; then
            rmdir -- "$lib"
        else
            die "$lib exists but was not made by this script; remove it or pass another --lib"
        fi
    fi
    partial="$lib.partial"
    rm -rf -- "$partial" "$partial.summary"
    echo "library: generating $charts charts into $lib"
    start=$(date +%s.%N)
    "$gen" --seed "$seed" --charts "$charts" "${gen_shape[@]}" "$partial" > "$partial.summary"
    end=$(date +%s.%N)
    {
        echo "$want_stamp"
        cat "$partial.summary"
        echo "generation seconds: $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')"
    } > "$partial/.tamboro-benchlib"
    rm -f -- "$partial.summary"
    mv -- "$partial" "$lib"
fi
stamp_value() { awk -F': ' -v k="$1" '$1 == k { print $2 }' "$stamp"; }
chart_bytes=$(stamp_value "chart bytes")
header_lines=$(stamp_value "header lines")
sed -n '2,$p' "$stamp" | sed 's/^/  /'

out=${out:-$(mktemp -d "${TMPDIR:-/tmp}/tamboro-scan-bench.XXXXXX")}
mkdir -p -- "$out"

# --- commands ----------------------------------------------------------------
# hyperfine runs each command through sh -c: quote for a POSIX shell.
q() { printf "'%s'" "$(printf '%s' "$1" | sed "s/'/'\\\\''/g")"; }
root=$(q "$lib")
cmd_scan="$(q "$scan") --raw $root > $(q "$out/scan.out")"
cmd_scan1="$(q "$scan") --raw --jobs 1 $root > $(q "$out/scan1.out")"
cmd_walk="$(q "$walk") $root > /dev/null"
cmd_cat="find $root -type f -iname '*.bms' -print0 | xargs -0 cat > /dev/null"
cmd_cat8="find $root -type f -iname '*.bms' -print0 | xargs -0 -n 200 -P 8 cat > /dev/null"
cmd_rg="rg -j2 -uu -i -g '*.[bB][mM][sS]' --no-heading -N '^#(genre|title|artist) ' $root > $(q "$out/rg.out")"
# grep must write to a file: seeing /dev/null as its output it stops at the first match.
cmd_grep="LC_ALL=C grep -r -i -E --include='*.[bB][mM][sS]' '^#(genre|title|artist) ' $root > $(q "$out/grep.out")"

# --- warm the page cache and check every command once --------------------------
echo "warming the page cache"
find "$lib" > /dev/null
"$walk" "$lib" > /dev/null

fail_check() {
    echo "run_scan_bench: CHECK FAILED: $*" >&2
    exit 1
}
echo "checking outputs"
walk_files=$("$walk" "$lib" | awk '{ print $1 }')
[[ $walk_files == "$charts" ]] || fail_check "tamboro-walk-read read $walk_files charts, expected $charts"
echo "  tamboro-walk-read: $walk_files charts"
find_files=$(find "$lib" -type f -iname '*.bms' -print0 | tr -cd '\0' | wc -c)
[[ $find_files == "$charts" ]] || fail_check "find saw $find_files charts, expected $charts"
echo "  find | xargs cat: $find_files charts"
sh -c "$cmd_grep" || fail_check "grep failed (exit $?): $cmd_grep"
grep_lines=$(wc -l < "$out/grep.out")
expected=${header_lines:-$grep_lines}
[[ $grep_lines == "$expected" ]] || fail_check "grep found $grep_lines header lines, the generator wrote $expected"
echo "  grep: $grep_lines header lines"
sh -c "$cmd_rg" || fail_check "rg failed (exit $?): $cmd_rg"
rg_lines=$(wc -l < "$out/rg.out")
[[ $rg_lines == "$expected" ]] || fail_check "rg found $rg_lines header lines, expected $expected (as grep)"
echo "  rg: $rg_lines header lines"
if ((!floors_only)); then
    sh -c "$cmd_scan" || fail_check "tamboro-scan failed (exit $?): $cmd_scan"
    scan_lines=$(wc -l < "$out/scan.out")
    if ((charts <= row_limit)); then
        [[ $scan_lines == "$charts" ]] || fail_check "tamboro-scan printed $scan_lines lines, expected one per chart ($charts)"
    else
        # Past the row limit whole folders go unlisted, but a folder once
        # begun is listed to its end.
        ((scan_lines >= row_limit && scan_lines <= charts)) ||
            fail_check "tamboro-scan printed $scan_lines lines, expected $row_limit to $charts (row limit)"
    fi
    echo "  tamboro-scan: $scan_lines lines"
    sh -c "$cmd_scan1" || fail_check "tamboro-scan --jobs 1 failed (exit $?): $cmd_scan1"
    cmp -s "$out/scan.out" "$out/scan1.out" || fail_check "tamboro-scan and tamboro-scan --jobs 1 printed different rows"
    echo "  tamboro-scan --jobs 1: the same bytes"
fi

# --- cold runs: check that dropping the pages takes effect ----------------------
time_floor() { # seconds one walk-read run takes
    local start end
    start=$(date +%s.%N)
    "$walk" "$lib" > /dev/null
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", b - a }'
}
cold_note=""
if ((cold)); then
    "$drop" "$lib" > /dev/null  # writes back anything still dirty, once
    "$walk" "$lib" > /dev/null  # and reads it all back in
    warm_s=$(time_floor)
    "$drop" "$lib" > /dev/null
    cold_s=$(time_floor)
    cold_note="page cache check: walk-read cold $cold_s s, warm $warm_s s"
    echo "  $cold_note"
    if awk -v c="$cold_s" -v w="$warm_s" 'BEGIN { exit !(c < 1.2 * w) }'; then
        echo "run_scan_bench: WARNING: the cold floor is not clearly slower than the warm one;" \
            "the pages may not have been dropped (a tmpfs library, say)" >&2
        cold_note+=" (WARNING: no clear effect)"
    fi
fi

# --- one timed run of everything ----------------------------------------------
load=$(cut -d ' ' -f 1-3 /proc/loadavg)
hf=()
((floors_only)) || hf+=(-n tamboro-scan "$cmd_scan" -n scan-jobs-1 "$cmd_scan1")
hf+=(-n walk-read "$cmd_walk")
if ((cold)); then
    # Cold runs: the scan and the two floors that read, each after a drop.
    hf+=(-n cat-8-floor "$cmd_cat8")
    hf=(--prepare "$(q "$drop") $root > /dev/null" "${hf[@]}")
else
    hf+=(-n cat-floor "$cmd_cat" -n cat-8-floor "$cmd_cat8" -n rg "$cmd_rg" -n grep "$cmd_grep")
fi
hyperfine --warmup "$warmup" --runs "$runs" \
    --export-json "$out/hyperfine.json" --export-csv "$out/hyperfine.csv" "${hf[@]}"

peak_kb=""
peak1_kb=""
if ((!floors_only)); then
    ((cold)) && "$drop" "$lib" > /dev/null
    /usr/bin/time -v "$scan" --raw "$lib" > /dev/null 2> "$out/time-v.txt" || fail_check "tamboro-scan failed under /usr/bin/time"
    peak_kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$out/time-v.txt")
    ((cold)) && "$drop" "$lib" > /dev/null
    /usr/bin/time -v "$scan" --raw --jobs 1 "$lib" > /dev/null 2> "$out/time-v1.txt" ||
        fail_check "tamboro-scan --jobs 1 failed under /usr/bin/time"
    peak1_kb=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$out/time-v1.txt")
fi

# --- summary -----------------------------------------------------------------
{
    echo
    echo "Scan benchmark ($( ((cold)) && echo cold || echo warm) page cache): $charts $( ((small)) && echo small) charts," \
        "$((chart_bytes / 1000000)) MB of charts, $lib"
    echo "machine: $(nproc) cores, $(uname -sr), load average before the run: $load"
    echo "tools: $(rg --version | sed -n 1p); $(grep --version | sed -n 1p); $(hyperfine --version)"
    echo "hyperfine: --warmup $warmup --runs $runs; results in $out"
    [[ -z $cold_note ]] || echo "$cold_note"
    awk -F, -v bytes="$chart_bytes" '
        NR == 1 { next }
        {
            name[NR] = $1; mean[NR] = $2; sd[NR] = $3; median[NR] = $4; cpu[NR] = $5 + $6
            if ($1 == "tamboro-scan") scan = $4
        }
        END {
            printf "%-14s %9s %18s %8s %8s %12s\n", "command", "median s", "mean +- sd s", "cpu s", "MB/s", "scan / this"
            for (i = 2; i <= NR; i++) {
                ratio = (scan == "" ? "-" : (name[i] == "tamboro-scan" ? "1.00" : sprintf("%.2f", scan / median[i])))
                printf "%-14s %9.3f %11.3f +- %.3f %8.3f %8.0f %12s\n", name[i], median[i], mean[i], sd[i],
                       cpu[i], bytes / median[i] / 1e6, ratio
            }
            print "(cpu s: mean user + system time; MB/s: chart bytes / median; scan / this: ratio of medians)"
        }' "$out/hyperfine.csv"
    if [[ -n $peak_kb ]]; then
        echo "tamboro-scan peak RSS: $((peak_kb / 1024)) MB ($peak_kb kB), with --jobs 1 $((peak1_kb / 1024)) MB" \
            "($peak1_kb kB) (/usr/bin/time -v)"
    fi
} | tee "$out/summary.txt"
