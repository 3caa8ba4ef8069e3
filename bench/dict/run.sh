#!/usr/bin/env bash
# "export dict" plus "load dict" through the kelvo shell on a dictionary of
# 100,000 tables, 1,000,000 columns and 200,000 objects, written by mkdb. The
# reference is a plain sequential read of the same SYSTEM datafile, measured
# in this run.
set -euo pipefail
dir=${BENCH_DIR:?}/dict
rm -rf "$dir"
mkdir -p "$dir"
"$BENCH_BUILD/tools/builder/mkdb" dict "$dir" 100000 10 200000 >/dev/null
now() { date +%s.%N; }
t0=$(now)
cat "$dir/system01.dbf" >/dev/null
t1=$(now)
"$BENCH_BUILD/source/kelvo" config="$dir/config.ini" >"$dir/out.txt" 2>"$dir/err.txt" <<'CMDS'
export dict
load dict
exit
CMDS
t2=$(now)
grep -E 'export col\$|load   col\$|load   tab\$|load   obj\$' "$dir/err.txt" || true
awk -v r="$(echo "$t1 - $t0" | bc)" -v k="$(echo "$t2 - $t1" | bc)" 'BEGIN {
  printf "read of the datafile (reference): %.3f s\n", r
  printf "export dict + load dict:          %.3f s (%.1f x the reference)\n", k, (r > 0 ? k / r : 0) }'
