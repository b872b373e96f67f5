#!/usr/bin/env bash
# Builds the release package Crumbleforge-VERSION.zip: the Windows module, the complete macOS bundle and the
# install notes.
#   scripts/package.sh [OUTPUT_DIR]          (default OUTPUT_DIR: build/release)
# The Windows module is cross-built in CRUMBLEFORGE_WINDOWS_BUILD_DIR (default build/windows, the folder of
# the `windows` preset), the macOS bundle in CRUMBLEFORGE_MACOS_BUILD_DIR (default build/macos, the `macos`
# preset); each is configured first if it does not exist yet.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${CRUMBLEFORGE_WINDOWS_BUILD_DIR:-$root/build/windows}
mac_build=${CRUMBLEFORGE_MACOS_BUILD_DIR:-$root/build/macos}
out=${1:-$root/build/release}

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build" -G Ninja --toolchain "$root/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCRUMBLEFORGE_BUILD_TOOLS=OFF -DCRUMBLEFORGE_BUILD_TESTS=OFF
fi
cmake --build "$build" --target Crumbleforge crumbleforge_pipl_resources
if [ ! -f "$mac_build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$mac_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCRUMBLEFORGE_MACOS_CROSS=ON
fi
cmake --build "$mac_build" --target Crumbleforge

module=$build/src/Crumbleforge.aex
bundle=$mac_build/src/Crumbleforge.plugin
contents=$bundle/Contents
for f in "$module" "$contents/MacOS/Crumbleforge" "$contents/Info.plist" "$contents/PkgInfo" \
         "$contents/Resources/Crumbleforge.rsrc"; do
    [ -f "$f" ] || { echo "package.sh: $f was not built" >&2; exit 1; }
done

version=$(python3 -c 'import plistlib, sys; print(plistlib.load(open(sys.argv[1], "rb"))[sys.argv[2]])' \
    "$contents/Info.plist" CFBundleShortVersionString)
name=Crumbleforge-$version

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
top=$stage/$name
mkdir -p "$top/Windows" "$top/macOS"
cp "$module" "$top/Windows/"
cp -R "$bundle" "$top/macOS/"
sed "s/@VERSION@/$version/g" "$root/scripts/INSTALL.txt" > "$top/INSTALL.txt"

mkdir -p "$out"
zip=$out/$name.zip
# Entries in a fixed order with a fixed date, so the same inputs give the same archive. The bundle's code is
# 0755, everything else 0644: macOS will not load a bundle whose executable lost its execute permission.
python3 - "$stage" "$zip.partial" <<'PY'
import os, stat, sys, zipfile
stage, target = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as archive:
    for folder, dirs, files in sorted(os.walk(stage)):
        for name in sorted(files):
            path = os.path.join(folder, name)
            entry = zipfile.ZipInfo(os.path.relpath(path, stage), date_time=(2024, 1, 1, 0, 0, 0))
            executable = "/Contents/MacOS/" in "/" + entry.filename  # the bundle's code
            entry.create_system = 3  # Unix: unzip and macOS's Archive Utility apply the mode below
            entry.external_attr = (stat.S_IFREG | (0o755 if executable else 0o644)) << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(path, "rb") as f:
                archive.writestr(entry, f.read())
PY
mv "$zip.partial" "$zip"
echo "package.sh: wrote $zip"
python3 -m zipfile -l "$zip"
