#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: first the regular build, then
# the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer, then a
# bounded fuzzing run of the conversion (clang, libFuzzer; fuzz/run.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

jobs=$(nproc)

echo "== Regular build =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== Sanitizer build (address, undefined) =="
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DPLQ_SANITIZE=ON -DPLQ_BUILD_BENCHMARKS=OFF
cmake --build build-asan -j "$jobs"
# Leaks inside the ODBC drivers themselves are listed in tests/lsan-suppressions.txt;
# everything of ours is still checked.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions="$PWD/tests/lsan-suppressions.txt":print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== Fuzzing the conversion of arbitrary recorder files (60 s) =="
fuzz/run.sh 60
