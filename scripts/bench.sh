#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs every bench/*/run.sh, or those
# named (`bash scripts/bench.sh throughput`), which print their figures
# beside a reference measured in the same run.
#   BENCH_DIR  where the benchmarks write their data files (default ./build-bench/data)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
install_missing "${BENCH_PACKAGES[@]}"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKELVO_BENCH=ON >/dev/null
cmake --build build-bench -j"$(nproc)"
export BENCH_BUILD=$PWD/build-bench
export BENCH_DIR=${BENCH_DIR:-$PWD/build-bench/data}
mkdir -p "$BENCH_DIR"
runs=(bench/*/run.sh)
if (( $# > 0 )); then
  runs=()
  for name in "$@"; do
    [ -f "bench/$name/run.sh" ] || { echo "no benchmark bench/$name/run.sh"; exit 1; }
    runs+=("bench/$name/run.sh")
  done
fi
for run in "${runs[@]}"; do
  [ -f "$run" ] || continue
  echo "== $run"
  bash "$run"
done
