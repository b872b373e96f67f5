#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset: clang, address and undefined-behaviour sanitizers) and runs
# each one for a bounded time, as many at once as there are cores. Each starts from its kept corpus,
# tests/fuzz/corpus/<target>/, which it first replays whole; inputs it finds interesting go to a scratch
# folder, so the kept corpus changes only by hand (tests/README.md). A crash, sanitizer report, leak or
# timeout fails the run and leaves the input in build/fuzz/artifacts/ (CRUMBLEFORGE_FUZZ_BUILD names
# another build folder).
#
#   scripts/fuzz.sh [SECONDS]    seconds per target (default: FUZZ_SECONDS, else 60)
#   scripts/fuzz.sh --replay     only replay the kept corpora (quick: a regression check)
set -euo pipefail
cd "$(dirname "$0")/.."

mode=fuzz
seconds=${FUZZ_SECONDS:-60}
case "${1:-}" in
  --replay) mode=replay ;;
  "") ;;
  *) seconds=$1 ;;
esac

targets=(fuzz_kernel fuzz_command fuzz_png fuzz_cli_args fuzz_join fuzz_media)
build=${CRUMBLEFORGE_FUZZ_BUILD:-build/fuzz} # another build folder for the same preset, if set
artifacts=$build/artifacts
jobs=$(nproc)

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" -j "$jobs" --target "${targets[@]}"
mkdir -p "$artifacts"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/crumbleforge-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

run_target() {
  local target=$1 log=$scratch/$1.log
  local options=(-timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$artifacts/$target-")
  [ -f "tests/fuzz/$target.dict" ] && options+=(-dict="tests/fuzz/$target.dict")
  if [ "$mode" = replay ]; then
    options+=(-runs=0)
  else
    options+=(-max_total_time="$seconds")
  fi
  mkdir -p "$scratch/$target"
  if "$build/tests/fuzz/$target" "${options[@]}" "$scratch/$target" "tests/fuzz/corpus/$target" >"$log" 2>&1; then
    local runs coverage
    runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1)
    echo "   $target: $runs inputs, $coverage, clean"
  else
    tail -n 80 "$log"
    echo "== fuzz: $target FAILED; the input is in $artifacts/ (run $build/tests/fuzz/$target FILE to see it again)"
    return 1
  fi
}

started=$SECONDS
if [ "$mode" = replay ]; then
  echo "== fuzz: replaying the kept corpora"
else
  echo "== fuzz: ${#targets[@]} targets, $seconds s each, $jobs at once"
fi
running=()
failed=0
for target in "${targets[@]}"; do
  if [ "${#running[@]}" -ge "$jobs" ]; then
    wait "${running[0]}" || failed=1
    running=("${running[@]:1}")
  fi
  run_target "$target" &
  running+=($!)
done
for pid in "${running[@]}"; do
  wait "$pid" || failed=1
done
echo "== fuzz: done in $((SECONDS - started)) s"
exit "$failed"
