#!/usr/bin/env bash
# import of a 1,000,000-row dump (NUMBER, VARCHAR2, DATE; 7 columns) into the
# embedded target, beside the sqlite3 command's .import of the same rows as
# CSV into the same table, in the same run.
#   BENCH_BUILD  the Release build directory; BENCH_DIR  scratch directory
#   BENCH_ROWS   rows (default 1000000)
set -euo pipefail
build=${BENCH_BUILD:?}
dir=${BENCH_DIR:?}/import
rows=${BENCH_ROWS:-1000000}
rm -rf "$dir"
mkdir -p "$dir"
"$build/bench/import/make_bench_dump" "$dir/bench.dat" "$dir/bench.csv" "$rows"

now() { date +%s.%N; }

t0=$(now)
"$build/import/import" "u/p@$dir/imp" FILE="$dir/bench.dat" >"$dir/import.log" 2>&1
t1=$(now)
got=$(sqlite3 "$dir/imp/BENCH.db" 'select count(*) from BENCH')

# The same table as import created it, loaded by .import from CSV.
sqlite3 "$dir/imp/BENCH.db" .schema >"$dir/schema.sql"
sqlite3 "$dir/csv.db" <"$dir/schema.sql"
t2=$(now)
sqlite3 "$dir/csv.db" ".import --csv $dir/bench.csv BENCH"
t3=$(now)
ref=$(sqlite3 "$dir/csv.db" 'select count(*) from BENCH')

awk -v n="$rows" -v a="$t0" -v b="$t1" -v c="$t2" -v d="$t3" -v got="$got" -v ref="$ref" 'BEGIN {
  imp = n / (b - a); csv = n / (d - c);
  printf "import:          %8d rows in %6.2f s  %10.0f rows/s\n", got, b - a, imp;
  printf "sqlite3 .import: %8d rows in %6.2f s  %10.0f rows/s\n", ref, d - c, csv;
  printf "ratio import / .import: %.2f\n", imp / csv;
}'
