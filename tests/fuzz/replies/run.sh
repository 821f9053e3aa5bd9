#!/bin/sh
# Fuzzes the readers of the repository's replies with libFuzzer.
#
#   tests/fuzz/replies/run.sh [SECONDS [BUILD_DIR [LIBFUZZER_OPTION...]]]
#
# Builds libfuzzer/ with clang++ (-fsanitize=fuzzer,address,undefined) in BUILD_DIR (default
# /tmp/knotlattice-fuzz-replies) and runs it for SECONDS (default 300) with the XML dictionary
# replies.dict. The seed corpus corpus/ is only read; new inputs go to BUILD_DIR/corpus, and a
# crashing input is left as BUILD_DIR/crash-*. Replay one with: BUILD_DIR/fuzz_replies FILE
set -eu
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-300}
build=${2:-/tmp/knotlattice-fuzz-replies}
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && shift

cmake -S "$here/libfuzzer" -B "$build" -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
mkdir -p "$build/corpus"
exec "$build/fuzz_replies" -max_total_time="$seconds" -max_len=16384 -print_final_stats=1 \
    -dict="$here/replies.dict" -artifact_prefix="$build/" "$@" "$build/corpus" "$here/corpus"
