#!/usr/bin/env bash
# Runs the libFuzzer programs and merges what they found into the kept corpus.
#
#   fuzz/run_fuzzers.sh [--check] BUILD_DIR [SECONDS] [TARGET...]
#
# BUILD_DIR is a fuzzer build (CC=clang CXX=clang++, -DTAMBORO_SANITIZE=fuzzer,
# target fuzzers); SECONDS (default 600) is the run time of each target; the
# targets run one after the other, niced, as single processes. Each run
# starts from fuzz/corpus/<target>/ (with fuzz/<target>.dict) and ends
# with a merge (-merge=1) that keeps only the inputs that add coverage, so
# that the kept corpus stays small: when that still leaves more than
# TAMBORO_FUZZ_KEEP files (default 400), it keeps the inputs that cover
# every edge (-use_counters=0) and the smallest of the others up to that
# number. --check leaves the kept corpus as it is (no merge): the tests run
# each target so for a few seconds. Crashing inputs go to
# BUILD_DIR/fuzz/findings/<target>/, the log to
# BUILD_DIR/fuzz/<target>.last.log. A summary line per target gives the
# executions and findings; the exit status is 1 when a target failed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
merge=1
if [ "${1:-}" = --check ]; then
  merge=0
  shift
fi
build=$(cd "${1:?usage: run_fuzzers.sh [--check] BUILD_DIR [SECONDS] [TARGET...]}" && pwd)
seconds=${2:-600}
keep=${TAMBORO_FUZZ_KEEP:-400}
shift $(( $# >= 2 ? 2 : 1 ))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(header_reader text_decoder table_parser bmson_reader)

# Keeps only what adds coverage: merges the old corpus and the new finds
# into an empty folder and puts that in the corpus's place.
merge_into_corpus() {
  mkdir -p "$work/merged"
  nice -n 10 "$program" -merge=1 -max_len=4096 "$work/merged" "$corpus" "$work/new" >"$work/merge.log" 2>&1
  if [ "$(ls "$work/merged" | wc -l)" -gt "$keep" ]; then
    mkdir -p "$work/edges"
    nice -n 10 "$program" -merge=1 -use_counters=0 -max_len=4096 "$work/edges" "$work/merged" \
      >>"$work/merge.log" 2>&1
    # Merged inputs are named by their content's hash: the same name is the same input.
    for input in $(ls -S -r "$work/merged"); do
      [ "$(ls "$work/edges" | wc -l)" -lt "$keep" ] || break
      cp -n "$work/merged/$input" "$work/edges/"
    done
    rm -rf "$work/merged"
    mv "$work/edges" "$work/merged"
  fi
  rm -rf "$corpus"
  mkdir -p "$corpus"
  cp "$work/merged"/. "$corpus" -r
}

status=0
for target in "${targets[@]}"; do
  program=$build/fuzz/fuzz_$target
  if [ ! -x "$program" ]; then
    echo "missing $program: build it in a fuzzer build (target fuzzers)" >&2
    exit 1
  fi
  corpus=$here/corpus/$target
  findings=$build/fuzz/findings/$target
  mkdir -p "$corpus" "$findings"
  work=$(mktemp -d)
  log=$work/fuzz.log
  cp "$corpus"/. "$work/new" -r 2>/dev/null || mkdir -p "$work/new"
  echo "== $target: $seconds s from $(ls "$corpus" | wc -l) kept inputs"
  dict=()
  [ ! -f "$here/$target.dict" ] || dict=(-dict="$here/$target.dict")
  set +e
  nice -n 10 "$program" "$work/new" "${dict[@]}" -max_len=4096 -timeout=10 \
    -rss_limit_mb=2048 -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$findings/" >"$log" 2>&1
  rc=$?
  set -e
  # A run that ended early may print none of these.
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
  if [ $rc -ne 0 ]; then
    status=1
    echo "   FAULT (exit $rc); the input is in $findings; the end of the log:"
    tail -40 "$log" | sed 's/^/   /'
  fi
  summary="executions ${runs:-?} (${rate:-?}/s), ${cov:-cov: ?}, exit $rc"
  if [ $merge -eq 1 ]; then
    merge_into_corpus
    summary+=", kept corpus $(ls "$corpus" | wc -l) files $(du -sb "$corpus" | cut -f1) bytes"
  fi
  echo "   $summary, findings $(ls "$findings" | wc -l)"
  cp "$log" "$build/fuzz/$target.last.log"
  rm -rf "$work"
  rmdir "$findings" 2>/dev/null || true
done
exit $status
