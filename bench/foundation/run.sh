#!/usr/bin/env bash
# Reads a 1 GiB datafile through read_extent_blocks, and as the unload's
# segment walks read (read_blocks_quiet), with block verification off and
# on, and compares with `cat FILE > /dev/null` on the same file in the same
# run, each the best of five runs. All runs read from the page cache (the
# file is read once before), so the figures compare the reader's own cost
# with the cheapest possible read. bench_read's rates are of its CPU time,
# cat's of wall time: the same on an idle machine.
#   BENCH_BUILD  the Release build directory; BENCH_DIR  scratch data directory
set -euo pipefail
build=${BENCH_BUILD:?}
dir=${BENCH_DIR:?}
mib=${BENCH_READ_MIB:-1024}
file=$dir/bench_read.dbf
bench=$build/bench/foundation/bench_read

if [ -x "$build/tools/builder/mkdb" ] && "$build/tools/builder/mkdb" big "$file" "$mib" >/dev/null 2>&1; then
  echo "datafile: $mib MiB written by mkdb"
else
  "$bench" gen "$file" "$mib"
  echo "datafile: $mib MiB written by bench_read gen (mkdb could not write it)"
fi

bytes=$(stat -c %s "$file")
rate_cat() {
  local t0 t1
  t0=$(date +%s%N)
  cat "$file" >/dev/null
  t1=$(date +%s%N)
  echo $(( bytes * 1000 / (t1 - t0) ))
}

best_cat() { # best of five, as bench_read takes its best of five
  local best=0 r i
  for i in 1 2 3 4 5; do
    r=$(rate_cat)
    (( r > best )) && best=$r
  done
  echo $best
}

cat "$file" >/dev/null # into the page cache
c1=$(best_cat)
out=$("$bench" read "$file" 2> >(grep -v "^SYSTEM tablespace file not configured" >&2))
c2=$(best_cat)
cat_rate=$(( c1 > c2 ? c1 : c2 ))
echo "cat FILE > /dev/null: $cat_rate MB/s (best of five before and after: $c1, $c2)"
echo "$out"
# Ratios per batch size: reading against cat, and the time verification adds
# relative to the read without it.
awk -v c="$cat_rate" '
  /verification off/ { off[$1 " " $2] = $(NF-1) }
  /verification on/  { on[$1 " " $2] = $(NF-1) }
  END { for (k in off)
          printf "%s blocks a call: verification off / cat = %.2f; verification adds %.0f%% to the read time\n",
                 k, off[k] / c, 100 * (off[k] / on[k] - 1) }' <<<"$out" | sort
rm -f "$file"
