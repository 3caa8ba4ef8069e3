#!/usr/bin/env bash
# The main job end to end on the bundled sample database (Debian 12, as root):
# installs what is missing, builds, writes the sample database with the
# builder, and drives the kelvo shell over it.
#   SAMPLE_DIR  where the sample database and its output go (default ./sample)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
install_missing "${BUILD_PACKAGES[@]}"

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"

sample=${SAMPLE_DIR:-$PWD/sample}
rm -rf "$sample"
build/tools/builder/mkdb sample "$sample"

echo "== kelvo on $sample/config.ini"
build/source/kelvo config="$sample/config.ini" <<'CMDS'
list files
export dict
load dict
list users
list tables
exit
CMDS
