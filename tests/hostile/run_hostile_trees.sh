#!/usr/bin/env bash
# Scans hostile folder trees with tamboro-scan and checks the rows it prints
# and that it exits cleanly (status 0, nothing on standard error, within a
# time limit). Every tree is built in a fresh temporary folder.
#
#   run_hostile_trees.sh TAMBORO_SCAN HOSTILE_TOOL [CASE...]
#
# Every scan runs a second time with --jobs 1 (charts read one at a time on
# one thread), which must print the same bytes and exit the same way; only
# the churn case, whose tree changes under the scan, is not compared.
#
# CASE names one of the cases below to run only those. Peak memory and wall
# time of each scan come from /usr/bin/time -v (Debian package "time"); when
# it is missing they are shown as "?". The unreadable-entries case runs the
# scan as user 65534 (setpriv) when started as root, since root reads
# everything; the character devices are made only as root. Prints a table
# of the cases at the end; exit status 1 when any check failed.
set -uo pipefail

scan=$(readlink -f "${1:?usage: run_hostile_trees.sh TAMBORO_SCAN HOSTILE_TOOL [CASE...]}")
tool=$(readlink -f "${2:?usage: run_hostile_trees.sh TAMBORO_SCAN HOSTILE_TOOL [CASE...]}")
shift 2
wanted=" $* "

