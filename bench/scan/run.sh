#!/usr/bin/env bash
# Runs "scan" through the kelvo shell over a 1 GiB datafile of table blocks
# (every block read, every row of every table block profiled, the result
# saved) beside `cat FILE > /dev/null` on the same file in the same run; both
# from the page cache, five runs each, interleaved: the best rate and the
# spread (slowest to fastest) of each. The datafile is dense: 171 rows of
# three columns (NUMBER, VARCHAR2, DATE) in every 8 KiB block. The scan is
# timed with a worker per core (the default) and with "parallel = 1".
#   BENCH_BUILD  the Release build directory; BENCH_DIR  scratch data directory
#   BENCH_SCAN_MIB  size of the datafile (default 1024)
set -euo pipefail
. "$(dirname "$0")/../whole_file.sh"
whole_file_bench scan "${BENCH_SCAN_MIB:-1024}" 0.5 "saved in" "data objects in" "parallel = 1"
