#!/bin/sh
# Sets up, builds and starts the editor.
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
sh "$here/tools/setup.sh"
sh "$here/tools/build.sh"
exec "${KNOTLATTICE_BUILD_DIR:-$here/build}/bin/Knotlattice" "$@"
