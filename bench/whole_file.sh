# Sourced by the benchmarks of the commands that read whole datafiles with no
# dictionary ("verify", "scan"): runs the command through the kelvo shell over
# a datafile of table blocks written by mkdb, beside `cat FILE > /dev/null` on
# the same file in the same run; both from the page cache, five runs each,
# interleaved: the best rate and the spread (slowest to fastest) of each.
#   whole_file_bench NAME MIB AIM OK_PATTERN SHOW_PATTERN [CONFIG_LINE]
# NAME is the command, MIB the datafile's size, AIM the least command/cat
# ratio aimed at; OK_PATTERN must match a line of the command's output,
# whose first line matching SHOW_PATTERN is printed. With CONFIG_LINE the
# command is also timed with that line added to the configuration (e.g.
# "parallel = 1": the rate of one process beside that of all the cores).
#   BENCH_BUILD  the Release build directory; BENCH_DIR  scratch data directory
whole_file_bench() {
  local name=$1 mib=$2 aim=$3 ok=$4 show=$5 also=${6:-}
  local build=${BENCH_BUILD:?} dir=${BENCH_DIR:?}/$name
  rm -rf "$dir"
  mkdir -p "$dir/dict" "$dir/data"
  local file=$dir/users01.dbf
  "$build/tools/builder/mkdb" big "$file" "$mib" >/dev/null
  echo "$file" >"$dir/datafiles.txt"
  printf 'dictdir = %s/dict\ndatadir = %s/data\ndatafiles = %s/datafiles.txt\n' "$dir" "$dir" "$dir" >"$dir/config.ini"
  local bytes; bytes=$(stat -c %s "$file")
  echo "datafile: $bytes bytes of table blocks written by mkdb"
  ns() { date +%s%N; }
  rate() { echo $(( bytes * 1000 / ($2 - $1) )); }   # MB/s from two ns stamps
  cat "$file" >/dev/null
  [ -z "$also" ] || { cp "$dir/config.ini" "$dir/also.ini"; echo "$also" >>"$dir/also.ini"; }
  local cats=() runs=() alsos=() i t0 t1
  for i in 1 2 3 4 5; do
    t0=$(ns); cat "$file" >/dev/null; t1=$(ns)
    cats+=("$(rate "$t0" "$t1")")
    t0=$(ns); "$build/source/kelvo" config="$dir/config.ini" "$name" >"$dir/out" 2>"$dir/err" || true; t1=$(ns)
    runs+=("$(rate "$t0" "$t1")")
    [ -z "$also" ] && continue
    t0=$(ns); "$build/source/kelvo" config="$dir/also.ini" "$name" >/dev/null 2>&1 || true; t1=$(ns)
    alsos+=("$(rate "$t0" "$t1")")
  done
  grep -q "$ok" "$dir/out" || { echo "$name failed:"; tail -5 "$dir/out" "$dir/err"; return 1; }
  grep "$show" "$dir/out" | head -1
  summary() { # label rates...
    local label=$1; shift
    local sorted; sorted=$(printf '%s\n' "$@" | sort -n | tr '\n' ' ')
    set -- $sorted
    printf '%-22s best %6d MB/s  (spread %d..%d)\n' "$label" "$3" "$1" "$3"
  }
  summary "cat FILE > /dev/null" "${cats[@]}"
  summary "$name" "${runs[@]}"
  [ -z "$also" ] || summary "$name, $also" "${alsos[@]}"
  local best_cat best_run
  best_cat=$(printf '%s\n' "${cats[@]}" | sort -n | tail -1)
  best_run=$(printf '%s\n' "${runs[@]}" | sort -n | tail -1)
  echo "$name / cat = $(awk "BEGIN{printf \"%.2f\", $best_run/$best_cat}") (aim at least $aim; $(nproc) cores)"
  if [ -n "$also" ]; then
    local best_also; best_also=$(printf '%s\n' "${alsos[@]}" | sort -n | tail -1)
    echo "$name, $also / cat = $(awk "BEGIN{printf \"%.2f\", $best_also/$best_cat}")"
  fi
  rm -rf "$dir"
}
