#!/usr/bin/env bash
# The main job end to end on the bundled sample database (Debian 12, as root):
# installs what is missing, builds the programs it runs, writes the sample
# database with the builder, and drives the kelvo shell over it.
#   SAMPLE_DIR  where the sample database and its output go (default ./sample)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
install_missing "${BUILD_PACKAGES[@]}"

# Only the programs the demo runs; scripts/test.sh builds everything.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target kelvo import dumpcat mkdb

sample=${SAMPLE_DIR:-$PWD/sample}
rm -rf "$sample"
build/tools/builder/mkdb sample "$sample"

echo "== kelvo on $sample/config.ini"
build/source/kelvo config="$sample/config.ini" <<'CMDS'
list files
export dict
load dict
list users
list tables scott
unload user scott
unload table scott.emp
exit
CMDS

echo "== dump files in $sample/data"
ls -l "$sample/data"

# Load SCOTT's dump into the embedded SQLite target: the tnsname is the
# directory that receives one SCHEMA.db per schema.
target="$sample/target"
echo "== import $sample/data/SCOTT.dat into $target"
build/import/import USERID=scott/tiger@"$target" FILE="$sample/data/SCOTT.dat"

echo "== recovered rows (sqlite3 $target/SCOTT.db)"
sqlite3 -header -column "$target/SCOTT.db" 'select * from EMP order by EMPNO limit 5;'
sqlite3 -header -column "$target/SCOTT.db" 'select * from DEPT order by DEPTNO;'
# DOCS: BODY a CLOB (inline, or in BasicFile chunks), IMAGE a SecureFile BLOB.
sqlite3 -header -column "$target/SCOTT.db" \
  'select ID, length(BODY), substr(BODY, 1, 40) as BODY_START, length(IMAGE), hex(substr(IMAGE, 1, 4)) as IMAGE_START from DOCS order by ID;'

# The same dump as text, without any database: one CSV file per table.
csv="$sample/csv"
echo "== dumpcat $sample/data/SCOTT.dat as CSV into $csv"
build/dumpcat/dumpcat FILE="$sample/data/SCOTT.dat" OUTDIR="$csv"
ls -l "$csv"
head -5 "$csv/SCOTT_EMP.csv"
cat "$csv/SCOTT_DEPT.csv"

# The same dump into PostgreSQL, when it is installed: a private cluster
# started for the demo (Unix socket in a temporary directory, no TCP) and
# stopped at the end.
. scripts/pg_cluster.sh
if [ -x "$PG_BIN/initdb" ] && command -v psql >/dev/null; then
  trap pg_cluster_stop EXIT
  if pg_cluster_start; then
    echo "== import $sample/data/SCOTT.dat into PostgreSQL ($KELVO_PG)"
    build/import/import "USERID=postgres/x@pg:$KELVO_PG" FILE="$sample/data/SCOTT.dat" >"$sample/pg_import.log"
    tail -n 3 "$sample/pg_import.log"
    psql "$KELVO_PG" -c 'select * from scott.emp order by empno limit 5' \
      -c 'select id, length(body), left(body, 40) as body_start, length(image), substr(image, 1, 4) as image_start from scott.docs order by id'
  else
    echo "== PostgreSQL cluster did not start: PostgreSQL part skipped"
  fi
else
  echo "== PostgreSQL is not installed ($PG_BIN/initdb): PostgreSQL part skipped (apt-get install postgresql-15)"
fi
