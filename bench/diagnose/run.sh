#!/usr/bin/env bash
# Runs "verify" through the kelvo shell over a 1 GiB datafile of table
# blocks (every block read, check value, tail and headers checked) beside
# `cat FILE > /dev/null` on the same file in the same run; both from the
# page cache, five runs each, interleaved: the best rate and the spread
# (slowest to fastest) of each.
#   BENCH_BUILD  the Release build directory; BENCH_DIR  scratch data directory
#   BENCH_VERIFY_MIB  size of the datafile (default 1024)
set -euo pipefail
. "$(dirname "$0")/../whole_file.sh"
whole_file_bench verify "${BENCH_VERIFY_MIB:-1024}" 0.75 "^  corrupt  *0$" "blocks examined"
