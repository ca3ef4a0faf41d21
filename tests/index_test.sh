#!/usr/bin/env bash
# tamboro-scan with an index: after every change to a library (charts
# rewritten with their size and time put back, charts added, removed and
# renamed behind a folder's put-back times, folders renamed or replaced by
# links, a chart changed in the second it was read) the rows with the index
# are byte for byte those of a plain scan, on one thread and reading ahead.
# A damaged, foreign or unwritable index, a full disk, a lock held by
# another program, two scans at once and a scan killed while writing leave
# the rows and the status as they are, with at most one line on standard
# error; a sound index is never taken for a damaged one. Scans that list
# other chart types save in any order, a folder another user may not read
# is left out as without the index, every spelling of a root shares one
# index, and indexes not used for 90 days go.
#
#   index_test.sh TAMBORO_SCAN GEN_LIBRARY COARSE_FILE_TIMES_LIB FULL_SHM_LIB VIRTUAL_SLEEP_LIB
set -uo pipefail
scan=${1:?usage: index_test.sh TAMBORO_SCAN GEN_LIBRARY COARSE_FILE_TIMES_LIB FULL_SHM_LIB VIRTUAL_SLEEP_LIB}
gen=${2:?}
shim=${3:?}
full_shm=${4:?}
virtual_sleep=${5:?}
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

