#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root), builds kelvo four ways and runs
# every test: the normal build (the Debian package's test among them), the
# portable static build (only its own programs and test), the AddressSanitizer
# + UndefinedBehaviorSanitizer build, and a bounded libFuzzer run of every fuzz
# target. The PostgreSQL import tests run against a private cluster the
# script starts and stops.
#   FUZZ_SECONDS  seconds per fuzz target (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
install_missing "${TEST_PACKAGES[@]}"

# The PostgreSQL import tests load into a private cluster started for this
# run (Unix socket in its temporary directory, no TCP); KELVO_PG tells the
# tests where it is, and the cluster goes when the script ends, however.
. scripts/pg_cluster.sh
trap pg_cluster_stop EXIT
pg_cluster_start || { echo "could not start a PostgreSQL cluster" >&2; exit 1; }
echo "PostgreSQL cluster for the tests: $KELVO_PG"

jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-60}
passed=0
failed=0

run_ctest() { # build-dir [ctest options]
  local log rc=0 n dir=$1
  shift
  log=$(mktemp)
  (cd "$dir" && ctest --output-on-failure -j"$jobs" "$@") 2>&1 | tee "$log" || rc=$?
  n=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1 \2/p' "$log" | tail -n 1)
  if [ -n "$n" ]; then
    set -- $n
    failed=$((failed + $1)); passed=$((passed + $2 - $1))
  else
    failed=$((failed + 1))
  fi
  rm -f "$log"
  return $rc
}

status=0

echo "== normal build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
run_ctest build || status=1

echo "== portable build (static kelvo, tabview, colview in an empty root)"
cmake -S . -B build-static -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVO_STATIC=ON >/dev/null
cmake --build build-static -j"$jobs" --target test_portable
run_ctest build-static -R '^Portable\.' || status=1

echo "== sanitizer build (ASan + UBSan)"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVO_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  run_ctest build-asan || status=1

echo "== fuzz build (libFuzzer + ASan + UBSan), ${fuzz_seconds}s per target"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKELVO_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$jobs"
# One target for fuzz_seconds from its seed corpus; its log and result are
# left in the results directory. As many targets run at once as there are
# cores; their reports follow in name order.
fuzz_one() { # target results-dir
  local target=$1 out=$2 name corpus src_dir seeds=()
  name=$(basename "$target")
  corpus=$(mktemp -d)
  src_dir=$(dirname "$target" | sed "s|^build-fuzz/|./|")
  [ -d "$src_dir/corpus_$name" ] && seeds=("$src_dir/corpus_$name")
  if "$target" -max_total_time="$fuzz_seconds" -rss_limit_mb=2048 -print_final_stats=1 \
       "$corpus" "${seeds[@]}" >"$out/$name.log" 2>&1; then
    echo 0 >"$out/$name.rc"
  else
    echo 1 >"$out/$name.rc"
  fi
  rm -rf "$corpus"
}
results=$(mktemp -d)
mapfile -t targets < <(find build-fuzz/fuzz -type f -name 'fuzz_*' -perm -u+x 2>/dev/null | sort)
running=0
for target in "${targets[@]}"; do
  fuzz_one "$target" "$results" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait
for target in "${targets[@]}"; do
  name=$(basename "$target")
  echo "-- $name"
  if [ "$(cat "$results/$name.rc" 2>/dev/null)" = 0 ]; then
    passed=$((passed + 1)); tail -n 3 "$results/$name.log"
  else
    failed=$((failed + 1)); status=1; tail -n 60 "$results/$name.log"
  fi
done
rm -rf "$results"

echo
echo "tests: $passed passed, $failed failed"
exit $status
