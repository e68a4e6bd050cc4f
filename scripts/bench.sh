#!/usr/bin/env bash
# Builds the shipped (Release) code and runs the benchmark; prints its table.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="${LUMBRANE_BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" --target lumbrane_bench lumbrane_stage_bench lumbrane_network_bench -j "$(nproc)"
"$build/bench/lumbrane_bench"
echo
"$build/bench/lumbrane_stage_bench"
echo
"$build/bench/lumbrane_network_bench"
