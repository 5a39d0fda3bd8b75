#!/usr/bin/env bash
# Installs what is missing, builds everything once with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (with libFuzzer's coverage, so that the same build also
# fuzzes), runs every test (the throwaway PostgreSQL cluster included, and the FDSN
# client that the tests of trq serve ask through, installed with npm ci into the build
# directory by a CTest fixture), replays the fuzzing seeds and fuzzes the conversion of
# arbitrary recorder files for 20 s.
#
#   scripts/test.sh                 the whole run (what CI runs)
#   scripts/test.sh --quick [ARGS]  the inner loop: the same build, the tests without the
#                                   fault sweeps, the soak and fuzzing; ARGS go to ctest
#                                   (-L trq: one folder's suite; -R 'conversions/.*1_2$': one case)
set -euo pipefail
cd "$(dirname "$0")/.."
quick=0
if [ "${1:-}" = --quick ]; then quick=1; shift; fi

scripts/install-deps.sh --dev

jobs=$(nproc)
build=build-test
# Ninja, and each target compiled as one source (a unity build): under the sanitizers the
# code of the headers that every file includes (GoogleTest, CLI11, nlohmann-json) is most of
# the compile time, and then it is compiled once a target rather than once a file. A build
# directory made with another generator is made anew.
if [ -f "$build/CMakeCache.txt" ] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$build/CMakeCache.txt"; then
  rm -rf "$build"
fi
# Programs under test read the system's trq.ini from etc/ below their working directory
# (PLQ_SYSCONFDIR), never from the machine's /etc.
CC=clang CXX=clang++ cmake -G Ninja -S . -B "$build" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
  -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=0 \
  -DPLQ_SANITIZE=ON -DPLQ_FUZZ=ON -DPLQ_SYSCONFDIR=etc -DPLQ_BUILD_BENCHMARKS=OFF
cmake --build "$build" -j "$jobs"

echo "== Tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
# Leaks inside the ODBC drivers themselves are listed in tests/lsan-suppressions.txt;
# everything of ours is still checked.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions="$PWD/tests/lsan-suppressions.txt":print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if [ "$quick" = 1 ]; then
  exec ctest --test-dir "$build" --output-on-failure -j "$jobs" -E '/FaultSweep\.|^Soak\.' "$@"
fi
ctest --test-dir "$build" --output-on-failure -j "$jobs"

echo "== Fuzzing the conversion of arbitrary recorder files"
PLQ_FUZZ_BUILD_DIR="$build" fuzz/run.sh 20
