#!/usr/bin/env bash
# tamboro-scan with an index: after every change to a library (charts
# rewritten with their size and time put back, charts added, removed and
# renamed behind a folder's put-back times, folders renamed or replaced by
# links, a chart changed in the second it was read) the rows with the index
# are byte for byte those of a plain scan, on one thread and reading ahead.
# A damaged, foreign or unwritable index, a full disk, two scans at once and
# a scan killed while writing leave the rows and the status as they are,
# with at most one line on standard error.
#
#   index_test.sh TAMBORO_SCAN GEN_LIBRARY COARSE_FILE_TIMES_LIB
set -uo pipefail
scan=${1:?usage: index_test.sh TAMBORO_SCAN GEN_LIBRARY COARSE_FILE_TIMES_LIB}
gen=${2:?}
shim=${3:?}
work=$(mktemp -d "${TMPDIR:-/tmp}/tamboro-index.XXXXXX")
trap 'rm -rf "$work"' EXIT
chmod 755 "$work"
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
runtime=$(ldd "$scan" | awk '/lib[at]san/ { print $3 }')
preload="${runtime:+$runtime }$shim"

lib=$work/lib
index=$work/index.db
"$gen" --seed 5 --charts 240 "$lib" >/dev/null || exit 1
# Times older than the index's settling margin, so that the first scan keeps them.
sleep 0.3

# same LABEL [OPTIONS...]: the rows of an indexed scan, --jobs 1 and reading
# ahead, are those of a plain scan, with status 0 and nothing on stderr.
same() {
  local label=$1
  shift
  "$scan" --raw "$@" "$lib" >"$work/want" 2>/dev/null
  for jobs in 1 8; do
    "$scan" --raw --jobs $jobs --index-file "$index" "$@" "$lib" >"$work/got" 2>"$work/err"
    local rc=$?
    [ $rc -eq 0 ] || fail "$label, --jobs $jobs: status $rc"
    cmp -s "$work/want" "$work/got" || fail "$label, --jobs $jobs: rows differ: $(diff "$work/want" "$work/got" | head -4)"
    [ ! -s "$work/err" ] || fail "$label, --jobs $jobs: stderr: $(head -c 300 "$work/err")"
  done
}

# one_line LABEL PATTERN: stderr held exactly one line, matching PATTERN.
one_line() {
  [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q -- "$2" "$work/err" ||
    fail "$1: stderr: $(head -c 300 "$work/err")"
}

# The first scan learns, the second answers from the index: no chart is
# read and no folder listed again (strace, when there is one).
# Written from nothing past the write-ahead log, which is on again after.
"$scan" --index-file "$work/first.db" "$lib" >/dev/null 2>&1
[ "$(od -An -tu1 -j18 -N2 "$work/first.db" | tr -s ' ')" = " 2 2" ] || fail "first index: left without the write-ahead log"
same "empty index"
same "unchanged"
if command -v strace >/dev/null; then
  strace -f -e trace=openat,getdents64 -o "$work/trace" "$scan" --index-file "$index" "$lib" >/dev/null 2>&1
  opened=$(grep -ciE 'openat\(.*\.bms"' "$work/trace")
  listed=$(grep -c 'getdents64' "$work/trace")
  # /proc/self/fd is listed once to count open files.
  [ "$opened" -eq 0 ] && [ "$listed" -le 2 ] || fail "unchanged: $opened charts opened, $listed folder reads"
fi

mapfile -t charts < <(find "$lib" -iname '*.bms' -type f | sort)
[ ${#charts[@]} -ge 40 ] || { echo "FAIL: only ${#charts[@]} charts generated"; exit 1; }

# A chart rewritten with the same size and its times put back: only its
# change time tells.
chart=$(grep -l -a '^#TITLE ' "${charts[@]}" | head -n 1)
cp -p "$chart" "$work/ref"
tr 'A-Za-z' 'B-ZAb-za' <"$work/ref" >"$chart"
touch -r "$work/ref" "$chart"
same "chart rewritten, size and time put back"

# Charts added, removed and renamed, each folder's times put back.
for i in 1 2 3; do
  chart=${charts[i * 7]}
  folder=$(dirname "$chart")
  touch -r "$folder" "$work/ref"
  case $i in
    1) printf '#TITLE added\r\n#GENRE g\r\n' >"$folder/added.bms" ;;
    2) rm -- "$chart" ;;
    3) mv -- "$chart" "$folder/renamed.bms" ;;
  esac
  touch -r "$work/ref" "$folder"
done
same "charts added, removed, renamed behind the folders' times"

