#!/usr/bin/env bash
# Builds every configuration that CI checks and runs all of its tests: the optimised build, the
# address/undefined-behaviour sanitizer build, the thread sanitizer build (every test: the host renders on
# several threads throughout), a short run of each fuzz target (scripts/fuzz.sh), then the Windows cross
# build, whose programs CTest runs under Wine, and last the Windows module's frames compared with the Linux
# module's.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
run_preset() { # PRESET [CTEST ARGUMENTS...]
  local preset=$1 started=$SECONDS
  shift
  echo "== $preset: configure, build, test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  ctest --preset "$preset" -j "$jobs" "$@"
  echo "== $preset: done in $((SECONDS - started)) s"
}

# The Linux builds' checks of the Windows module run at the end, once that module is built from these sources.
run_preset default -E '^WindowsModule\.'
run_preset asan -E '^WindowsModule\.'
run_preset tsan -E '^WindowsModule\.'
scripts/fuzz.sh

# Wine runs in a prefix made for this run alone (the first program sets it up, about 10 s) and removed at
# the end, however the run ends.
CRUMBLEFORGE_WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/crumbleforge-wine.XXXXXX")
export CRUMBLEFORGE_WINEPREFIX
remove_wine_prefix() {
  scripts/wine-run.sh --remove-prefix >/dev/null 2>&1 || rm -rf "$CRUMBLEFORGE_WINEPREFIX"
}
trap remove_wine_prefix EXIT

run_preset windows

# Both builds are current now: the checks of the Windows module from the Linux build must run, not skip.
started=$SECONDS
echo "== windows: the module file, and its frames against the Linux module's"
CRUMBLEFORGE_REQUIRE_WINDOWS=1 ctest --preset default --no-tests=error -R '^WindowsModule\.'
echo "== windows: compared in $((SECONDS - started)) s"
