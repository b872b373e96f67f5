#!/usr/bin/env bash
# Builds every configuration that CI checks and runs all of its tests: the optimised build, the
# address/undefined-behaviour sanitizer build, the thread sanitizer build (every test: the host renders on
# several threads throughout), a short run of each fuzz target (scripts/fuzz.sh), the macOS bundle cross-built
# and checked, the Windows cross build, whose programs CTest runs under Wine, and the Windows module's frames
# compared with the Linux module's; then the release zip and the Linux archive of the frei0r filter, and last
# a clone of the last commit, with nothing beside it, built from scratch.
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

# The Linux builds' checks of the Windows module and the macOS bundle run once those are built from these sources.
cross_checks='^(WindowsModule|MacBundle)\.'
# The playground page's browser test must run here, not skip: emscripten and chromium are installed.
CRUMBLEFORGE_REQUIRE_BROWSER=1 run_preset default -E "$cross_checks"
run_preset asan -E "$cross_checks"
run_preset tsan -E "$cross_checks"
scripts/fuzz.sh

# The macOS bundle: cross-built (Zig's cache stays in build/macos: minutes cold, seconds warm), then the
# default build reads it, damages copies of it, and renders with its code built for Linux.
started=$SECONDS
echo "== macos: cross-build the bundle, check it from the Linux build"
cmake --preset macos >/dev/null
cmake --build --preset macos -j "$jobs"
CRUMBLEFORGE_REQUIRE_MACOS=1 ctest --preset default --no-tests=error -R '^MacBundle\.'
echo "== macos: done in $((SECONDS - started)) s"

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

# The release zip from the two cross builds, checked against them, and the Linux archive.
started=$SECONDS
echo "== package: the release zip and the Linux archive"
(
  release=$(mktemp -d "${TMPDIR:-/tmp}/crumbleforge-release.XXXXXX")
  trap 'rm -rf "$release"' EXIT
  scripts/package.sh "$release" >/dev/null
  python3 tests/mac/check_package.py "$release"/Crumbleforge-*.zip build/windows/src/Crumbleforge.aex \
      build/macos/src/Crumbleforge.plugin
  # The Linux archive holds the frei0r filter, the editors' descriptions and the install notes.
  listing=$(tar -tzf "$release"/Crumbleforge-*-linux-x86_64.tar.gz)
  for entry in lib/frei0r-1/crumbleforge.so share/kdenlive/effects/frei0r_crumbleforge.xml \
               share/shotcut/qml/filters/crumbleforge/meta.qml share/shotcut/qml/filters/crumbleforge/ui.qml INSTALL.txt; do
    grep -q "^Crumbleforge-[^/]*-linux-x86_64/$entry\$" <<<"$listing" || { echo "Linux archive lacks $entry" >&2; exit 1; }
  done
)
echo "== package: done in $((SECONDS - started)) s"

# A clone of the last commit in an empty temporary folder, built and run as the README's first command does
# (bootstrap aside: it has run), the tool's demo as a smoke check: the build may need nothing outside the
# repository, such as a folder beside it. Uncommitted changes are not in the clone.
started=$SECONDS
echo "== clone: the default preset built in a fresh clone of $(git rev-parse --short HEAD), then its demo"
[ -z "$(git status --porcelain --untracked-files=no)" ] || echo "   (uncommitted changes are not in the clone)"
(
  lonely=$(mktemp -d "${TMPDIR:-/tmp}/crumbleforge-clone.XXXXXX")
  trap 'rm -rf "$lonely"' EXIT
  git clone -q --no-hardlinks . "$lonely/crumbleforge"
  cd "$lonely/crumbleforge"
  cmake --preset default >/dev/null
  cmake --build --preset default -j "$jobs"
  build/default/cli/crumbleforge demo
  [ -s crumbleforge-demo.png ]
)
echo "== clone: done in $((SECONDS - started)) s"
