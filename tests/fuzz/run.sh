#!/bin/sh
# Fuzzes the packed-record reader and the patch-file splitter with libFuzzer.
#
#   tests/fuzz/run.sh [SECONDS [BUILD_DIR [LIBFUZZER_OPTION...]]]
#
# Builds tests/fuzz/libfuzzer with clang++ (-fsanitize=fuzzer,address,undefined) in BUILD_DIR
# (default /tmp/knotlattice-fuzz-patchfile) and runs it for SECONDS (default 300). The seed
# corpus tests/fuzz/corpus is only read; new inputs go to BUILD_DIR/corpus, and a crashing
# input is left as BUILD_DIR/crash-*. Replay one with: BUILD_DIR/fuzz_patchfile FILE
set -eu
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-300}
build=${2:-/tmp/knotlattice-fuzz-patchfile}
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && shift

cmake -S "$here/libfuzzer" -B "$build" -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
mkdir -p "$build/corpus"
exec "$build/fuzz_patchfile" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
    -artifact_prefix="$build/" "$@" "$build/corpus" "$here/corpus"
