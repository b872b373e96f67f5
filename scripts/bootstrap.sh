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
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  apt_cmd=(apt-get)
  [ "$(id -u)" -eq 0 ] || apt_cmd=(sudo apt-get)
  "${apt_cmd[@]}" update -qq
  DEBIAN_FRONTEND=noninteractive "${apt_cmd[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
