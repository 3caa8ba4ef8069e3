#!/usr/bin/env bash
# import of a 1,000,000-row dump (NUMBER, VARCHAR2, DATE, TIMESTAMP, RAW) into
# PostgreSQL, beside psql's \copy of the same rows as CSV into a table of the
# same shape, in the same run, on a private cluster started for it.
#   BENCH_BUILD  the Release build directory; BENCH_DIR  scratch directory
#   BENCH_ROWS   rows (default 1000000)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BENCH_BUILD:?}
dir=${BENCH_DIR:?}/pg
rows=${BENCH_ROWS:-1000000}
. scripts/pg_cluster.sh
if [ ! -x "$PG_BIN/initdb" ]; then
  echo "PostgreSQL is not installed: benchmark skipped"
  exit 0
fi
trap pg_cluster_stop EXIT
pg_cluster_start
rm -rf "$dir"
mkdir -p "$dir"
"$build/bench/import/make_bench_dump" "$dir/bench.dat" "$dir/bench.csv" "$rows" pg
chmod a+r "$dir/bench.csv"

now() { date +%s.%N; }

t0=$(now)
"$build/import/import" "USERID=postgres/x@pg:$KELVO_PG" FILE="$dir/bench.dat" >"$dir/import.log" 2>&1
t1=$(now)
got=$(psql "$KELVO_PG" -Atc 'select count(*) from bench.bench')

# The same table as import created it, loaded by \copy from CSV.
psql "$KELVO_PG" -qc 'create schema ref; create table ref.bench (like bench.bench)'
t2=$(now)
psql "$KELVO_PG" -qc "\\copy ref.bench from '$dir/bench.csv' with (format csv)"
t3=$(now)
ref=$(psql "$KELVO_PG" -Atc 'select count(*) from ref.bench')
same=$(psql "$KELVO_PG" -Atc 'select count(*) from (select * from bench.bench except select * from ref.bench) d')

awk -v n="$rows" -v a="$t0" -v b="$t1" -v c="$t2" -v d="$t3" -v got="$got" -v ref="$ref" -v diff="$same" 'BEGIN {
  imp = n / (b - a); csv = n / (d - c);
  printf "import into PostgreSQL: %8d rows in %6.2f s  %10.0f rows/s\n", got, b - a, imp;
  printf "psql \\copy from CSV:    %8d rows in %6.2f s  %10.0f rows/s\n", ref, d - c, csv;
  printf "ratio import / \\copy: %.2f; rows of import not in the \\copy table: %d\n", imp / csv, diff;
}'
