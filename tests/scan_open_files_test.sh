#!/usr/bin/env bash
# tamboro-scan with few open files, with thread starts that fail, with
# large values and a deep chain of long names: every --jobs prints the rows
# of --jobs 1 with status 0, or fails with one line on standard error and
# status 1, never status 0 with other rows; what is read ahead stays within
# its bounds.
#
#   scan_open_files_test.sh TAMBORO_SCAN HOSTILE_TOOL FAILING_THREAD_START_LIB
set -uo pipefail
scan=${1:?usage: scan_open_files_test.sh TAMBORO_SCAN HOSTILE_TOOL FAILING_THREAD_START_LIB}
tool=${2:?}
shim=${3:?}
work=$(mktemp -d "${TMPDIR:-/tmp}/tamboro-open-files.XXXXXX")
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# A sanitizer's runtime must come before any other preloaded library.
runtime=$(ldd "$scan" | awk '/lib[at]san/ { print $3 }')
preload="${runtime:+$runtime }$shim"

# limited N COMMAND...: COMMAND with at most N open files.
limited() {
  local n=$1
  shift
  bash -c 'ulimit -n "$0" && exec "$@"' "$n" "$@"
}

# expect_same LABEL WANT COMMAND...: status 0 and the lines of WANT.
expect_same() {
  local label=$1 want=$2
  shift 2
  "$@" >"$work/out" 2>"$work/err"
  local rc=$?
  [ $rc -eq 0 ] || fail "$label: status $rc: $(head -c 300 "$work/err")"
  cmp -s "$work/out" "$want" || fail "$label: $(wc -l <"$work/out") rows, not the $(wc -l <"$want") of --jobs 1"
}

# expect_out_of_files LABEL COMMAND...: status 1 and one line saying why.
expect_out_of_files() {
  local label=$1
  shift
  "$@" >"$work/out" 2>"$work/err"
  local rc=$?
  [ $rc -eq 1 ] || fail "$label: status $rc, wanted 1"
  [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q "out of open files" "$work/err" ||
    fail "$label: standard error: $(head -c 300 "$work/err")"
}

# 600 folders of two charts: the read-ahead once held a descriptor for each
# folder whose charts waited.
wide=$work/wide
mkdir "$wide"
"$tool" folders "$wide" 600 2 8 || exit 1
"$scan" --jobs 1 "$wide" >"$work/wide.want" || fail "wide tree: --jobs 1 failed"
[ "$(wc -l <"$work/wide.want")" -eq 1200 ] || fail "wide tree: --jobs 1 gave $(wc -l <"$work/wide.want") rows"
for jobs in 1 2 8 64 1024 default; do
  args=(--jobs "$jobs")
  [ "$jobs" = default ] && args=()
  expect_same "ulimit -n 64, --jobs $jobs" "$work/wide.want" limited 64 "$scan" "${args[@]}" "$wide"
done

# Thread starts that fail: the second reader's (one reader and the walk's
# thread start), the first reader's (no reader, the walk's thread starts),
# every one.
for range in 2-2 1-1 1-1000; do
  expect_same "ulimit -n 64, --jobs 8, thread starts $range failing" "$work/wide.want" \
    env LD_PRELOAD="$preload" FAIL_THREAD_START="$range" bash -c 'ulimit -n 64 && exec "$@"' _ "$scan" --jobs 8 "$wide"
done

# A tree deeper than the open files allow: no job count passes over the
# folders below, each says so.
deep=$work/deep
mkdir "$deep"
"$tool" deep "$deep" 200 level 10 || exit 1
for jobs in 1 8 default; do
  args=(--jobs "$jobs")
  [ "$jobs" = default ] && args=()
  expect_out_of_files "200 levels, ulimit -n 64, --jobs $jobs" limited 64 "$scan" "${args[@]}" "$deep"
done

# Values of 64 KiB: the values read ahead stay within 8 MB however many
# readers there are. Peak memory comes from /usr/bin/time; sanitizers
# change it beyond comparison.
if [ -x /usr/bin/time ] && [ -z "$runtime" ]; then
  large=$work/large
  mkdir "$large"
  "$tool" folders "$large" 40 8 65536 || exit 1
  "$scan" --jobs 1 "$large" >"$work/large.want"
  peak() { /usr/bin/time -f %M -o "$work/time" "$@" >"$work/out" && cat "$work/time"; }
  one=$(peak "$scan" --jobs 1 "$large")
  for jobs in 64 1024; do
    many=$(peak "$scan" --jobs "$jobs" "$large")
    cmp -s "$work/out" "$work/large.want" || fail "64 KiB values, --jobs $jobs: rows differ from --jobs 1"
    [ "$many" -le $((one + 32 * 1024)) ] || fail "64 KiB values, --jobs $jobs: peak $many KB, --jobs 1 $one KB"
  done
  # A chain of 2,000 folders with names of 255 bytes: what the read-ahead
  # holds of the walk costs the bytes of the names, not of the paths.
  chain=$work/chain
  mkdir "$chain"
  "$tool" deep "$chain" 2000 "$(printf 'n%.0s' {1..255})" 100 || exit 1
  "$scan" --jobs 1 "$chain" >"$work/chain.want"
  one=$(peak "$scan" --jobs 1 "$chain")
  many=$(peak "$scan" --jobs 8 "$chain")
  cmp -s "$work/out" "$work/chain.want" || fail "deep chain, --jobs 8: rows differ from --jobs 1"
  [ "$many" -le $((one + 16 * 1024)) ] || fail "deep chain, --jobs 8: peak $many KB, --jobs 1 $one KB"
fi

[ $failures -eq 0 ] && echo "all passed"
exit $((failures > 0))
