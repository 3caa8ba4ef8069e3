#!/usr/bin/env bash
# dumpcat FORMAT=csv of a large dump (1 GiB: scalar tables, and LOB tables of
# 1 MiB values) beside cat of the same dump, in the same run; the aim is at
# least half of cat's rate. Both read the file once from the page cache.
#   BENCH_BUILD  the Release build directory; BENCH_DIR  scratch directory
#   BENCH_MB     size of the dump in MiB (default 1024)
set -euo pipefail
: "${BENCH_BUILD:?}" "${BENCH_DIR:?}"
dir=$BENCH_DIR/dumpcat
rm -rf "$dir" && mkdir -p "$dir/csv"
"$BENCH_BUILD/bench/dumpcat/make_cat_dump" "$dir/bench.dat" "${BENCH_MB:-1024}"
size=$(stat -c %s "$dir/bench.dat")

now() { date +%s.%N; }

cat "$dir/bench.dat" >/dev/null   # both runs start from the page cache
t0=$(now)
cat "$dir/bench.dat" >"$dir/cat.out"
t1=$(now)
"$BENCH_BUILD/dumpcat/dumpcat" FILE="$dir/bench.dat" OUTDIR="$dir/csv" 2>"$dir/dumpcat.log"
t2=$(now)
out=$(du -sb "$dir/csv" | cut -f1)
rm -f "$dir/cat.out"

awk -v n="$size" -v o="$out" -v a="$t0" -v b="$t1" -v c="$t2" 'BEGIN {
  cat = n / (b - a) / 1048576; dc = n / (c - b) / 1048576;
  printf "cat:                 %8.0f MiB in %6.2f s  %8.1f MiB/s\n", n / 1048576, b - a, cat;
  printf "dumpcat FORMAT=csv:  %8.0f MiB in %6.2f s  %8.1f MiB/s of dump (%.0f MiB of CSV written)\n", n / 1048576, c - b, dc, o / 1048576;
  printf "ratio dumpcat / cat: %.2f (aim: 0.50 or more)\n", dc / cat;
}'