# A folder renamed, another replaced by a link to a third.
first=$(dirname "${charts[30]}")
mv -- "$first" "$first.moved"
second=$(dirname "${charts[36]}")
third=$(dirname "${charts[12]}")
if [ "$second" != "$third" ] && [ -d "$second" ]; then
  mv -- "$second" "$work/old-folder"
  ln -s -- "$third" "$second"
fi
same "folder renamed, folder replaced by a link"

# Other chart types: listings kept for "bms" alone must not stand for them.
other=$(dirname "${charts[25]}")
printf '#TITLE other ending\r\n' >"$other/extra.bme"
touch -r "$work/ref" "$other"
same "other chart types" --types bms,bme
same "back to one chart type"

# A chart turned into a dangling link, another into a folder.
ln -sf /nonexistent "${charts[27]}"
rm -- "${charts[28]}" && mkdir -- "${charts[28]}"
same "charts turned into a link and a folder"

# A stopped scan keeps what it learned and no more: the next scan is whole.
"$scan" --index-file "$index" "$lib" >/dev/null 2>&1 &
sleep 0.02
kill -INT $! 2>/dev/null
wait $!
same "after a stopped scan"

# A chart changed within the second its first reading saw, on a file system
# whose times are whole seconds: the index must not keep that reading.
racy=$(dirname "${charts[20]}")/racy.bms
for attempt in 1 2 3 4 5; do
  second=$(date +%s)
  printf '#TITLE first\r\n' >"$racy"
  LD_PRELOAD=$preload "$scan" --raw --index-file "$index" "$lib" >/dev/null 2>&1
  printf '#TITLE later\r\n' >"$racy"
  [ "$(date +%s)" = "$second" ] && break
done
export LD_PRELOAD=$preload
same "chart changed in the second it was read"
unset LD_PRELOAD

# Faults: each says so in one line; the rows and the status stay.
cp "$index" "$work/good.db"
head -c 8192 "$work/good.db" >"$index"
"$scan" --raw --index-file "$index" "$lib" >"$work/got" 2>"$work/err"
[ $? -eq 0 ] && cmp -s "$work/want" "$work/got" || fail "truncated index: rows or status"
one_line "truncated index" "was damaged.*rebuilt"
same "rebuilt index"

# An index in a folder that does not exist.
"$scan" --raw --index-file "$work/none/index.db" "$lib" >"$work/got" 2>"$work/err"
[ $? -eq 0 ] && cmp -s "$work/want" "$work/got" || fail "missing folder: rows or status"
one_line "missing folder" "cannot be made: No such file or directory; scanning without it"

head -c 50000 /dev/urandom >"$work/random"
cp "$work/random" "$index"
"$scan" --raw --index-file "$index" "$lib" >"$work/got" 2>"$work/err"
[ $? -eq 0 ] && cmp -s "$work/want" "$work/got" || fail "random bytes: rows or status"
one_line "random bytes" "is not a Tamboro index.*scanning without it"
cmp -s "$work/random" "$index" || fail "random bytes: a file that is no index was changed"

rm -f "$index"
if command -v sqlite3 >/dev/null; then
  sqlite3 "$index" 'CREATE TABLE notes(text); INSERT INTO notes VALUES("mine")'
  "$scan" --raw --index-file "$index" "$lib" >"$work/got" 2>"$work/err"
  [ $? -eq 0 ] && cmp -s "$work/want" "$work/got" || fail "foreign database: rows or status"
  one_line "foreign database" "is not a Tamboro index"
  [ "$(sqlite3 "$index" 'SELECT text FROM notes')" = mine ] || fail "foreign database: changed"
  rm -f "$index"
fi

# The default place: made private, rebuilt when damaged.
export XDG_CACHE_HOME=$work/cache
"$scan" --raw --index "$lib" >"$work/got" 2>"$work/err" && cmp -s "$work/want" "$work/got" && [ ! -s "$work/err" ] ||
  fail "--index: rows, status or stderr"
made=$(find "$work/cache/tamboro" -name '*.sqlite')
[ "$(stat -c %a "$work/cache/tamboro")" = 700 ] && [ "$(stat -c %a "$made")" = 600 ] ||
  fail "--index: folder or file not private"
cp "$work/random" "$made"
"$scan" --raw --index "$lib" >"$work/got" 2>"$work/err"
[ $? -eq 0 ] && cmp -s "$work/want" "$work/got" || fail "--index over random bytes: rows or status"
one_line "--index over random bytes" "rebuilt"
"$scan" --raw --index "$lib" >"$work/got" 2>"$work/err"
[ ! -s "$work/err" ] && cmp -s "$work/want" "$work/got" || fail "--index after rebuilding"

