#!/usr/bin/env bash
# Unloads a table of at least 1 GiB (millions of NUMBER, VARCHAR2, DATE rows,
# a chained row every 64 blocks) with "unload table" through the kelvo shell,
# beside `cat DATAFILE > COPY` (reading and writing as many bytes) in the same
# run; both from the page cache, best of three. Peak memory of the unload is
# compared with a run that only exports and loads the dictionary.
#   BENCH_BUILD  the Release build directory; BENCH_DIR  scratch data directory
#   BENCH_UNLOAD_MIB  size of the table's datafile (default 1100)
set -euo pipefail
build=${BENCH_BUILD:?}
dir=${BENCH_DIR:?}/unload
mib=${BENCH_UNLOAD_MIB:-1100}
rm -rf "$dir"
mkdir -p "$(dirname "$dir")"
read -r file rows < <("$build/bench/unload/bench_unload_db" "$dir" "$mib")
kelvo=$build/source/kelvo
bytes=$(stat -c %s "$file")
echo "table datafile: $bytes bytes, $rows rows"

ms() { echo $(( ($2 - $1) / 1000000 )); }
run_kelvo() { # commands -> peak RSS in KiB on stdout, kelvo's output to $dir/log
  /usr/bin/time -f %M -o "$dir/rss" "$kelvo" config="$dir/config.ini" >"$dir/log" 2>&1 <<<"$1" || true
  cat "$dir/rss"
}

cat "$file" >/dev/null
best_cat=0 best_unload=0
for i in 1 2 3; do
  rm -f "$dir/copy"
  t0=$(date +%s%N); cat "$file" >"$dir/copy"; t1=$(date +%s%N)
  c=$(ms "$t0" "$t1"); (( best_cat == 0 || c < best_cat )) && best_cat=$c
  rm -f "$dir/copy"
  # The dictionary part is timed apart and taken off.
  t0=$(date +%s%N); run_kelvo $'export dict\nload dict\nexit' >/dev/null; t1=$(date +%s%N)
  d=$(ms "$t0" "$t1")
  t0=$(date +%s%N); rss=$(run_kelvo $'export dict\nload dict\nunload table scott.big\nexit'); t1=$(date +%s%N)
  u=$(( $(ms "$t0" "$t1") - d ))
  (( best_unload == 0 || u < best_unload )) && best_unload=$u
done
grep -q "$(printf '%10d rows done.' "$rows")" "$dir/log" || { echo "unload did not report $rows rows"; tail -3 "$dir/log"; exit 1; }
dump=$(stat -c %s "$dir/data/SCOTT_BIG.dat")
base_rss=$(run_kelvo $'export dict\nload dict\nexit')
echo "dump file: $dump bytes"
echo "cat DATAFILE > COPY : ${best_cat} ms"
echo "unload table        : ${best_unload} ms  (ratio $(awk "BEGIN{printf \"%.2f\", $best_unload/$best_cat}") of the copy; aim at most 1.5)"
echo "peak RSS: unload ${rss} KiB, dictionary only ${base_rss} KiB, beyond the dictionary $(( (rss - base_rss) / 1024 )) MiB (aim under 64)"
rm -rf "$dir"
