#!/usr/bin/env bash
# Builds the board fuzzer with clang and runs it: tests/fuzz/run.sh [seconds]
# (default 60). Exits non-zero when it finds an input that breaks the board;
# the input is saved in the build directory as crash-<hash>.
#
# The build, the corpus the fuzzer grows and any crash files go to build-fuzz/
# (or $FUZZ_BUILD); tests/fuzz/corpus holds the seeds and is only read.
# Replay one input with its steps printed:
#   BOARD_FUZZ_TRACE=1 build-fuzz/board_fuzz build-fuzz/crash-...
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${FUZZ_BUILD:-$root/build-fuzz}

cmake -S "$root/tests/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=None >/dev/null
cmake --build "$build" -j2

mkdir -p "$build/corpus"
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec "$build/board_fuzz" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$build/" "$build/corpus" "$root/tests/fuzz/corpus"
