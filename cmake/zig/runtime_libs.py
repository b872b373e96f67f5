#!/usr/bin/env python3
"""Builds Zig's C++ runtime for one macOS target and copies its three archives into a folder of the build.

usage: runtime_libs.py ZIG TRIPLE CACHE_DIR OUT_DIR

Zig builds libc++, libc++abi and compiler-rt for a target only while linking something for it; linking a stub
library with --verbose-link builds them (once: they stay in CACHE_DIR) and prints where they are. OUT_DIR then
holds libc++.a, libc++abi.a and libcompiler_rt.a, which the bundle's link (lld, not Zig) takes.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

ARCHIVES = ("libc++.a", "libc++abi.a", "libcompiler_rt.a")


def main() -> int:
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        return 2
    zig, triple, cache, out = sys.argv[1], sys.argv[2], Path(sys.argv[3]), Path(sys.argv[4])
    env = dict(os.environ, ZIG_GLOBAL_CACHE_DIR=str(cache), ZIG_LOCAL_CACHE_DIR=str(cache))
    with tempfile.TemporaryDirectory(prefix="crumbleforge-zig-") as work:
        stub = Path(work, "stub.cpp")
        stub.write_text("int crumbleforge_stub() { return 0; }\n")
        # Release flags as the effect's own objects use them; frame pointers kept, so that lld keeps every
        # frame's unwind entry under -dead_strip.
        run = subprocess.run(
            [zig, "build-lib", "-dynamic", "-target", triple, "-O", "ReleaseFast", "-fno-omit-frame-pointer",
             "-lc++", str(stub), "--verbose-link"],
            cwd=work, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if run.returncode != 0:
        print(run.stdout, file=sys.stderr)
        print(f"runtime_libs.py: zig could not build the C++ runtime for {triple}", file=sys.stderr)
        return 1
    found = {}
    for path in re.findall(r"\S+\.a\b", run.stdout):
        name = os.path.basename(path)
        if name in ARCHIVES and os.path.isfile(path):
            found[name] = path
    missing = [name for name in ARCHIVES if name not in found]
    if missing:
        print(run.stdout, file=sys.stderr)
        print(f"runtime_libs.py: zig's link line for {triple} names no {', '.join(missing)}", file=sys.stderr)
        return 1
    out.mkdir(parents=True, exist_ok=True)
    for name, path in found.items():
        shutil.copyfile(path, out / name)
    return 0


if __name__ == "__main__":
    sys.exit(main())
