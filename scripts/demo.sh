#!/usr/bin/env bash
# The main job, end to end. For now: installs what is missing and builds the converter.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-release -DCMAKE_BUILD_TYPE=Release -DPLQ_BUILD_TESTS=OFF -DPLQ_BUILD_BENCHMARKS=OFF
cmake --build build-release -j "$(nproc)"
echo "Built build-release/plq2trq"
