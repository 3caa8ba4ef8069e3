#!/usr/bin/env bash
# Unloads 1,000 BasicFile and 1,000 SecureFile BLOBs of 1 MiB each (one table
# of each) with "unload table" through the kelvo shell, beside `cat` of each
# table's LOB datafile to /dev/null, and to a copy (reading and writing as
# many bytes as the unload), in the same run; the unload also once more with
# its dump file linked to /dev/null. Every command runs once to warm
# the page cache, then three times measured; the best time counts. Rates are
# the LOB datafile's bytes over the time taken; the aim is at least half of
# the rate of cat to /dev/null.
#   BENCH_BUILD  the Release build directory; BENCH_DIR  scratch data directory
#   BENCH_LOB_COUNT  values per table (default 1000)
#   BENCH_LOB_CHUNK  blocks per BasicFile chunk (default 4)
set -euo pipefail
build=${BENCH_BUILD:?}
dir=${BENCH_DIR:?}/lob
count=${BENCH_LOB_COUNT:-1000}
rm -rf "$dir"
mkdir -p "$dir"
# About 1.05 MiB of datafile and 1 MiB of dump (or copy) per value and table.
need_kib=$(( count * 2 * 2200 ))
avail_kib=$(df -Pk "$dir" | awk 'NR == 2 { print $4 }')
if (( avail_kib < need_kib + 1048576 )); then
  echo "not enough space in $dir: $(( avail_kib / 1024 )) MiB free, $(( need_kib / 1024 + 1024 )) MiB needed"
  exit 1
fi
trap 'rm -rf "$dir"' EXIT

t0=$(date +%s%N)
"$build/bench/lob/bench_lob_db" "$dir" "$count" >"$dir/files"
t1=$(date +%s%N)
echo "database of $count + $count LOBs of 1 MiB built in $(( (t1 - t0) / 1000000 )) ms"
kelvo=$build/source/kelvo
run_kelvo() { "$kelvo" config="$dir/config.ini" >"$dir/log" 2>&1 <<<"$1"; }
mbs() { awk "BEGIN { printf \"%.1f\", $1 / 1000000 / ($2 / 1e9) }"; }
# Best time in ns of three runs of "$@", after one run to warm up; $clean
# runs before each.
clean=:
best() {
  local b=0 t0 t1 i
  $clean; "$@"
  for i in 1 2 3; do
    $clean
    t0=$(date +%s%N); "$@"; t1=$(date +%s%N)
    (( b == 0 || t1 - t0 < b )) && b=$(( t1 - t0 ))
  done
  echo "$b"
}
cat_null() { cat "$1" >/dev/null; }
cat_copy() { cat "$1" >"$dir/copy"; }

dict_cmds=$'export dict\nload dict'
run_kelvo "$dict_cmds"$'\nexit'
# The dictionary part is timed apart and taken off.
d=$(best run_kelvo "$dict_cmds"$'\nexit')
while read -r table file bytes; do
  size=$(stat -c %s "$file")
  lower=$(tr 'A-Z' 'a-z' <<<"$table")
  clean=:
  c=$(best cat_null "$file")
  clean="rm -f $dir/copy"
  w=$(best cat_copy "$file")
  rm -f "$dir/copy"
  clean="rm -f $dir/data/SCOTT_$table.dat"
  u=$(( $(best run_kelvo "$dict_cmds"$'\nunload table scott.'"$lower"$'\nexit') - d ))
  grep -q "$(printf '%10d rows done.' "$count")" "$dir/log" || { echo "unload of $table did not report $count rows"; tail -3 "$dir/log"; exit 1; }
  dump=$(stat -c %s "$dir/data/SCOTT_$table.dat")
  (( dump > bytes )) || { echo "dump of $table holds $dump bytes, less than its $bytes bytes of LOB data"; exit 1; }
  # The same unload with the dump file a link to /dev/null: the reading and
  # decoding alone, without the cost of writing the dump into the page cache.
  clean="ln -sf /dev/null $dir/data/SCOTT_$table.dat"
  n=$(( $(best run_kelvo "$dict_cmds"$'\nunload table scott.'"$lower"$'\nexit') - d ))
  rm -f "$dir/data/SCOTT_$table.dat"
  echo "$table: LOB datafile $size bytes, LOB data $bytes bytes, dump $dump bytes"
  echo "  cat LOB datafile > /dev/null  : $(mbs "$size" "$c") MB/s"
  echo "  cat LOB datafile > COPY       : $(mbs "$size" "$w") MB/s"
  echo "  unload table                  : $(mbs "$size" "$u") MB/s  (ratio $(awk "BEGIN { printf \"%.2f\", $c / $u }") of cat to /dev/null, aim at least 0.50; $(awk "BEGIN { printf \"%.2f\", $w / $u }") of cat to a copy)"
  echo "  unload table, dump /dev/null  : $(mbs "$size" "$n") MB/s  (ratio $(awk "BEGIN { printf \"%.2f\", $c / $n }") of cat to /dev/null)"
done <"$dir/files"
