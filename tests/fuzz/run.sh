#!/bin/sh
# Fuzzes one target with libFuzzer.
#
#   tests/fuzz/run.sh TARGET [SECONDS [BUILD_DIR [LIBFUZZER_OPTION...]]]
#
# TARGET is patchfile (the packed-record reader and the patch-file splitter), blockfile (the
# block-description reader), openpatch (the open path from file bytes to a document and its
# scene) or emulatorinput (the emulator program's control input). Builds tests/fuzz/libfuzzer
# with clang (-fsanitize=fuzzer,address,undefined) in BUILD_DIR (default
# /tmp/knotlattice-fuzz) and runs the target for SECONDS (default 300) on inputs up to 1 MiB.
# The committed corpus tests/fuzz/corpus/TARGET is only read; new inputs go to
# BUILD_DIR/corpus-TARGET, and a crashing input is left as BUILD_DIR/TARGET-crash-*.
# Replay one with: BUILD_DIR/fuzz_TARGET FILE. Minimise a grown corpus into the committed one
# with: BUILD_DIR/fuzz_TARGET -merge=1 tests/fuzz/corpus/TARGET BUILD_DIR/corpus-TARGET
set -eu
here=$(cd "$(dirname "$0")" && pwd)
target=${1:?target: patchfile, blockfile, openpatch or emulatorinput}
seconds=${2:-300}
build=${3:-/tmp/knotlattice-fuzz}
shift
[ $# -gt 0 ] && shift
[ $# -gt 0 ] && shift

cmake -S "$here/libfuzzer" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target "fuzz_$target" -j"${KL_FUZZ_JOBS:-$(nproc)}" >/dev/null
mkdir -p "$build/corpus-$target"
extra=
[ -f "$here/$target.dict" ] && extra="-dict=$here/$target.dict"
# Seeds beside the committed corpus: the shipped block files and example patches.
seeds=
case $target in
patchfile) seeds="$here/corpus/paste" ;;
blockfile) seeds="$here/../../runtime/blocks" ;;
openpatch) seeds="$here/../../data/examples" ;;
esac
# Leaks inside the toolkit's plugins are not ours.
LSAN_OPTIONS="suppressions=$here/../support/lsan.supp:print_suppressions=0${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
export LSAN_OPTIONS
# shellcheck disable=SC2086
exec "$build/fuzz_$target" -max_total_time="$seconds" -max_len=1048576 -print_final_stats=1 \
    -artifact_prefix="$build/$target-" $extra "$@" "$build/corpus-$target" \
    "$here/corpus/$target" $seeds
