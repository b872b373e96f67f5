#!/usr/bin/env python3
"""Checks the release zip that scripts/package.sh wrote against the builds it was made from.

usage: check_package.py ZIP WINDOWS_MODULE MAC_BUNDLE

The zip must hold, under Crumbleforge-VERSION/, the Windows module, the whole macOS bundle (code, Info.plist,
PkgInfo, resource file) byte for byte as built, and INSTALL.txt with the signing command; the bundle's code
must be stored with Unix mode 0755 (macOS loads no bundle whose executable lost its x bit), nothing else
executable. scripts/test.sh runs it after packaging.
"""
import stat
import sys
import zipfile
from pathlib import Path

BUNDLE_FILES = ["Contents/MacOS/Crumbleforge", "Contents/Info.plist", "Contents/PkgInfo",
                "Contents/Resources/Crumbleforge.rsrc"]
SIGNING = "codesign --force --deep --sign - Crumbleforge.plugin"


def main() -> int:
    if len(sys.argv) != 4:
        print(__doc__)
        return 2
    archive_path, module, bundle = Path(sys.argv[1]), Path(sys.argv[2]), Path(sys.argv[3])
    top = archive_path.stem  # Crumbleforge-VERSION
    results = []

    def check(name, ok, detail=""):
        results.append(ok)
        print(("ok   " if ok else "FAIL ") + name + ("" if ok or not detail else f": {detail}"))

    with zipfile.ZipFile(archive_path) as archive:
        entries = {info.filename: info for info in archive.infolist()}
        expected = {f"{top}/Windows/Crumbleforge.aex": module, f"{top}/INSTALL.txt": None}
        expected.update({f"{top}/macOS/Crumbleforge.plugin/{f}": bundle / f for f in BUNDLE_FILES})
        check("holds exactly the module, the bundle and INSTALL.txt", set(entries) == set(expected),
              f"missing {sorted(set(expected) - set(entries))}, extra {sorted(set(entries) - set(expected))}")
        for name, built in expected.items():
            if name not in entries:
                continue
            info = entries[name]
            mode = info.external_attr >> 16
            wanted = 0o755 if name.endswith("Contents/MacOS/Crumbleforge") else 0o644
            check(f"{name} is a Unix entry with mode {wanted:o}",
                  info.create_system == 3 and stat.S_ISREG(mode) and stat.S_IMODE(mode) == wanted,
                  f"system {info.create_system}, mode {oct(mode)}")
            if built is not None:
                check(f"{name} is the built file", archive.read(name) == built.read_bytes())
        install = archive.read(f"{top}/INSTALL.txt").decode() if f"{top}/INSTALL.txt" in entries else ""
        check("INSTALL.txt says how to sign the bundle", SIGNING in install)
    failed = results.count(False)
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
