#!/usr/bin/env bash
# Checks the scan benchmark's tools: the library generator (exact chart
# count, determinism, the quirks it promises, its own totals), the read-only
# floor (walk order rules, links, name matching, byte counts), the page cache
# dropper, and the benchmark script's refusals and, where hyperfine and rg
# are installed, small end-to-end runs, warm and cold.
#
# usage: scan_bench_tools_test.sh GEN WALK BUILD_DIR DROP
set -uo pipefail

gen=$(realpath "$1")
walk=$(realpath "$2")
build=$3
drop=$(realpath "$4")
script="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/run_scan_bench.sh"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/tamboro-bench-test.XXXXXX")
trap 'rm -rf -- "$tmp"' EXIT
export LC_ALL=C

passed=0
failed=0
check() { # check DESCRIPTION ACTUAL EXPECTED
    if [[ "$2" == "$3" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $1: got '$2', expected '$3'"
        return 1
    fi
}
check_true() { # check_true DESCRIPTION COMMAND...
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAIL: $what"
        return 1
    fi
}
summary_value() { awk -F': ' -v k="$2" '$1 == k { print $2 }' "$1"; }
charts_in() { find "$1" -type f -iname '*.bms' | wc -l; }
# Content and names of a whole tree, for comparing two trees.
tree_digest() { (cd "$1" && find . -print0 | sort -z | xargs -0 -n 200 sha1sum 2> /dev/null; find . -type d | sort) | sha1sum; }

# --- generator: counts, totals, determinism -----------------------------------
"$gen" --seed 5 --charts 600 "$tmp/a" > "$tmp/a.txt" 2> /dev/null
lib=$tmp/a
check "charts on disk" "$(charts_in "$lib")" 600
check "charts reported" "$(summary_value "$tmp/a.txt" charts)" 600
check "chart bytes reported" "$(summary_value "$tmp/a.txt" "chart bytes")" \
    "$(find "$lib" -type f -iname '*.bms' -printf '%s\n' | awk '{ s += $1 } END { print s }')"
check "files reported" "$(summary_value "$tmp/a.txt" files)" "$(find "$lib" -type f | wc -l)"
check "bytes reported" "$(summary_value "$tmp/a.txt" bytes)" \
    "$(find "$lib" -type f -printf '%s\n' | awk '{ s += $1 } END { print s }')"
check "folders reported (root not counted)" "$(summary_value "$tmp/a.txt" folders)" "$(($(find "$lib" -type d | wc -l) - 1))"
"$gen" --seed 5 --charts 120 "$tmp/same1" > "$tmp/same1.txt" 2> /dev/null
"$gen" --seed 5 --charts 120 "$tmp/same2" > "$tmp/same2.txt" 2> /dev/null
"$gen" --seed 6 --charts 120 "$tmp/other" > /dev/null 2>&1
check "same seed, same tree" "$(tree_digest "$tmp/same1")" "$(tree_digest "$tmp/same2")"
check "same seed, same totals" "$(cat "$tmp/same1.txt")" "$(cat "$tmp/same2.txt")"
check_true "another seed, another tree" test "$(tree_digest "$tmp/same1")" != "$(tree_digest "$tmp/other")"
rm -rf -- "$tmp/same1" "$tmp/same2" "$tmp/other"
for n in 1 2 9 41; do
    "$gen" --seed 3 --charts $n "$tmp/n$n" > /dev/null 2>&1
    check "exactly $n charts" "$(charts_in "$tmp/n$n")" $n
done

# --- generator: what the charts look like --------------------------------------
find "$lib" -type f -iname '*.bms' -print0 > "$tmp/charts.lst"
check "no NUL byte in any chart" "$(xargs -0 cat < "$tmp/charts.lst" | tr -cd '\000' | wc -c)" 0
grep_lines=$(grep -r -i -E -h --include='*.[bB][mM][sS]' '^#(genre|title|artist) ' "$lib" | wc -l)
check "header lines reported = grep's count" "$(summary_value "$tmp/a.txt" "header lines")" "$grep_lines"
if command -v rg > /dev/null; then
    check "header lines: rg agrees with grep" \
        "$(rg -j2 -uu -i -g '*.[bB][mM][sS]' --no-heading -N '^#(genre|title|artist) ' "$lib" | wc -l)" "$grep_lines"
fi
sizes=$(xargs -0 stat -c %s < "$tmp/charts.lst" | sort -n)
check_true "charts are 20 KB or more" test "$(head -n 1 <<< "$sizes")" -ge 20480
check_true "charts are about 400 KB at most" test "$(tail -n 1 <<< "$sizes")" -le $((400 * 1024 + 4096))
mean_kb=$(awk '{ s += $1 } END { print int(s / NR / 1024) }' <<< "$sizes")
check_true "mean chart size $mean_kb KB is within 55-110 KB" test "$mean_kb" -ge 55 -a "$mean_kb" -le 110
check_true "some charts named *.BMS" test "$(find "$lib" -name '*.BMS' | wc -l)" -gt 0
check_true "other chart formats beside them" test "$(find "$lib" -type f \( -name '*.bme' -o -name '*.bml' -o -name '*.pms' \) | wc -l)" -gt 0
check_true "key sounds and images" test "$(find "$lib" -type f \( -name '*.wav' -o -name '*.ogg' \) | wc -l)" -gt 1000 \
    -a "$(find "$lib" -type f \( -name '*.bmp' -o -name '*.png' \) | wc -l)" -gt 100
check_true "some charts with LF line ends only" test "$(xargs -0 grep -L $'\r' < "$tmp/charts.lst" | wc -l)" -gt 0
check_true "most charts with CR LF" test "$(xargs -0 grep -l $'\r' < "$tmp/charts.lst" | wc -l)" -gt 450
check_true "some charts end in Ctrl-Z and junk" test "$(xargs -0 grep -l $'\x1a' < "$tmp/charts.lst" | wc -l)" -gt 0
check_true "some lower-case tags" test "$(xargs -0 grep -l '^#title ' < "$tmp/charts.lst" | wc -l)" -gt 0
check_true "some repeated titles" test "$(xargs -0 grep -H -c -i '^#title ' < "$tmp/charts.lst" | grep -c -v ':1$')" -gt 0
# Text kinds, told apart by byte shape: UTF-8 proper; all high bytes paired
# as A1-FE A1-FE (EUC-KR); else Shift-JIS, whose lead bytes 81-9F fit neither.
utf8='^(?:[\x00-\x7f]|[\xc2-\xdf][\x80-\xbf]|[\xe0-\xef][\x80-\xbf]{2}|[\xf0-\xf4][\x80-\xbf]{3})*$'
euckr='^(?:[\x00-\x7f]|[\xa1-\xfe][\xa1-\xfe])*$'
kinds() { # kinds FILE: counts of lines that are UTF-8 beyond ASCII, EUC-KR, Shift-JIS, ASCII
    local high
    high=$(grep -a -P '[\x80-\xff]' "$1")
    echo "$(grep -a -c -P "$utf8" <<< "$high") $(grep -a -v -P "$utf8" <<< "$high" | grep -a -c -P "$euckr")" \
        "$(grep -a -v -P "$utf8" <<< "$high" | grep -a -v -c -P "$euckr")" "$(grep -a -c -v -P '[\x80-\xff]' "$1")"
}
xargs -0 grep -a -h -i '^#title ' < "$tmp/charts.lst" | tr -d '\r' | sort -u > "$tmp/titles.txt"
read -r utf8_titles korean_titles sjis_titles ascii_titles <<< "$(kinds "$tmp/titles.txt")"
check_true "titles in Shift-JIS ($sjis_titles), UTF-8 ($utf8_titles), EUC-KR ($korean_titles), ASCII ($ascii_titles)" \
    test "$sjis_titles" -gt "$utf8_titles" -a "$utf8_titles" -gt 0 -a "$korean_titles" -gt 0 -a "$ascii_titles" -gt 0
check_true "a Shift-JIS title with a 0x5C second byte (ソ)" grep -a -q -F "$(printf '\203\134')" "$tmp/titles.txt"
find "$lib" -mindepth 1 -printf '%f\n' | sort -u > "$tmp/names.txt"
read -r utf8_names korean_names sjis_names ascii_names <<< "$(kinds "$tmp/names.txt")"
check_true "names in Shift-JIS ($sjis_names), UTF-8 ($utf8_names), ASCII ($ascii_names)" \
    test "$sjis_names" -gt 0 -a "$utf8_names" -gt 0 -a "$ascii_names" -gt 0

# --- generator: the layout of a library -----------------------------------------
check "20 category folders for a small library" "$(find "$lib" -mindepth 1 -maxdepth 1 -type d | wc -l)" 20
check "no folder holds more than 8 charts" \
    "$(find "$lib" -type f -iname '*.bms' -printf '%h\n' | sort | uniq -c | awk '$1 > 8' | wc -l)" 0
sound_sizes=$(find "$lib" -type f \( -name '*.wav' -o -name '*.ogg' \) -printf '%s\n' | sort -n)
check_true "key sounds are 300 B to 4 KB" test "$(head -n 1 <<< "$sound_sizes")" -ge 300 -a "$(tail -n 1 <<< "$sound_sizes")" -le 4096
check "every .wav is a RIFF file" \
    "$(find "$lib" -type f -name '*.wav' -print0 | xargs -0 head -q -c 4 | fold -w 4 | sort -u)" RIFF
# Every key sound and image a chart names lies where the chart says.
missing=0
named=0
while IFS= read -r file; do
    named=$((named + 1))
    [[ -f $file ]] || missing=$((missing + 1))
done < <(xargs -0 awk '/^#[Ww][Aa][Vv][0-9A-Z][0-9A-Z] |^#[Bb][Mm][Pp][0-9A-Z][0-9A-Z] / {
                          dir = FILENAME; sub(/\/[^\/]*$/, "", dir); name = substr($0, 8); sub(/\r$/, "", name)
                          print dir "/" name }' < "$tmp/charts.lst")
check_true "charts name key sounds and images ($named)" test "$named" -gt 10000
check "every named key sound and image exists" "$missing" 0

# --- generator: refusals -------------------------------------------------------
mkdir "$tmp/full" && echo keep > "$tmp/full/keep.txt"
"$gen" --charts 3 "$tmp/full" > /dev/null 2>&1
check "refuses a non-empty OUTDIR" $? 1
check "leaves it alone" "$(ls "$tmp/full")" keep.txt
"$gen" --charts 0 "$tmp/zero" > /dev/null 2>&1
check "refuses --charts 0" $? 2
"$gen" --charts 12x "$tmp/bad" > /dev/null 2>&1
check "refuses a malformed count" $? 2
"$gen" > /dev/null 2>&1
check "needs OUTDIR" $? 2

# --- floor: the walk -------------------------------------------------------------
check "walk-read on the library" "$("$walk" "$lib")" \
    "600 files, $(summary_value "$tmp/a.txt" "chart bytes") bytes"
t=$tmp/tree
mkdir -p "$t/S/T" "$t/dir.bms"
printf abc > "$t/a.bms"
printf 12345 > "$t/S/b.BMS"
: > "$t/S/T/c.Bms"
printf xx > "$t/dir.bms/d.bms"
printf 'not read' > "$t/S/x.bme"
printf 'not read' > "$t/S/y.bmsx"
printf 'not read' > "$t/S/z.bms.bak"
printf 'not read' > "$t/bms"
ln -s S "$t/link"              # folder link: walked again
ln -s S/b.BMS "$t/filelink.bms" # file link with a chart name: read
ln -s missing "$t/dangling.bms" # counted, cannot be opened
# a.bms 3, S/b.BMS 5, S/T/c.Bms 0, link/b.BMS 5, link/T/c.Bms 0, dir.bms (a folder) 0,
# dir.bms/d.bms 2, filelink.bms 5, dangling.bms 0
check "walk-read: links, case, folder named *.bms" "$("$walk" "$t")" "9 files, 20 bytes"
check "walk-read: root with a trailing slash" "$("$walk" "$t/")" "9 files, 20 bytes"
# Files larger than the 256 KB buffer are read to their end.
mkdir "$tmp/big"
head -c $((1024 * 1024 + 7)) /dev/zero > "$tmp/big/a.bms"
head -c $((256 * 1024)) /dev/zero > "$tmp/big/b.bms"
head -c $((256 * 1024 + 1)) /dev/zero > "$tmp/big/c.bms"
check "walk-read: files beyond the buffer size" "$("$walk" "$tmp/big")" "3 files, $((1024 * 1024 + 7 + 512 * 1024 + 1)) bytes"
# A deep chain of folders, a chart at every level.
deep=$tmp/deep
for i in $(seq 1 60); do
    mkdir "$deep" && printf x > "$deep/c.bms"
    deep=$deep/d
done
check "walk-read: 60 levels deep" "$("$walk" "$tmp/deep")" "60 files, 60 bytes"
# The index benchmark's floors: the walk's list of charts, looked at again.
walkstat=$build/bench/tamboro-walk-stat
known=$build/bench/tamboro-stat-known
if [[ -x $walkstat && -x $known ]]; then
    "$walkstat" --list "$t" > "$tmp/t.list"
    check "walk-stat --list: a line a chart" "$(wc -l < "$tmp/t.list")" 9
    check "stat-known: what walk-stat saw" "$("$known" --threads 3 "$tmp/t.list")" "$("$walkstat" "$t")"
    "$walkstat" --list "$tmp/a" > "$tmp/a.list"
    check "walk-stat --list: the library's charts" "$(sort "$tmp/a.list")" \
        "$(find "$tmp/a" -type f -iname '*.bms' | sort)"
    check "stat-known on the library" "$("$known" "$tmp/a.list")" \
        "600 files, $(summary_value "$tmp/a.txt" "chart bytes") bytes"
fi
"$walk" "$tmp/none" > /dev/null 2>&1
check "walk-read: missing root fails" $? 1
"$walk" > /dev/null 2>&1
check "walk-read: needs ROOT" $? 2

# --- the page cache dropper ------------------------------------------------------
check "drop-cache: every chart, links and other names not" "$("$drop" "$t")" "4 charts dropped"
"$drop" "$tmp/none" > /dev/null 2>&1
check "drop-cache: missing root fails" $? 1
"$drop" > /dev/null 2>&1
check "drop-cache: needs ROOT" $? 2

# --- the small shape ---------------------------------------------------------------
"$gen" --seed 4 --charts 200 --small "$tmp/small" > "$tmp/small.txt" 2> /dev/null
check "small: exactly the charts asked for" "$(charts_in "$tmp/small")" 200
check "small: nothing but charts" "$(find "$tmp/small" -type f | wc -l)" 200
small_sizes=$(find "$tmp/small" -type f -printf '%s\n' | sort -n)
check_true "small: charts are 1 KB to about 8 KB" test "$(head -n 1 <<< "$small_sizes")" -ge 1024 \
    -a "$(tail -n 1 <<< "$small_sizes")" -le $((8 * 1024 + 512))
check "small: header lines reported = grep's count" "$(summary_value "$tmp/small.txt" "header lines")" \
    "$(grep -r -i -E -h '^#(genre|title|artist) ' "$tmp/small" | wc -l)"
rm -rf -- "$tmp/small"

# --- the benchmark script --------------------------------------------------------
fake=$tmp/build
mkdir -p "$fake/bench"
ln -s "$gen" "$fake/bench/tamboro-gen-library"
ln -s "$walk" "$fake/bench/tamboro-walk-read"
ln -s "$drop" "$fake/bench/tamboro-drop-cache"
msg=$("$script" --build "$tmp/nowhere" --lib "$tmp/lib0" 2>&1)
check "script: fails without the tools" $? 1
"$script" --charts 0 > /dev/null 2>&1
check "script: refuses --charts 0" $? 1
"$script" --frobnicate > /dev/null 2>&1
check "script: refuses an unknown option" $? 1
check_true "script: --help shows the usage" grep -q -- '--floors-only' <<< "$("$script" --help)"

check_true "script: names the missing tool" grep -q 'tamboro-gen-library not found' <<< "$msg"
msg=$("$script" --build "$fake" --charts 5 --lib "$tmp/lib1" 2>&1)
check "script: fails without tamboro-scan" $? 1
check_true "script: says tamboro-scan is missing" grep -q 'tamboro-scan not found' <<< "$msg"
check_true "script: generated nothing before failing" test ! -e "$tmp/lib1"

# Past this point the script would install hyperfine and rg if they were missing.
if command -v hyperfine > /dev/null && command -v rg > /dev/null; then
    msg=$("$script" --build "$fake" --charts 5 --lib "$tmp/full" --floors-only 2>&1)
    check "script: will not take over a foreign folder" $? 1
    check "script: leaves the foreign folder alone" "$(ls "$tmp/full")" keep.txt

    # A scanner that loses charts, or fails, stops the run before any timing.
    mkdir -p "$tmp/badscan/cli" "$tmp/badscan/bench"
    ln -s "$gen" "$tmp/badscan/bench/tamboro-gen-library"
    ln -s "$walk" "$tmp/badscan/bench/tamboro-walk-read"
    ln -s "$drop" "$tmp/badscan/bench/tamboro-drop-cache"
    printf '#!/bin/sh\necho "one line"\n' > "$tmp/badscan/cli/tamboro-scan"
    chmod +x "$tmp/badscan/cli/tamboro-scan"
    msg=$("$script" --build "$tmp/badscan" --charts 4 --lib "$tmp/lib3" --runs 2 --out "$tmp/out0" 2>&1)
    check "script: a scanner printing too few lines fails the check" $? 1
    check_true "script: says which check failed" grep -q 'CHECK FAILED: tamboro-scan printed 1 lines, expected one per chart (4)' <<< "$msg"
    check_true "script: nothing timed after a failed check" test ! -e "$tmp/out0/hyperfine.csv"
    printf '#!/bin/sh\nexit 3\n' > "$tmp/badscan/cli/tamboro-scan"
    msg=$("$script" --build "$tmp/badscan" --charts 4 --lib "$tmp/lib3" --runs 2 --out "$tmp/out0" 2>&1)
    check "script: a failing scanner fails the run" $? 1
    check_true "script: reports the scanner's exit code" grep -q 'tamboro-scan failed (exit 3)' <<< "$msg"

    mode=(--floors-only)
    if [[ -x $build/cli/tamboro-scan ]]; then
        mkdir -p "$fake/cli"
        ln -s "$build/cli/tamboro-scan" "$fake/cli/tamboro-scan"
        command -v /usr/bin/time > /dev/null && mode=()
    fi
    args=(--build "$fake" --charts 30 --lib "$tmp/lib2" --runs 2 --warmup 0 "${mode[@]}")
    "$script" "${args[@]}" --out "$tmp/out1" > "$tmp/run1.txt" 2>&1
    check "script: small run ${mode[*]} succeeds" $? 0 || cat "$tmp/run1.txt"
    check "script: library stamped" "$(sed -n 's/^charts: //p' "$tmp/lib2/.tamboro-benchlib")" 30
    check_true "script: medians printed" grep -q '^walk-read .*[0-9]' "$tmp/out1/summary.txt"
    check "script: one hyperfine row per command" "$(($(wc -l < "$tmp/out1/hyperfine.csv") - 1))" $((${#mode[@]} ? 5 : 7))
    "$script" "${args[@]}" --cold --out "$tmp/out4" > "$tmp/run4.txt" 2>&1
    check "script: cold run succeeds" $? 0 || cat "$tmp/run4.txt"
    check "script: cold run times the scan and the reading floors" \
        "$(($(wc -l < "$tmp/out4/hyperfine.csv") - 1))" $((${#mode[@]} ? 2 : 4))
    check_true "script: cold run reports its page cache check" grep -q 'page cache check: walk-read cold' "$tmp/out4/summary.txt"
    "$script" "${args[@]}" --out "$tmp/out2" > "$tmp/run2.txt" 2>&1
    check_true "script: second run reuses the library" grep -q 'reusing' "$tmp/run2.txt"
    "$script" --build "$fake" --charts 31 --lib "$tmp/lib2" --runs 2 --warmup 0 --floors-only --out "$tmp/out3" > "$tmp/run3.txt" 2>&1
    check "script: another size regenerates" "$(sed -n 's/^charts: //p' "$tmp/lib2/.tamboro-benchlib")" 31
else
    echo "hyperfine or rg not installed: end-to-end run of the script not tried"
fi

echo "$passed passed, $failed failed"
((failed == 0))
