#!/usr/bin/env bash
# Builds the libFuzzer target with clang in build-fuzz and fuzzes the conversion of
# arbitrary recorder files for a bounded time (default 60 s), starting from the seed corpus
# and every earlier finding in fuzz/regressions/. Fails on any crash, leak, sanitizer report
# or archive/catalog mismatch; the input that caused it is left in build-fuzz/findings/.
#
#   fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build="${PLQ_FUZZ_BUILD_DIR:-build-fuzz}"

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLQ_FUZZ=ON \
  -DPLQ_BUILD_TESTS=OFF -DPLQ_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target fuzz_recorder_file fuzz_seed_corpus -j "$(nproc)"

rm -rf "$build/seeds" "$build/corpus"
mkdir -p "$build/corpus" "$build/findings"
"$build/fuzz/fuzz_seed_corpus" "$build/seeds"

# The converter's console lines would drown the fuzzer's own: its standard output is closed.
# New inputs go to the first directory (a scratch copy); the others are only read.
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  "$build/fuzz/fuzz_recorder_file" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
  -rss_limit_mb=2048 -close_fd_mask=1 -print_final_stats=1 \
  -artifact_prefix="$build/findings/" \
  "$build/corpus" "$build/seeds" $(ls -d fuzz/regressions 2>/dev/null)
