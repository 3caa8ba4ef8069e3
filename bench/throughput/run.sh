#!/usr/bin/env bash
# Throughput of kelvo, every figure measured in this one run on the same
# files, with the datafiles, the copies and the dumps in a memory file system
# (so that no disk writeback blurs the figures). Each time is the best of
# BENCH_RUNS runs after one warm-up run, printed with the slowest run as its
# spread:
#   - "unload table" of bench/unload's table with "parallel = 1" and with one
#     worker per core, against `cat DATAFILE > COPY` and `cat DATAFILE >
#     /dev/null`: ratios, rows/s, MB/s, and the cores it kept busy (CPU time
#     over wall time);
#   - the LOB unload of bench/lob's BasicFile and SecureFile tables against
#     `cat LOBFILE > /dev/null`;
#   - the cost of block verification ("checksum = YES" against "NO") as a
#     share of the time it takes to read the table's datafile;
#   - "export dict" + "load dict" of bench/dict's 1,000,000 columns;
#   - peak memory: the largest process of each unload, beyond that of a run
#     that only loads the dictionary.
# The dictionary load that every unload run begins with is timed apart and
# taken off the unload times.
#   BENCH_BUILD           the Release build directory (scripts/bench.sh sets it)
#   BENCH_SHM             the memory file system (default /dev/shm)
#   BENCH_RUNS            measured runs of each command (default 5)
#   BENCH_THROUGHPUT_MIB  size of the table's datafile (default 600)
#   BENCH_LOB_COUNT       LOBs of 1 MiB per LOB table (default 400)
set -euo pipefail
build=${BENCH_BUILD:?}
runs=${BENCH_RUNS:-5}
mib=${BENCH_THROUGHPUT_MIB:-600}
lobs=${BENCH_LOB_COUNT:-400}
cores=$(nproc)
kelvo=$build/source/kelvo
shm=${BENCH_SHM:-/dev/shm}
dir=$shm/kelvo-throughput.$$
# Table datafile, its copy and two dumps; two LOB datafiles and their dumps
# (about 2.1 MiB a value); the dictionary's SYSTEM file and files.
need_mib=$(( 4 * mib + lobs * 9 / 2 + 400 ))
avail_mib=$(( $(df -Pk "$shm" | awk 'NR == 2 { print $4 }') / 1024 ))
if (( avail_mib < need_mib )); then
  echo "not enough space in $shm: $avail_mib MiB free, $need_mib MiB needed"
  exit 1
fi
mkdir -p "$dir"
trap 'rm -rf "$dir"' EXIT
usage=$dir/usage

# kelvo_run CONFIG COMMANDS: kelvo's output to $dir/log; user and system
# seconds and peak RSS (KiB; of the largest of kelvo and the processes it
# waited for) to $usage. A failed command ends the benchmark.
kelvo_run() {
  /usr/bin/time -f '%U %S %M' -o "$usage" "$kelvo" config="$1" >"$dir/log" 2>&1 <<<"$2"$'\nexit' ||
    { echo "kelvo failed on: ${2//$'\n'/; }"; tail -3 "$dir/log"; exit 1; }
}
# measure CLEAN CMD...: one warm-up run, then $runs runs of CMD, each after
# CLEAN. Sets best and worst (wall µs), cpu (CPU seconds of the best run)
# and rss (the largest peak RSS in KiB), the last two when CMD is kelvo_run.
measure() {
  local clean=$1 i t0 t1 us u s m
  shift
  $clean
  "$@"
  best=0 worst=0 cpu=0 rss=0
  for ((i = 0; i < runs; i++)); do
    $clean
    rm -f "$usage"
    t0=$(date +%s%N)
    "$@"
    t1=$(date +%s%N)
    us=$(( (t1 - t0) / 1000 ))
    u=0 s=0 m=0
    [ -s "$usage" ] && read -r u s m < <(tail -1 "$usage")
    (( m > rss )) && rss=$m
    if (( best == 0 || us < best )); then
      best=$us
      cpu=$(awk "BEGIN { print $u + $s }")
    fi
    (( us > worst )) && worst=$us
  done
  return 0
}
ms() { awk "BEGIN { printf \"%.1f\", $1 / 1000 }"; }
spread() { echo "best $(ms "$best") ms, slowest $(ms "$worst") ms"; }
ratio() { awk "BEGIN { printf \"%.2f\", $1 / $2 }"; }
per_s() { awk "BEGIN { printf \"%.0f\", $1 / ($2 / 1e6) }"; }
no_clean=:

echo "cores: $cores; load average before: $(cut -d' ' -f1-3 /proc/loadavg); runs: best of $runs"

# --- The table: unload against cat -------------------------------------
read -r file rows < <("$build/bench/unload/bench_unload_db" "$dir/unload" "$mib")
bytes=$(stat -c %s "$file")
cfg=$dir/unload/config.ini
kelvo_run "$cfg" 'export dict'
for p in 1 "$cores"; do
  { cat "$cfg"; echo "parallel = $p"; } >"$dir/unload/p$p.ini"
done
sed 's/^checksum *=.*/checksum = NO/' "$dir/unload/p1.ini" >"$dir/unload/p1_nocheck.ini"
dump=$dir/unload/data/SCOTT_BIG.dat
rm_copy() { rm -f "$dir/copy"; }
rm_dump() { rm -f "$dump"; }
cat_null() { cat "$file" >/dev/null; }
cat_copy() { cat "$file" >"$dir/copy"; }

