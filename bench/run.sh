#!/usr/bin/env bash
# Builds the benchmarks optimised (in build/bench, or $CRUMBLEFORGE_BENCH_DIR) and runs them; arguments go to
# the benchmark program (e.g. --benchmark_filter=kernel/8bit --benchmark_repetitions=3). The ratios the
# performance goals are stated in are printed after the table.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${CRUMBLEFORGE_BENCH_DIR:-build/bench}
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCRUMBLEFORGE_BUILD_BENCH=ON \
  -DCRUMBLEFORGE_BUILD_TESTS=OFF >/dev/null
cmake --build "$dir" --target crumbleforge_bench
exec "$dir/bench/crumbleforge_bench" "$@"
