#!/bin/sh
# Sets up, builds and runs every test.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
sh "$here/tools/setup.sh"
sh "$here/tools/build.sh"
cd "${KNOTLATTICE_BUILD_DIR:-$here/build}"
ctest --output-on-failure -j"$(nproc)"
