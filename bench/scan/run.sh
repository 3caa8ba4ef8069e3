#!/usr/bin/env bash
# Runs "scan" through the kelvo shell over a 1 GiB datafile of table blocks
# (every block read, every row of every table block profiled, the result
# saved) beside `cat FILE > /dev/null` on the same file in the same run; both
# from the page cache, three runs each, interleaved: the best rate and the
# spread (slowest to fastest) of each.
#   BENCH_BUILD  the Release build directory; BENCH_DIR  scratch data directory
#   BENCH_SCAN_MIB  size of the datafile (default 1024)
set -euo pipefail
build=${BENCH_BUILD:?}
dir=${BENCH_DIR:?}/scan
mib=${BENCH_SCAN_MIB:-1024}
rm -rf "$dir"
mkdir -p "$dir/dict" "$dir/data"
file=$dir/users01.dbf
"$build/tools/builder/mkdb" big "$file" "$mib" >/dev/null
echo "$file" >"$dir/datafiles.txt"
printf 'dictdir = %s/dict\ndatadir = %s/data\ndatafiles = %s/datafiles.txt\n' "$dir" "$dir" "$dir" >"$dir/config.ini"
bytes=$(stat -c %s "$file")
echo "datafile: $bytes bytes of table blocks written by mkdb"

ns() { date +%s%N; }
rate() { echo $(( bytes * 1000 / ($2 - $1) )); }   # MB/s from two ns stamps

cat "$file" >/dev/null
cats=() scans=()
for i in 1 2 3; do
  t0=$(ns); cat "$file" >/dev/null; t1=$(ns)
  cats+=("$(rate "$t0" "$t1")")
  t0=$(ns); "$build/source/kelvo" config="$dir/config.ini" scan >"$dir/out" 2>"$dir/err" || true; t1=$(ns)
  scans+=("$(rate "$t0" "$t1")")
done
grep -q "saved in" "$dir/out" || { echo "scan failed:"; tail -5 "$dir/out" "$dir/err"; exit 1; }
tail -1 "$dir/out"
summary() { # label rates...
  local label=$1; shift
  local sorted; sorted=$(printf '%s\n' "$@" | sort -n | tr '\n' ' ')
  set -- $sorted
  printf '%-22s best %6d MB/s  (spread %d..%d)\n' "$label" "$3" "$1" "$3"
}
summary "cat FILE > /dev/null" "${cats[@]}"
summary "scan" "${scans[@]}"
best_cat=$(printf '%s\n' "${cats[@]}" | sort -n | tail -1)
best_scan=$(printf '%s\n' "${scans[@]}" | sort -n | tail -1)
echo "scan / cat = $(awk "BEGIN{printf \"%.2f\", $best_scan/$best_cat}") (aim at least 0.5)"
rm -rf "$dir"