echo "table SCOTT.BIG: datafile $bytes bytes, $rows rows"
measure "$no_clean" cat_null; null_us=$best
echo "  cat DATAFILE > /dev/null       : $(spread)"
measure rm_copy cat_copy; copy_us=$best
rm_copy
echo "  cat DATAFILE > COPY            : $(spread)"
measure "$no_clean" kelvo_run "$cfg" 'load dict'; dict_us=$best dict_rss=$rss
echo "  load dict (taken off below)    : $(spread)"
# unload_with CONFIG LABEL: the unload's best time less the dictionary load.
unload_with() {
  measure rm_dump kelvo_run "$1" 'load dict'$'\nunload table scott.big'
  grep -q "$(printf '%10d rows done.' "$rows")" "$dir/log" || { echo "unload did not report $rows rows"; tail -3 "$dir/log"; exit 1; }
  unload_us=$(( best - dict_us )) unload_cpu=$cpu
  echo "  unload table, $2: $(ms "$unload_us") ms (with the dictionary load: $(spread)); $(ratio "$unload_us" "$copy_us") x cat > COPY," \
    "$(ratio "$unload_us" "$null_us") x cat > /dev/null; $(per_s "$rows" "$unload_us") rows/s," \
    "$(per_s "$(( bytes / 1000000 ))" "$unload_us") MB/s; cores used $(awk "BEGIN { printf \"%.2f\", $cpu / ($best / 1e6) }")" \
    "of $cores; peak RSS $rss KiB, $(( (rss - dict_rss) / 1024 )) MiB beyond the dictionary"
}
unload_with "$dir/unload/p1.ini" "parallel = 1 "
p1_us=$unload_us p1_cpu=$unload_cpu
mv "$dump" "$dir/unload/p1.dat"
unload_with "$dir/unload/p$cores.ini" "$(printf 'parallel = %-2d' "$cores")"
cmp -s "$dump" "$dir/unload/p1.dat" || { echo "the dumps of parallel = 1 and parallel = $cores differ"; exit 1; }
echo "  (aim: at most 1.5 x cat > COPY with all cores; peak RSS under 64 MiB beyond the dictionary per worker;"
echo "   the dumps of both runs are identical)"

# --- Verification --------------------------------------------------------
unload_with "$dir/unload/p1_nocheck.ini" "checksum = NO"
cmp -s "$dump" "$dir/unload/p1.dat" || { echo "the dump without verification differs"; exit 1; }
rm -f "$dump" "$dir/unload/p1.dat"
echo "verification: the unload with checksum = YES against NO takes $(( (p1_us - unload_us) / 1000 )) ms more wall time," \
  "$(awk "BEGIN { printf \"%.0f\", ($p1_cpu - $unload_cpu) * 1000 }") ms more CPU time (of the best runs):" \
  "$(awk "BEGIN { printf \"%.0f\", 100 * ($p1_us - $unload_us) / $null_us }")% and" \
  "$(awk "BEGIN { printf \"%.0f\", 100 * ($p1_cpu - $unload_cpu) * 1e6 / $null_us }")% of cat > /dev/null"
# The reads alone, as the unload reads (one read per extent run, then each
# block checked) and as read_extent_blocks reads, in one process, on against
# off, in CPU time (which other processes on the machine disturb less).
"$build/bench/foundation/bench_read" read "$file" 2>/dev/null | awk '
  /verification off/ { off[$1 " " $2] = $(NF-1) }
  /verification on/  { on[$1 " " $2] = $(NF-1) }
  END { for (k in off)
          printf "  %s blocks a call: verification adds %.0f%% to the read time (%d MB/s on, %d off)\n",
                 k, 100 * (off[k] / on[k] - 1), on[k], off[k] }' | sort
echo "  (aim: under 15%)"
rm -rf "$dir/unload" "$dir/copy"

# --- LOBs ----------------------------------------------------------------
mkdir -p "$dir/lob"
"$build/bench/lob/bench_lob_db" "$dir/lob" "$lobs" >"$dir/lob/files"
cfg=$dir/lob/config.ini
kelvo_run "$cfg" 'export dict'
measure "$no_clean" kelvo_run "$cfg" 'load dict'; dict_us=$best
while read -r table file _; do
  lower=$(tr 'A-Z' 'a-z' <<<"$table")
  dump=$dir/lob/data/SCOTT_$table.dat
  measure "$no_clean" cat_null; null_us=$best
  measure rm_dump kelvo_run "$cfg" 'load dict'$'\nunload table scott.'"$lower"
  grep -q "$(printf '%10d rows done.' "$lobs")" "$dir/log" || { echo "unload of $table did not report $lobs rows"; tail -3 "$dir/log"; exit 1; }
  u=$(( best - dict_us ))
  echo "LOB table $table ($lobs values of 1 MiB): cat LOBFILE > /dev/null $(ms "$null_us") ms, unload $(ms "$u") ms" \
    "(with the dictionary load: $(spread)): $(ratio "$null_us" "$u") of the rate of cat > /dev/null (aim at least 0.5)"
  rm -f "$dump"
done <"$dir/lob/files"
rm -rf "$dir/lob"

# --- Dictionary ----------------------------------------------------------
"$build/tools/builder/mkdb" dict "$dir/dict" 100000 10 200000 >/dev/null
file=$dir/dict/system01.dbf
measure "$no_clean" cat_null; null_us=$best
measure "$no_clean" kelvo_run "$dir/dict/config.ini" $'export dict\nload dict'
grep -q '1000396 rows done' "$dir/log" || { echo "the dictionary did not load its columns"; tail -3 "$dir/log"; exit 1; }
echo "dictionary of 1,000,000 columns: export dict + load dict $(spread); $(ratio "$best" "$null_us") x cat SYSTEM > /dev/null" \
  "($(ms "$null_us") ms); CPU time of the best run $cpu s; peak RSS $rss KiB (aim under 1 s)"
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