# A scan of one chart type saves after a scan of two (it was writing its
# rows to a pipe nobody read yet): the listing it saves must not stand for
# the two types. Its rows outgrow the pipe, so that it waits before saving.
typed=$work/typed
mkdir -p "$typed/X" "$typed/Y"
long=$(head -c 60000 /dev/zero | tr '\0' x)
for chart in X/a Y/c1 Y/c2 Y/c3; do printf '#TITLE %s\r\n' "$long" >"$typed/$chart.bms"; done
printf '#TITLE b\r\n' >"$typed/X/b.bme"
touch -d '-1 min' "$typed"/*/*
"$scan" --index-file "$work/typed.db" "$typed" >/dev/null 2>&1
touch -d '-30 sec' "$typed/X"  # changed since: both scans below list it again
sleep 0.3                       # and keep what they list
mkfifo "$work/go"
"$scan" --index-file "$work/typed.db" "$typed" 2>/dev/null |
  { dd bs=1 count=1 status=none >/dev/null; : >"$work/blocked"; read -r <"$work/go"; cat >/dev/null; } &
narrow=$!
until [ -e "$work/blocked" ]; do sleep 0.05; done
"$scan" --types bms,bme --index-file "$work/typed.db" "$typed" >/dev/null 2>&1
echo >"$work/go"
wait $narrow
"$scan" --raw --types bms,bme "$typed" >"$work/want-typed" 2>/dev/null
"$scan" --raw --types bms,bme --index-file "$work/typed.db" "$typed" >"$work/got-typed" 2>/dev/null
cmp -s "$work/want-typed" "$work/got-typed" ||
  fail "one type saved after two: rows differ: $(diff "$work/want-typed" "$work/got-typed" | cut -c1-80 | head -4)"

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

# A sound index that cannot be used now (no room for the write-ahead log's
# shared memory): left as it is, not rebuilt.
cp "$index" "$work/sound.db"
LD_PRELOAD="${runtime:+$runtime }$full_shm" "$scan" --raw --index-file "$index" "$lib" >"$work/got" 2>"$work/err"
[ $? -eq 0 ] && cmp -s "$work/want" "$work/got" || fail "no room for the shared memory: rows or status"
one_line "no room for the shared memory" "cannot be read (disk I/O error: No space left on device); scanning without it"
cmp -s "$work/sound.db" "$index" || fail "no room for the shared memory: the sound index was changed"
same "after no room for the shared memory"

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

# Folders and a chart another user may not read, in an index shared between
# users and learned by one who could read them: listed for that user as a
# plain scan lists them (a folder left out, a chart with empty values, a
# root that cannot be read), on one thread and reading ahead.
if [ ${#as_user[@]} -gt 0 ]; then
  perm=$work/perm
  mkdir -p "$perm/shut" "$perm/dark" "$perm/open" "$work/shared"
  for chart in shut/s dark/d open/o open/secret; do printf '#TITLE %s\r\n' "$chart" >"$perm/$chart.bms"; done
  chmod 751 "$perm/shut" && chmod 750 "$perm/dark" && chmod 640 "$perm/open/secret.bms" && chmod 1777 "$work/shared"
  sleep 0.3
  "$scan" --index-file "$work/shared/index.db" "$perm" >/dev/null 2>&1
  chmod 666 "$work/shared/index.db"
  for root in "$perm" "$perm/shut" "$perm/dark"; do
    for jobs in 1 8; do
      "${as_user[@]}" "$scan" --raw --jobs $jobs "$root" >"$work/want-perm" 2>/dev/null
      want_rc=$?
      "${as_user[@]}" "$scan" --raw --jobs $jobs --index-file "$work/shared/index.db" "$root" >"$work/got-perm" 2>/dev/null
      rc=$?
      [ $rc -eq $want_rc ] && cmp -s "$work/want-perm" "$work/got-perm" ||
        fail "unreadable for this user, ${root#"$work"/}, --jobs $jobs: status $rc (not $want_rc) or rows: $(diff "$work/want-perm" "$work/got-perm" | head -4)"
    done
  done
else
  echo "skipped: folders another user may not read (needs root)"
fi

# Every spelling of a root shares one index, which a scan under another
# spelling uses; indexes not used for 90 days go with their journals, and
# one in use, one used lately and other files stay.
export XDG_CACHE_HOME=$work/keys
kept=$work/keys/tamboro
mkdir -p "$kept"
old=$kept/index-00000000000000aa.sqlite
recent=$kept/index-00000000000000bb.sqlite
for file in "$old" "$old-wal" "$recent" "$kept/notes"; do : >"$file"; done
touch -d '-91 days' "$old" "$old-wal" "$kept/notes"
touch -d '-89 days' "$recent"
ln -s lib "$work/link"
folders=""
for root in lib lib/ ./lib "$lib" "$work//lib" link .; do
  dir=$work
  [ "$root" = . ] && dir=$lib
  (cd "$dir" && "$scan" --raw "$root" >"$work/want-spelled" 2>/dev/null &&
    "$scan" --raw --index "$root" >"$work/got-spelled" 2>"$work/err") &&
    cmp -s "$work/want-spelled" "$work/got-spelled" && [ ! -s "$work/err" ] ||
    fail "root spelled '$root': rows, status or stderr $(head -c 200 "$work/err")"
  if command -v sqlite3 >/dev/null; then
    count=$(sqlite3 "$(ls "$kept"/index-*.sqlite | grep -v -e "$recent" -e "$old" | head -n 1)" 'SELECT count(*) FROM folder')
    [ -n "$folders" ] && [ "$count" != "$folders" ] && fail "root spelled '$root': $count folders kept, not $folders"
    folders=$count
  fi
done
made=$(ls "$kept"/index-*.sqlite | grep -v -e "$recent")
[ "$(echo "$made" | wc -l)" -eq 1 ] || fail "seven spellings of a root: $(echo "$made" | wc -l) indexes"
[ ! -e "$old" ] && [ ! -e "$old-wal" ] || fail "an index not used for 91 days is still there"
[ -e "$recent" ] && [ -e "$kept/notes" ] || fail "an index used 89 days ago, or another file, was removed"
touch -d '-91 days' "$made"
"$scan" --raw --index "$lib" >/dev/null 2>&1
[ -e "$made" ] || fail "the index in use was removed as unused"
unset XDG_CACHE_HOME

# A full disk: the index cannot grow past a few blocks (the write fails
# rather than signal the process), be it while it is made or written.
rm -f "$index"*
(trap '' XFSZ && ulimit -f 40 && exec "$scan" --raw --index-file "$index" "$lib" 2>"$work/err") | cat >"$work/got"
cmp -s "$work/want" "$work/got" || fail "full disk: rows"
one_line "full disk" "index not updated\|cannot be made"
same "after a full disk"

# A lock another program holds: ten seconds of waiting in all, as the
# manual says (slept without the time passing: the clock moves on).
if command -v sqlite3 >/dev/null; then
  cp "$index" "$work/locked.db"
  mkfifo "$work/sql"
  sqlite3 "$work/locked.db" <"$work/sql" >"$work/held" &
  holder=$!
  exec 7>"$work/sql"
  printf "PRAGMA locking_mode=EXCLUSIVE;\nBEGIN EXCLUSIVE;\nINSERT OR REPLACE INTO meta VALUES('held', 1);\nCOMMIT;\nSELECT 'held';\n" >&7
  until grep -q held "$work/held" 2>/dev/null; do sleep 0.05; done
  VIRTUAL_SLEEP_LOG=$work/slept LD_PRELOAD="${runtime:+$runtime }$virtual_sleep" \
    "$scan" --raw --index-file "$work/locked.db" "$lib" >"$work/got" 2>"$work/err"
  [ $? -eq 0 ] && cmp -s "$work/want" "$work/got" || fail "locked index: rows or status"
  one_line "locked index" "cannot be read (database is locked); scanning without it"
  slept=$(sed -n 's/^slept \([0-9]*\) ms$/\1/p' "$work/slept")
  [ "${slept:-0}" -ge 9000 ] && [ "${slept:-0}" -le 10500 ] || fail "locked index: waited ${slept:-?} ms, not 10 s"
  exec 7>&-
  wait $holder
fi

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
