#!/bin/sh
# Configures and builds into build/ (or $KNOTLATTICE_BUILD_DIR). Extra arguments go to cmake.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
build=${KNOTLATTICE_BUILD_DIR:-"$here/build"}
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
cmake --build "$build" -j"$(nproc)"
