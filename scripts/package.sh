#!/usr/bin/env bash
# Builds the release package Crumbleforge-VERSION.zip: the Windows module, the complete macOS bundle and the
# install notes; and the Linux archive Crumbleforge-VERSION-linux-x86_64.tar.gz: the frei0r filter, its
# Kdenlive and Shotcut descriptions and their install notes.
#   scripts/package.sh [OUTPUT_DIR]          (default OUTPUT_DIR: build/release)
# The Windows module is cross-built in CRUMBLEFORGE_WINDOWS_BUILD_DIR (default build/windows, the folder of
# the `windows` preset), the macOS bundle in CRUMBLEFORGE_MACOS_BUILD_DIR (default build/macos, the `macos`
# preset), the frei0r filter in CRUMBLEFORGE_LINUX_BUILD_DIR (default build/default); each is configured first
# if it does not exist yet.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${CRUMBLEFORGE_WINDOWS_BUILD_DIR:-$root/build/windows}
mac_build=${CRUMBLEFORGE_MACOS_BUILD_DIR:-$root/build/macos}
linux_build=${CRUMBLEFORGE_LINUX_BUILD_DIR:-$root/build/default}
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
if [ ! -f "$linux_build/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$linux_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$linux_build" --target crumbleforge_frei0r crumbleforge_editor_descriptions

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

# The Linux archive: the install rules' own layout (lib/frei0r-1, share/kdenlive, share/shotcut), stripped.
linux_name=$name-linux-x86_64
linux_top=$stage/$linux_name
cmake --install "$linux_build" --prefix "$linux_top" --component frei0r --strip >/dev/null
sed "s/@VERSION@/$version/g" "$root/scripts/INSTALL-linux.txt" > "$linux_top/INSTALL.txt"
tarball=$out/$linux_name.tar.gz
# Entries sorted, owned by root, dated as the zip's, so the same inputs give the same archive.
python3 - "$stage" "$linux_name" "$tarball.partial" <<'PY'
import gzip, os, sys, tarfile
stage, top, target = sys.argv[1:4]
with open(target, "wb") as raw, gzip.GzipFile(fileobj=raw, mode="wb", mtime=0, filename="") as zipped, \
        tarfile.open(fileobj=zipped, mode="w", format=tarfile.PAX_FORMAT) as archive:
    def add(path):
        info = archive.gettarinfo(os.path.join(stage, path), arcname=path)
        info.uid = info.gid = 0
        info.uname = info.gname = "root"
        info.mtime = 1704067200  # 2024-01-01
        info.mode = 0o755 if info.isdir() or path.endswith(".so") else 0o644
        if info.isdir():
            archive.addfile(info)
        else:
            with open(os.path.join(stage, path), "rb") as f:
                archive.addfile(info, f)
    add(top)
    for folder, dirs, files in sorted(os.walk(os.path.join(stage, top))):
        dirs.sort()
        for name in sorted(dirs) + sorted(files):
            add(os.path.relpath(os.path.join(folder, name), stage))
PY
mv "$tarball.partial" "$tarball"
echo "package.sh: wrote $tarball"
tar -tzvf "$tarball"
