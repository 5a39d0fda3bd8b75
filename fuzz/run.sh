#!/usr/bin/env bash
# Fuzzes the conversion of arbitrary recorder files for a bounded time (default 60 s):
# first every input of the seed corpus and of fuzz/regressions/ once, then new inputs.
# Fails on any crash, leak, sanitizer report or archive/catalog mismatch; the input that
# caused it is left in <build>/findings/.
#
#   fuzz/run.sh [SECONDS]
#
# The target needs clang (libFuzzer). The build directory is PLQ_FUZZ_BUILD_DIR (default
# build-fuzz); when it is not configured yet, it is configured for the fuzzer alone. The
# test command (scripts/test.sh) passes its own build, which is configured for both.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build="${PLQ_FUZZ_BUILD_DIR:-build-fuzz}"

if ! grep -q '^PLQ_FUZZ:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLQ_FUZZ=ON \
    -DPLQ_BUILD_TESTS=OFF -DPLQ_BUILD_BENCHMARKS=OFF >/dev/null
fi
cmake --build "$build" --target fuzz_recorder_file fuzz_seed_corpus -j "$(nproc)"

rm -rf "$build/seeds" "$build/corpus"
mkdir -p "$build/corpus" "$build/findings"
"$build/fuzz/fuzz_seed_corpus" "$build/seeds"
inputs=("$build/seeds")
[ -d fuzz/regressions ] && inputs+=(fuzz/regressions)

fuzzer=("$build/fuzz/fuzz_recorder_file" -max_len=65536 -timeout=10 -rss_limit_mb=2048
        -close_fd_mask=1 -artifact_prefix="$build/findings/")
export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
# The target writes and syncs its archive files in a temporary directory: in memory, where
# the machine has /dev/shm, it tries about three times as many inputs a second.
if [ -z "${TMPDIR:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi
echo "== Replaying the seed corpus and earlier findings"
"${fuzzer[@]}" -runs=0 "${inputs[@]}"
echo "== Fuzzing for $seconds s"
"${fuzzer[@]}" -max_total_time="$seconds" -print_final_stats=1 "$build/corpus" "${inputs[@]}"
