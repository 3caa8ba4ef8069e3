#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs every bench/*/run.sh, which print
# their figures beside a reference measured in the same run.
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
for run in bench/*/run.sh; do
  [ -f "$run" ] || continue
  echo "== $run"
  bash "$run"
done