# A cache folder that cannot be written (as an ordinary user: root writes
# anywhere).
rm -rf "$work/cache"
mkdir -p "$work/cache"
chmod 555 "$work/cache"
as_user=()
[ "$(id -u)" -eq 0 ] && as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
chmod -R a+rX "$lib"
sleep 0.2  # so that the change of mode is settled for what follows
"${as_user[@]}" "$scan" --raw --index "$lib" >"$work/got" 2>"$work/err"
[ $? -eq 0 ] && cmp -s "$work/want" "$work/got" || fail "read-only cache: rows or status"
one_line "read-only cache" "Permission denied.*scanning without it"
# An index that may be read but not written, in a folder that may not be
# written either: not taken for damaged, and left as it is.
mkdir -p "$work/ro" && "$scan" --index-file "$work/ro/index.db" "$lib" >/dev/null 2>&1
chmod 444 "$work/ro/index.db" && chmod 555 "$work/ro"
"${as_user[@]}" "$scan" --raw --index-file "$work/ro/index.db" "$lib" >"$work/got" 2>"$work/err"
[ $? -eq 0 ] && cmp -s "$work/want" "$work/got" || fail "read-only index: rows or status"
one_line "read-only index" "cannot be read.*scanning without it"
chmod 755 "$work/ro"
unset XDG_CACHE_HOME

# A full disk: the index cannot grow past a few blocks (the write fails
# rather than signal the process), be it while it is made or written.
rm -f "$index"*
(trap '' XFSZ && ulimit -f 40 && exec "$scan" --raw --index-file "$index" "$lib" 2>"$work/err") | cat >"$work/got"
cmp -s "$work/want" "$work/got" || fail "full disk: rows"
one_line "full disk" "index not updated\|cannot be made"
same "after a full disk"

# Two scans at once on the same index, twice over; then a scan killed at
# random moments while it writes.
rm -f "$index"*
for round in 1 2; do
  touch "$lib"/*/
  for jobs in 1 8; do
    "$scan" --raw --jobs $jobs --index-file "$index" "$lib" >"$work/two$jobs" 2>"$work/err$jobs" &
  done
  wait
  for jobs in 1 8; do
    cmp -s "$work/want" "$work/two$jobs" && [ ! -s "$work/err$jobs" ] ||
      fail "two at once, round $round: rows or stderr $(head -c 200 "$work/err$jobs")"
  done
done
for delay in 0.01 0.03 0.06 0.1; do
  rm -f "$index"*
  "$scan" --index-file "$index" "$lib" >/dev/null 2>&1 &
  sleep $delay
  kill -KILL $! 2>/dev/null
  wait $! 2>/dev/null
done
same "after kills while writing"

# A library of many folders loads its index in two halves at once (a
# second connection): changes in either half, and to the folders around
# the middle, still show.
lib=$work/many
index=$work/many.db
mkdir -p "$lib"/f{0000..4299}
for i in 0001 2150 2151 4298; do printf '#TITLE t%s\r\n' $i >"$lib/f$i/c.bms"; done
# And one folder of many charts, found by name.
for i in $(seq 300); do printf '#TITLE m%s\r\n' "$i" >"$lib/f4299/m$i.bms"; done
touch -d '-1 min' "$lib"/f*/*.bms "$lib"/f*
sleep 0.3
same "many folders, empty index"
same "many folders, unchanged"
if command -v strace >/dev/null; then
  strace -f -e trace=openat -o "$work/trace" "$scan" --index-file "$index" "$lib" >/dev/null 2>&1
  # Opened by two threads.
  [ "$(grep 'many\.db"' "$work/trace" | cut -d' ' -f1 | sort -u | wc -l)" -ge 2 ] ||
    fail "many folders: the index was not loaded in halves"
fi
for chart in f0001/c f2150/c f2151/c f4298/c f4299/m7 f4299/m250; do
  printf '#TITLE changed %s\r\n' $chart >"$lib/$chart.bms"
  touch -d '-1 min' "$lib/$chart.bms"
done
rm -r "$lib"/f2149 && mkdir "$lib"/f2152/new && printf '#TITLE new\r\n' >"$lib"/f2152/new/n.bms
same "many folders, changes on both sides of the middle"

"$scan" --index --index-file "$index" "$lib" >/dev/null 2>&1
[ $? -eq 2 ] || fail "--index with --index-file: not a usage error"

[ $failures -eq 0 ] && echo "all index cases pass"
exit $((failures > 0))
