#!/usr/bin/env python3
"""Shows that the Windows module renders exactly the pixels of the Linux module.

usage: compare_renders.py WINE_RUN LINUX_RENDER_MATRIX LINUX_MODULE WINDOWS_RENDER_MATRIX WINDOWS_MODULE

Runs render_matrix natively against the Linux module and, through WINE_RUN (scripts/wine-run.sh), the Windows
build of it against Crumbleforge.aex, then compares their "NAME HASH" lines one by one; fails naming the
first frame whose checksums differ. Lines of any other shape (Wine's own messages) are ignored.

Exits 77 (skipped) when the Windows programs have not been built or Wine is missing, unless
CRUMBLEFORGE_REQUIRE_WINDOWS=1 (scripts/test.sh, right after building both): then that fails. Both builds must be
of the same sources; an older Windows build shows up as differing frames.
"""
import os
import re
import subprocess
import sys
from pathlib import Path

SKIP = 77
LINE = re.compile(r"^(\S+) ([0-9a-f]{16})$")
TIMEOUT = 600


def run(command, label):
    try:
        done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                              errors="replace", timeout=TIMEOUT, stdin=subprocess.DEVNULL)
    except subprocess.TimeoutExpired:
        print(f"FAIL {label}: still running after {TIMEOUT} s")
        return None
    lines = [(m.group(1), m.group(2)) for m in map(LINE.match, done.stdout.splitlines()) if m]
    if done.returncode != 0:
        print(f"FAIL {label} exited with {done.returncode}")
        print(done.stderr.rstrip())
        return None
    print(f"ok   {label}: {len(lines)} lines")
    return lines


def main() -> int:
    if len(sys.argv) != 6:
        print(__doc__)
        return 2
    wine_run, linux_program, linux_module, windows_program, windows_module = (
        Path(arg).absolute() for arg in sys.argv[1:])
    required = os.environ.get("CRUMBLEFORGE_REQUIRE_WINDOWS") == "1"

    def unavailable(reason: str) -> int:
        if required:
            print(f"FAIL {reason} (CRUMBLEFORGE_REQUIRE_WINDOWS=1)")
            return 1
        print(f"SKIPPED: {reason}")
        return SKIP

    missing = [str(p) for p in (windows_program, windows_module) if not p.is_file()]
    if missing:
        return unavailable(f"not built: {', '.join(missing)}; build the windows preset "
                           "(cmake --preset windows && cmake --build --preset windows)")
    if not os.access(wine_run, os.X_OK) or subprocess.run(
            [str(wine_run), "--available"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode != 0:
        return unavailable("no Wine to run the Windows build (Debian: wine64)")

    linux = run([str(linux_program), str(linux_module)], "Linux render_matrix")
    windows = run([str(wine_run), str(windows_program), str(windows_module)], "Windows render_matrix under Wine")
    if linux is None or windows is None:
        return 1
    return compare(linux, windows, "Windows")


def compare(linux, other, label):
    """Compares render_matrix's lines from the Linux module with those from another build (LABEL)."""
    failed = False
    frames = [hash for name, hash in linux if not name.startswith("input")]
    if len(set(frames)) < 2:
        print(f"FAIL the Linux frames do not differ from each other ({len(frames)} frames): nothing is compared")
        failed = True

    differing = []
    for index, ((name_l, hash_l), (name_o, hash_o)) in enumerate(zip(linux, other), start=1):
        if name_l != name_o:
            print(f"FAIL line {index}: Linux has {name_l}, {label} {name_o}: the two programs are not from the "
                  "same sources; build both again")
            return 1
        if hash_l != hash_o:
            differing.append(name_l)
            if len(differing) == 1:
                print(f"FAIL first differing frame: {name_l} (Linux {hash_l}, {label} {hash_o})")
    if differing:
        print(f"     {len(differing)} of {len(linux)} lines differ: {' '.join(differing[:12])}"
              f"{' ...' if len(differing) > 12 else ''}")
        print("     (is one of the builds older than the sources? build both again)")
        failed = True
    if len(linux) != len(other):
        shorter, longer = ("Linux", other) if len(linux) < len(other) else (label, linux)
        print(f"FAIL {shorter} printed {min(len(linux), len(other))} lines, the other {len(longer)}; "
              f"first missing: {longer[min(len(linux), len(other))][0]}")
        failed = True
    if not failed:
        print(f"ok   all {len(linux)} lines are the same")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
