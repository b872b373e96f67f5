#!/usr/bin/env python3
"""Shows that the macOS bundle's code computes the pixels of the Linux module, as far as this machine can.

usage: compare_code_renders.py RENDER_MATRIX LINUX_MODULE MAC_CODE_FOR_LINUX

MAC_CODE_FOR_LINUX is the bundle's code built for x86_64 Linux by the macos preset: the same sources, Zig's
compiler and C++ runtime (libc++, whose random distributions are not libstdc++'s), the same flags. render_matrix
renders the fixed frames (chaos in every behaviour among them) through our host with each module, and every
checksum must match. What this cannot see, the arm64 code generation, check_bundle.py covers: the arm64 slice
must hold no fused multiply-add. Exits 77 (skipped) when the macos preset has not been built, unless
CRUMBLEFORGE_REQUIRE_MACOS=1.
"""
import os
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "windows"))
from compare_renders import SKIP, compare, run  # noqa: E402


def main() -> int:
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    program, linux_module, mac_code = (Path(arg).absolute() for arg in sys.argv[1:])
    if not mac_code.is_file():
        reason = f"not built: {mac_code}; build the macos preset (cmake --preset macos && cmake --build --preset macos)"
        if os.environ.get("CRUMBLEFORGE_REQUIRE_MACOS") == "1":
            print(f"FAIL {reason} (CRUMBLEFORGE_REQUIRE_MACOS=1)")
            return 1
        print(f"SKIPPED: {reason}")
        return SKIP
    linux = run([str(program), str(linux_module)], "render_matrix, Linux module")
    mac = run([str(program), str(mac_code)], "render_matrix, the bundle's code built for Linux")
    if linux is None or mac is None:
        return 1
    return compare(linux, mac, "the bundle's code")


if __name__ == "__main__":
    sys.exit(main())
