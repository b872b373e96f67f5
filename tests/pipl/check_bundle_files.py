#!/usr/bin/env python3
"""Checks the macOS bundle's Info.plist and PkgInfo as laid out by the build.

usage: check_bundle_files.py CONTENTS_DIR
"""
import plistlib
import sys
from pathlib import Path

EXPECTED = {
    "CFBundleExecutable": "Crumbleforge",
    "CFBundlePackageType": "eFKT",
    "CFBundleSignature": "FXTC",
    "CFBundleShortVersionString": "1.6.3",
    "CFBundleVersion": "1.6.3",
    "CFBundleInfoDictionaryVersion": "6.0",
}


def main() -> int:
    contents = Path(sys.argv[1])
    failures = []

    try:
        with open(contents / "Info.plist", "rb") as f:
            info = plistlib.load(f, fmt=plistlib.FMT_XML)
    except Exception as error:  # noqa: BLE001 - any parse failure is the finding
        print(f"FAIL Info.plist is not a well-formed property list: {error}")
        return 1

    for key, value in EXPECTED.items():
        if info.get(key) != value:
            failures.append(f"Info.plist {key} is {info.get(key)!r}, expected {value!r}")
    identifier = info.get("CFBundleIdentifier", "")
    if not isinstance(identifier, str) or identifier.count(".") < 2 or " " in identifier:
        failures.append(f"Info.plist CFBundleIdentifier {identifier!r} is not a reverse-DNS name")

    pkginfo = (contents / "PkgInfo").read_bytes()
    if pkginfo != b"eFKTFXTC":
        failures.append(f"PkgInfo is {pkginfo!r}, expected b'eFKTFXTC' (8 bytes, no newline)")
    elif pkginfo != (info.get("CFBundlePackageType", "") + info.get("CFBundleSignature", "")).encode():
        failures.append("PkgInfo disagrees with Info.plist's package type and signature")

    if not (contents / "Resources" / "Crumbleforge.rsrc").is_file():
        failures.append("Resources/Crumbleforge.rsrc is missing")

    for failure in failures:
        print("FAIL", failure)
    print(f"{len(EXPECTED) + 3 - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