work=$(mktemp -d "${TMPDIR:-/tmp}/tamboro-hostile.XXXXXX")
chmod 755 "$work"
background=""
cleanup() {
  [ -n "$background" ] && kill "$background" 2>/dev/null
  chmod -R u+rwx "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

failures=0
table=()
have_time=0
[ -x /usr/bin/time ] && have_time=1
is_root=0
[ "$(id -u)" -eq 0 ] && is_root=1

# The scan as the unprivileged user needs a copy it may run.
cp "$scan" "$work/tamboro-scan"
chmod 755 "$work/tamboro-scan"

case_failed=0
fail() {
  echo "  FAIL: $*"
  case_failed=1
}

# run_scan LABEL LIMIT_SECONDS [--as-nobody] ARGS...: runs the scan; sets
# rc, out, err, peak (MB) and secs. While compare_jobs is 1 it runs the scan
# again with --jobs 1 and fails the case unless output and status match.
compare_jobs=1
run_scan() {
  local label=$1 limit=$2
  shift 2
  local prefix=()
  if [ "${1:-}" = "--as-nobody" ]; then
    shift
    [ $is_root -eq 1 ] && prefix=(setpriv --reuid=65534 --regid=65534 --clear-groups)
  fi
  out=$work/$label.out
  err=$work/$label.err
  local times=$work/$label.time
  local measure=()
  [ $have_time -eq 1 ] && measure=(/usr/bin/time -v -o "$times")
  timeout -k 5 "$limit" "${measure[@]}" "${prefix[@]}" "$work/tamboro-scan" "$@" >"$out" 2>"$err"
  rc=$?
  peak="?"
  secs="?"
  if [ $have_time -eq 1 ] && [ -s "$times" ]; then
    local kb
    kb=$(sed -n 's/^[[:space:]]*Maximum resident set size (kbytes): //p' "$times")
    [ -n "$kb" ] && peak=$(( (kb + 1023) / 1024 ))
    secs=$(sed -n 's/^[[:space:]]*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$times")
    secs=${secs#0:}
  fi
  [ $rc -eq 124 ] && fail "$label: no exit within $limit s"
  if [ $compare_jobs -eq 1 ]; then
    timeout -k 5 "$limit" "${prefix[@]}" "$work/tamboro-scan" --jobs 1 "$@" >"$out.one" 2>"$err.one"
    local rc_one=$?
    [ $rc_one -eq $rc ] || fail "$label: exit status $rc, with --jobs 1 $rc_one"
    cmp -s "$out" "$out.one" || fail "$label: rows differ from those of --jobs 1"
    rm -f "$out.one" "$err.one"
  fi
}

expect_clean() {
  [ "$rc" -eq 0 ] || fail "$1: exit status $rc, wanted 0"
  [ ! -s "$err" ] || fail "$1: standard error: $(head -c 600 "$err")"
}

rows() { wc -l <"$out" | tr -d ' '; }

# expect_rows LABEL ROOT LINES...: the scan's lines, in any order, are
# exactly LINES, where "R" in a line stands for the root.
expect_rows() {
  local label=$1 root=$2
  shift 2
  local line
  for line in "$@"; do printf '%s\n' "${line/#R/$root}"; done | LC_ALL=C sort >"$work/$label.want"
  LC_ALL=C sort "$out" >"$work/$label.got"
  if ! cmp -s "$work/$label.want" "$work/$label.got"; then
    fail "$label: rows differ (- wanted, + got):"
    diff "$work/$label.want" "$work/$label.got" | head -20 | sed 's/^/    /'
  fi
}

# expect_fields: every line has folder, genre, title and artist.
expect_fields() {
  local bad
  bad=$(awk -F'\t' 'NF != 4' "$out" | head -3)
  [ -z "$bad" ] || fail "$1: lines without four fields: $bad"
}

selected() { [ "$wanted" = "  " ] || [[ "$wanted" == *" $1 "* ]]; }

record() {  # record CASE WHAT ROWS
  local result=ok
  if [ $case_failed -ne 0 ]; then
    result=FAILED
    failures=$((failures + 1))
  fi
  table+=("$(printf '%-18s | %-6s | %-66s | %8s | %7s | %6s' "$1" "$result" "$2" "$3" "${peak}" "${secs}")")
  echo "  $result: $2 (rows $3, peak ${peak} MB, ${secs} s)"
  case_failed=0
}

begin() {
  echo "== $1"
  root=$work/$1/root
  mkdir -p "$root"
}

chart() {  # chart PATH GENRE TITLE ARTIST
  printf '#PLAYER 1\r\n#GENRE %s\r\n#TITLE %s\r\n#ARTIST %s\r\n#BPM 150\r\n#00111:01010101\r\n' "$2" "$3" "$4" >"$1"
}

T=$'\t'

if selected link_loop; then
  begin link_loop
  mkdir "$root/a" "$root/b"
  chart "$root/a/a.bms" ga ta aa
  chart "$root/b/b.bms" gb tb ab
  ln -s ../b "$root/a/toB"
  ln -s ../a "$root/b/toA"
  run_scan link_loop 30 --raw "$root"
  expect_clean link_loop
  expect_rows link_loop "$root" "R/a/${T}ga${T}ta${T}aa" "R/a/toB/${T}gb${T}tb${T}ab" \
    "R/b/${T}gb${T}tb${T}ab" "R/b/toA/${T}ga${T}ta${T}aa"
  record link_loop "a/toB -> ../b, b/toA -> ../a: each entered once per path" "$(rows)"
fi

if selected link_to_root; then
  begin link_to_root
  mkdir "$root/sub"
  chart "$root/c.bms" g c a
  chart "$root/sub/s.bms" g s a
  ln -s "$root" "$root/sub/up"
  ln -s .. "$root/parent"
  run_scan link_to_root 30 --raw "$root"
  expect_clean link_to_root
  expect_rows link_to_root "$root" "R/${T}g${T}c${T}a" "R/sub/${T}g${T}s${T}a"
  record link_to_root "links to the root and to its parent: not re-entered" "$(rows)"
fi

if selected dangling_link; then
  begin dangling_link
  ln -s nowhere "$root/x.bms"
  ln -s x.bms "$root/self.bms"
  ln -s self2.bms "$root/self1.bms"
  ln -s self1.bms "$root/self2.bms"
  chart "$root/ok.bms" g ok a
  run_scan dangling_link 30 --raw "$root"
  expect_clean dangling_link
  expect_rows dangling_link "$root" "R/${T}${T}${T}" "R/${T}${T}${T}" "R/${T}${T}${T}" "R/${T}${T}${T}" \
    "R/${T}g${T}ok${T}a"
  record dangling_link "dangling x.bms and link cycles: empty rows" "$(rows)"
fi

if selected special_files; then
  begin special_files
  mkfifo "$root/fifo.bms"
  "$tool" socket "$root/socket.bms" || fail "cannot make a socket"
  specials=2
  note="FIFO and socket"
  if [ $is_root -eq 1 ]; then
    # /dev/zero never ends and /dev/null is empty: neither is read.
    mknod "$root/zero.bms" c 1 5 && mknod "$root/null.bms" c 1 3 && specials=4
    note="FIFO, socket, /dev/zero and /dev/null nodes"
  else
    echo "  note: not root, no character devices made"
    note="FIFO and socket (not root: no devices)"
  fi
  chart "$root/ok.bms" g ok a
  want=("R/${T}g${T}ok${T}a")
  for ((i = 0; i < specials; ++i)); do want+=("R/${T}${T}${T}"); done
  run_scan special_files 20 --raw "$root"
  expect_clean special_files
  expect_rows special_files "$root" "${want[@]}"
  record special_files "$note named *.bms: empty rows, no block" "$(rows)"
fi

if selected folder_named_chart; then
  begin folder_named_chart
  mkdir "$root/x.bms" "$root/y.BMS"
  chart "$root/x.bms/in.bms" g in a
  chart "$root/y.BMS/z.bms" g z a
  run_scan folder_named_chart 30 --raw "$root"
  expect_clean folder_named_chart
  expect_rows folder_named_chart "$root" "R/x.bms/${T}g${T}in${T}a" "R/y.BMS/${T}g${T}z${T}a" \
    "R/${T}${T}${T}" "R/${T}${T}${T}"
  record folder_named_chart "folders x.bms, y.BMS walked; as charts empty rows" "$(rows)"
fi

if selected many_entries; then
  begin many_entries
  "$tool" many "$root" 100000 || fail "cannot make 100,000 charts"
  run_scan many_entries 120 --raw "$root"
  expect_clean many_entries
  expect_fields many_entries
  [ "$(rows)" -eq 100000 ] || fail "many_entries: $(rows) rows, wanted 100000"
  distinct=$(awk -F'\t' -v r="$root/" '$1 == r && $3 ~ /^[0-9]+$/ && $3 < 100000 { print $3 }' "$out" | sort -u | wc -l)
  [ "$distinct" -eq 100000 ] || fail "many_entries: $distinct distinct titles 0..99999, wanted 100000"
  record many_entries "100,000 charts in one folder: every title once" "$(rows)"
  rm -rf "$work/many_entries"
fi

if selected deep_tree; then
  begin deep_tree
  name=deep_folder_name
  "$tool" deep "$root" 3000 "$name" 500 || fail "cannot make a tree 3,000 deep"
  hard=$(ulimit -Hn)
  run_scan deep_tree 60 --raw "$root"
  expect_fields deep_tree
  longest=$(awk -F'\t' '{ if (length($1) > m) m = length($1) } END { print m + 0 }' "$out")
  if [ "$hard" = unlimited ] || [ "$hard" -gt 3100 ]; then
    expect_clean deep_tree
    want=()
    for level in 500 1000 1500 2000 2500 3000; do want+=("$level"); done
    got=$(awk -F'\t' '{ sub(/^level /, "", $3); print $3 }' "$out" | sort -n | tr '\n' ' ')
    [ "$got" = "500 1000 1500 2000 2500 3000 " ] || fail "deep_tree: levels found: $got"
    [ "$longest" -eq $(( ${#root} + 1 + 3000 * (${#name} + 1) )) ] || fail "deep_tree: longest folder $longest bytes"
  else
    echo "  note: descriptor hard limit $hard < 3,100: the scan must say it ran out of open files"
    [ "$rc" -eq 1 ] && grep -q "out of open files" "$err" ||
      fail "deep_tree: status $rc, standard error: $(head -c 300 "$err")"
  fi
  record deep_tree "3,000 levels, paths to $longest bytes: all walked" "$(rows)"
  rm -rf "$work/deep_tree"
fi

if selected odd_names; then
  begin odd_names
  ff=$(printf '\xff\xfe')          # invalid in UTF-8, Shift-JIS and EUC-KR
  sj=$(printf '\x81\x7f')          # Shift-JIS lead byte with a bad trail byte
  lone=$(printf 'a\x83')           # a lone Shift-JIS lead byte at the end
  sur=$(printf '\xed\xa0\x80')     # UTF-8 encoded surrogate
  so=$(printf '\x83\x5c')          # Shift-JIS "so", trail byte is a backslash
  so_raw=$(printf '\x83\\\\')     # ... as --raw prints it: the backslash escaped
  mkdir -p "$root/$ff/$sj" "$root/$lone" "$root/$so"
  chart "$root/$ff/$sj/$(printf '\xc3\x28').bms" "$sj" "$ff" "$sur"
  chart "$root/$lone/$sur.bms" g "$lone" a
  chart "$root/$so/$so.bms" g "$so" a
  printf '#TITLE tab\there\\and\rcr\r\n' >"$root/$(printf 'new\nline').bms"
  run_scan odd_names_raw 30 --raw "$root"
  expect_clean odd_names_raw
  expect_rows odd_names_raw "$root" "R/$ff/$sj/${T}$sj${T}$ff${T}$sur" "R/$lone/${T}g${T}$lone${T}a" \
    "R/$so_raw/${T}g${T}$so_raw${T}a" "R/${T}${T}tab\\there\\\\and\\rcr${T}"
  raw_rows=$(rows)
  run_scan odd_names 30 "$root"
  expect_clean odd_names
  expect_fields odd_names
  [ "$(rows)" -eq "$raw_rows" ] || fail "odd_names: $(rows) decoded rows, $raw_rows raw"
  iconv -f UTF-8 -t UTF-8 "$out" >/dev/null 2>&1 || fail "odd_names: decoded output is not valid UTF-8"
  LC_ALL=C grep -q "$(printf '\xe3\x82\xbd')" "$out" || fail "odd_names: Shift-JIS folder name not decoded"
  record odd_names "invalid UTF-8 / Shift-JIS names: raw bytes kept, output UTF-8" "$(rows)"
fi

if selected sparse_2g; then
  begin sparse_2g
  big=$root/big.bms
  printf '#TITLE sparse\r\n' >"$big"
  truncate -s $(( 2 * 1024 * 1024 * 1024 - 16 )) "$big"
  printf '\n#ARTIST tail\r\n' >>"$big"
  run_scan sparse_2g 120 --raw "$root"
  expect_clean sparse_2g
  expect_rows sparse_2g "$root" "R/${T}${T}sparse${T}tail"
  [ "$peak" = "?" ] || [ "$peak" -lt 256 ] || fail "sparse_2g: peak $peak MB: the file is not read in blocks"
  record sparse_2g "2 GiB sparse chart read to its end" "$(rows)"
  rm -f "$big"
fi

if selected long_line; then
  begin long_line
  { printf '#BPM '; head -c 100000000 /dev/zero | tr '\0' x; printf '\n#TITLE after\r\n'; } >"$root/data.bms"
  run_scan long_line_data 60 --raw "$root"
  expect_clean long_line_data
  expect_rows long_line_data "$root" "R/${T}${T}after${T}"
  [ "$peak" = "?" ] || [ "$peak" -lt 256 ] || fail "long_line_data: peak $peak MB for a line that is skipped"
  record long_line_data "100 MB line that is no header line: skipped" "$(rows)"
  rm -f "$root/data.bms"

  # The same with a line that looks like "#TITLE " up to the end of the
  # reader's first block (256 KiB) and differs from it after.
  { printf '#BPM '; head -c $(( 262144 - 5 - 1 - 3 )) /dev/zero | tr '\0' 1; printf '\n#TI';
    printf 'TLX'; head -c 100000000 /dev/zero | tr '\0' x; printf '\r\n#TITLE after\r\n'; } >"$root/near.bms"
  run_scan long_line_near_tag 60 --raw "$root"
  expect_clean long_line_near_tag
  expect_rows long_line_near_tag "$root" "R/${T}${T}after${T}"
  [ "$peak" = "?" ] || [ "$peak" -lt 256 ] || fail "long_line_near_tag: peak $peak MB for a line that is skipped"
  record long_line_near_tag "100 MB line, \"#TI\" at a block end, \"TLX\" after: skipped" "$(rows)"
  rm -f "$root/near.bms"

  { printf '#TITLE '; head -c 100000000 /dev/zero | tr '\0' y; } >"$root/title.bms"
  run_scan long_line_title 60 --raw "$root"
  expect_clean long_line_title
  [ "$(rows)" -eq 1 ] || fail "long_line_title: $(rows) rows"
  len=$(cut -f3 "$out" | tr -d '\n' | wc -c)
  [ "$len" -eq 65536 ] || fail "long_line_title: title of $len bytes, wanted the first 65536"
  record long_line_title "100 MB #TITLE line: value cut at 64 KiB, memory bounded" "$(rows)"
  rm -f "$root/title.bms" "$out"
fi

if selected binary_junk; then
  begin binary_junk
  "$tool" junk "$root/.bms" 1048576 1 && "$tool" junk "$root/junk.bms" 4194304 2 || fail "cannot make junk"
  run_scan binary_junk 30 --raw "$root"
  expect_clean binary_junk
  expect_rows binary_junk "$root" "R/${T}${T}${T}" "R/${T}${T}${T}"
  run_scan binary_junk_decoded 30 "$root"
  expect_clean binary_junk_decoded
  record binary_junk "1 MiB and 4 MiB of random bytes: empty rows" "$(rows)"
fi

if selected churn; then
  begin churn
  compare_jobs=0
  folders=150
  charts=8
  "$tool" churn-tree "$root" $folders $charts || fail "cannot make the churn tree"
  "$tool" churn "$root" $folders $charts 8 42 >"$work/churn.count" &
  background=$!
  runs=0
  total=0
  while kill -0 "$background" 2>/dev/null; do
    run_scan churn 30 --raw "$root"
    runs=$((runs + 1))
    total=$((total + $(rows)))
    expect_clean "churn run $runs"
    expect_fields "churn run $runs"
    # Folder rNNN (or its inner folder) holds only charts titled NNN;
    # a chart is read whole or not at all.
    bad=$(awk -F'\t' -v r="$root/" '
      substr($1, 1, length(r)) != r { print "outside: " $0; next }
      {
        rest = substr($1, length(r) + 1)
        split(rest, part, "/")
        id = substr(part[1], 2)
        if ($2 == "" && $3 == "" && $4 == "") next
        if ($2 != "churn" || $3 != id || $4 !~ /^[0-9][0-9]$/) print "mixed: " $0
      }' "$out" | head -3)
    [ -z "$bad" ] || fail "churn run $runs: $bad"
    [ $case_failed -eq 0 ] || break
  done
  wait "$background"
  background=""
  changes=$(cat "$work/churn.count")
  record churn "$runs scans during $changes random changes: sane rows" "$total"
  compare_jobs=1
fi

if selected chart_types; then
  begin chart_types
  mkdir "$root/sub"
  for name in a.bms b.BME c.bml d.pms e.Bms f.bmson g.bme.bak; do chart "$root/$name" g "$name" x; done
  chart "$root/sub/h.PMS" g h.PMS x
  run_scan chart_types 30 --raw --types bms,bme,BML,pms "$root"
  expect_clean chart_types
  # The subfolder first, then the root's charts of every listed type in the
  # order the file system lists them.
  want=$(printf '%s\n' "h.PMS"; ls -f "$root" | grep -i -E '\.(bms|bme|bml|pms)$')
  got=$(cut -f 3 "$out")
  [ "$got" = "$want" ] || fail "chart_types: titles in order: $(echo $got), wanted $(echo $want)"
  run_scan chart_types_default 30 --raw "$root"
  expect_rows chart_types_default "$root" "R/${T}g${T}a.bms${T}x" "R/${T}g${T}e.Bms${T}x"
  for bad in "" "bms," "bms,,bme" ".bms" "bms bme"; do
    run_scan chart_types_bad 30 --types "$bad" "$root"
    [ "$rc" -eq 2 ] || fail "chart_types: --types '$bad' gave status $rc, wanted 2"
    grep -q "LIST must be" "$err" || fail "chart_types: --types '$bad': no message"
  done
  for bad in 0 x 1025 -3; do
    run_scan jobs_bad 30 --jobs "$bad" "$root"
    [ "$rc" -eq 2 ] || fail "chart_types: --jobs '$bad' gave status $rc, wanted 2"
  done
  record chart_types "--types bms,bme,BML,pms: 6 charts of 4 types in listing order; bad: status 2" "$(wc -l <"$work/chart_types.out" | tr -d ' ')"
fi

if selected unreadable; then
  begin unreadable
  chmod 755 "$work/unreadable"
  mkdir "$root/closed" "$root/listonly" "$root/passonly" "$root/passonly/sub"
  chart "$root/ok.bms" g ok a
  chart "$root/locked.bms" g locked a
  chart "$root/closed/in.bms" g closed a
  chart "$root/listonly/in.bms" g listonly a
  chart "$root/passonly/sub/in.bms" g passonly a
  chmod 000 "$root/locked.bms" "$root/closed"
  chmod 644 "$root/listonly"   # names can be listed, entries not reached
  chmod 311 "$root/passonly"   # entries can be reached, not listed
  run_scan unreadable 30 --as-nobody --raw "$root"
  expect_clean unreadable
  expect_rows unreadable "$root" "R/${T}g${T}ok${T}a" "R/${T}${T}${T}" "R/listonly/${T}${T}${T}"
  record unreadable "as uid $( [ $is_root -eq 1 ] && echo 65534 || id -u): locked chart empty, folders passed over" "$(rows)"

  chmod 000 "$root"
  run_scan unreadable_root 30 --as-nobody --raw "$root"
  [ "$rc" -eq 1 ] || fail "unreadable_root: exit status $rc, wanted 1"
  grep -q "cannot read folder" "$err" || fail "unreadable_root: no message: $(head -c 300 "$err")"
  [ "$(rows)" -eq 0 ] || fail "unreadable_root: $(rows) rows"
  record unreadable_root "root folder mode 000: status 1 and a message" "$(rows)"
  chmod 755 "$root"
fi

echo
printf '%-18s | %-6s | %-66s | %8s | %7s | %6s\n' case result "what happened" rows "peak MB" seconds
for line in "${table[@]}"; do echo "$line"; done
if [ $failures -ne 0 ]; then
  echo "$failures case(s) failed"
  exit 1
fi
echo "all cases passed"
