#!/usr/bin/env python3
"""Inspects the built Windows module (Crumbleforge.aex) as a host's loader and plug-in scan see it.

usage: check_module.py MODULE.aex EXPECTED_PIPL_FILE

Checks: an x86-64 DLL; exports exactly EffectMain and PluginDataEntryFunction by their plain names;
imports only from system DLLs (no toolchain runtime DLLs); one PIPL resource, id 16000, language 1033
(US English), 306 bytes, equal to EXPECTED_PIPL_FILE (the property list that the native build writes and
that its own tests compare with hand-written expected bytes). Exits 77 (skipped) when the module or pefile is
missing, unless CRUMBLEFORGE_REQUIRE_WINDOWS=1 (scripts/test.sh, right after building the module): then it fails.
"""
import fnmatch
import os
import sys
from pathlib import Path

SKIP = 77

EXPECTED_EXPORTS = {"EffectMain", "PluginDataEntryFunction"}

# DLLs that every Windows x64 system has; anything else (libstdc++-6.dll, libgcc_s_seh-1.dll,
# libwinpthread-1.dll, ...) would have to be shipped beside the module, and hosts will not find it there.
SYSTEM_DLLS = [
    "kernel32.dll", "ntdll.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "bcrypt.dll",
    "msvcrt.dll", "ucrtbase.dll", "api-ms-win-crt-*.dll", "api-ms-win-core-*.dll",
]

IMAGE_FILE_MACHINE_AMD64 = 0x8664
IMAGE_FILE_DLL = 0x2000
LANG_ENGLISH_US = 1033


def is_system_dll(name: str) -> bool:
    return any(fnmatch.fnmatch(name.lower(), pattern) for pattern in SYSTEM_DLLS)


def resource_name(entry) -> str:
    return str(entry.name) if entry.name is not None else str(entry.id)


def main() -> int:
    if len(sys.argv) != 3:
        print(__doc__)
        return 2
    module, expected_file = Path(sys.argv[1]), Path(sys.argv[2])
    required = os.environ.get("CRUMBLEFORGE_REQUIRE_WINDOWS") == "1"

    def unavailable(reason: str) -> int:
        print(f"FAIL {reason} (CRUMBLEFORGE_REQUIRE_WINDOWS=1)" if required else f"SKIPPED: {reason}")
        return 1 if required else SKIP

    if not module.is_file():
        return unavailable(f"no Windows module at {module}; build it with `cmake --preset windows && "
                           f"cmake --build --preset windows` (or set CRUMBLEFORGE_WINDOWS_BUILD_DIR)")
    try:
        import pefile
    except ImportError:
        return unavailable(f"{sys.executable} has no pefile module (Debian: python3-pefile)")

    results = []

    def check(what: str, ok: bool, detail: str = "") -> None:
        results.append(ok)
        print(("ok   " if ok else "FAIL ") + what + ("" if ok or not detail else f": {detail}"))

    pe = pefile.PE(str(module))
    check("x86-64 image", pe.FILE_HEADER.Machine == IMAGE_FILE_MACHINE_AMD64,
          f"machine 0x{pe.FILE_HEADER.Machine:04x}")
    check("a DLL", bool(pe.FILE_HEADER.Characteristics & IMAGE_FILE_DLL))

    exports = getattr(pe, "DIRECTORY_ENTRY_EXPORT", None)
    names = {e.name.decode() for e in exports.symbols if e.name} if exports else set()
    unnamed = [e.ordinal for e in exports.symbols if not e.name] if exports else []
    forwarded = [e.name for e in exports.symbols if e.forwarder] if exports else []
    check("exports exactly EffectMain and PluginDataEntryFunction",
          names == EXPECTED_EXPORTS and not unnamed and not forwarded,
          f"named {sorted(names)}, by ordinal only {unnamed}, forwarded {forwarded}")

    imported = [entry.dll.decode() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])]
    foreign = [dll for dll in imported if not is_system_dll(dll)]
    check("imports only system DLLs", not foreign, f"also imports {foreign} (imports: {imported})")

    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    types = {resource_name(t): t for t in resources.entries} if resources else {}
    pipl_type = types.get("PIPL")
    check("has a PIPL resource type", pipl_type is not None, f"resource types: {sorted(types)}")
    if pipl_type is None:
        return finish(results)

    leaves = [(item.id, lang.id, lang.data) for item in pipl_type.directory.entries
              for lang in item.directory.entries]
    check("exactly one PIPL resource", len(leaves) == 1, f"found {[(i, l) for i, l, _ in leaves]}")
    item_id, lang_id, data_entry = leaves[0]
    check("PIPL resource id 16000", item_id == 16000, f"id {item_id}")
    check("PIPL resource language 1033", lang_id == LANG_ENGLISH_US, f"language {lang_id}")

    data = pe.get_data(data_entry.struct.OffsetToData, data_entry.struct.Size)
    check("PIPL resource is 306 bytes", len(data) == 306, f"{len(data)} bytes")
    expected = expected_file.read_bytes()
    first = next((i for i, (a, b) in enumerate(zip(data, expected)) if a != b), None)
    check(f"PIPL resource equals {expected_file.name}", data == expected,
          f"first difference at byte {first if first is not None else min(len(data), len(expected))}"
          " (a stale build on one side? rebuild both)")
    return finish(results)


def finish(results) -> int:
    failed = results.count(False)
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
