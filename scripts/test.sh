#!/usr/bin/env bash
# Builds every configuration that CI checks and runs all of its tests: the optimised build, then the
# address/undefined-behaviour sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
run_preset() {
  local preset=$1
  echo "== $preset: configure, build, test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs"
}

run_preset default
run_preset asan
