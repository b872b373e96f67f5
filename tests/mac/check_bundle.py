#!/usr/bin/env python3
"""Inspects the built macOS bundle (Crumbleforge.plugin) as macOS's loader and a host's plug-in scan see it.

usage: check_bundle.py BUNDLE EXPECTED_CONTENTS        check the bundle
       check_bundle.py --self-test BUNDLE EXPECTED_CONTENTS
                                                       damage copies of the bundle one way at a time and show
                                                       that the check names each damage

Checks: a universal binary of exactly an x86_64 and an arm64 slice, each an MH_BUNDLE; each exports exactly
_EffectMain and _PluginDataEntryFunction, defines nothing weak, links only /usr/lib/libSystem.B.dylib, and
states a minimum macOS equal to Info.plist's LSMinimumSystemVersion; EffectMain has an exception-table entry
in the unwind info (else a throw would pass its catch-all and end the host); the arm64 slice is signed and
every page hash of its code directory matches (Apple silicon maps no unsigned or altered code) and holds no
fused multiply-add (its pixels would differ from the x86-64 builds'); the property list names, for each
processor (mi64, ma64), an entry that slice exports; Info.plist, PkgInfo and the resource file are those in
EXPECTED_CONTENTS (the files the Linux build writes and its own tests check); the executable keeps its x bit.

Exits 77 (skipped) when the bundle has not been built, unless CRUMBLEFORGE_REQUIRE_MACOS=1 (scripts/test.sh,
right after building it): then it fails. Mach-O, fat and code-signature layouts: Apple's <mach-o/loader.h>,
<mach-o/fat.h>, <mach-o/compact_unwind_encoding.h> and the code-signing blob formats, read here by hand.
"""
import hashlib
import os
import plistlib
import shutil
import struct
import sys
import tempfile
from pathlib import Path

SKIP = 77
EXPORTS = {"_EffectMain", "_PluginDataEntryFunction"}
SYSTEM_LIBRARY = "/usr/lib/libSystem.B.dylib"
CPU_X86_64, CPU_ARM64 = 0x01000007, 0x0100000C
ARCH_NAMES = {CPU_X86_64: "x86_64", CPU_ARM64: "arm64"}
ENTRY_PROPERTY = {"x86_64": b"mi64", "arm64": b"ma64"}

FAT_MAGIC, FAT_MAGIC_64, MH_MAGIC_64 = 0xCAFEBABE, 0xCAFEBABF, 0xFEEDFACF
MH_BUNDLE = 8
MH_WEAK_DEFINES, MH_BINDS_TO_WEAK = 0x8000, 0x10000
LC_SYMTAB, LC_SEGMENT_64, LC_CODE_SIGNATURE = 0x2, 0x19, 0x1D
LC_DYLD_INFO, LC_DYLD_INFO_ONLY, LC_DYLD_EXPORTS_TRIE = 0x22, 0x80000022, 0x80000033
LC_VERSION_MIN_MACOSX, LC_BUILD_VERSION, PLATFORM_MACOS = 0x24, 0x32, 1
DYLIB_COMMANDS = {0xC, 0x80000018, 0x8000001F, 0x20, 0x80000023}  # load, weak, re-export, lazy, upward
N_EXT, N_TYPE, N_SECT, N_WEAK_DEF = 0x01, 0x0E, 0x0E, 0x0080
EXPORT_WEAK, EXPORT_REEXPORT, EXPORT_STUB_AND_RESOLVER = 0x04, 0x08, 0x10
UNWIND_HAS_LSDA, UNWIND_PERSONALITY_MASK, UNWIND_MODE_MASK = 0x40000000, 0x30000000, 0x0F000000
UNWIND_DWARF_MODE = {"x86_64": 0x04000000, "arm64": 0x03000000}
CS_SUPERBLOB, CS_CODEDIRECTORY, CSSLOT_CODEDIRECTORY = 0xFADE0CC0, 0xFADE0C02, 0
CS_HASHES = {1: "sha1", 2: "sha256"}


def uleb(data: bytes, pos: int):
    value = shift = 0
    while True:
        byte = data[pos]
        pos += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if byte < 0x80:
            return value, pos


def cstring(data: bytes, pos: int):
    end = data.index(b"\0", pos)
    return data[pos:end].decode("latin-1"), end + 1


class Slice:
    """One Mach-O image of the fat file: its header and the load commands the checks read."""

    def __init__(self, data: bytes, offset: int):
        self.data, self.offset = data, offset  # offset: where the slice starts in the fat file
        magic, self.cputype, _, self.filetype, ncmds, _, self.flags, _ = struct.unpack_from("<8I", data, 0)
        if magic != MH_MAGIC_64:
            raise ValueError(f"slice magic 0x{magic:08x} is not a 64-bit Mach-O")
        self.arch = ARCH_NAMES.get(self.cputype, f"cpu 0x{self.cputype:x}")
        self.commands, self.sections, self.segments = [], {}, {}
        pos = 32
        for _ in range(ncmds):
            cmd, size = struct.unpack_from("<2I", data, pos)
            self.commands.append((cmd, pos, size))
            if cmd == LC_SEGMENT_64:
                name = data[pos + 8:pos + 24].rstrip(b"\0").decode()
                vmaddr, _, fileoff, _ = struct.unpack_from("<4Q", data, pos + 24)
                self.segments[name] = (vmaddr, fileoff)
                nsects = struct.unpack_from("<I", data, pos + 64)[0]
                for i in range(nsects):
                    s = pos + 72 + 80 * i
                    sect = data[s:s + 16].rstrip(b"\0").decode()
                    seg = data[s + 16:s + 32].rstrip(b"\0").decode()
                    addr, size_, fileoffset = struct.unpack_from("<2QI", data, s + 32)
                    self.sections[(seg, sect)] = (addr, size_, fileoffset)
            pos += size

    def command(self, *kinds):
        return [(cmd, pos) for cmd, pos, _ in self.commands if cmd in kinds]

    def text_base(self) -> int:
        return self.segments.get("__TEXT", (0, 0))[0]

    def exports(self):
        """Export trie: name -> (flags, image offset)."""
        trie = None
        for cmd, pos in self.command(LC_DYLD_INFO, LC_DYLD_INFO_ONLY):
            trie = struct.unpack_from("<2I", self.data, pos + 40)
        for cmd, pos in self.command(LC_DYLD_EXPORTS_TRIE):
            trie = struct.unpack_from("<2I", self.data, pos + 8)
        found = {}
        if not trie or trie[1] == 0:
            return found
        blob = self.data[trie[0]:trie[0] + trie[1]]
        pending, seen = [(0, "")], set()
        while pending:
            node, prefix = pending.pop()
            if node in seen:
                continue
            seen.add(node)
            size, pos = uleb(blob, node)
            if size:
                flags, at = uleb(blob, pos)
                address = uleb(blob, at)[0] if not flags & EXPORT_REEXPORT else None
                found[prefix] = (flags, address)
            pos += size
            children, pos = blob[pos], pos + 1
            for _ in range(children):
                edge, pos = cstring(blob, pos)
                child, pos = uleb(blob, pos)
                pending.append((child, prefix + edge))
        return found

    def symbols(self):
        """Defined external symbols of the symbol table: name -> n_desc."""
        out = {}
        for _, pos in self.command(LC_SYMTAB):
            symoff, nsyms, stroff, _ = struct.unpack_from("<4I", self.data, pos + 8)
            for i in range(nsyms):
                strx, ntype, _, desc, _ = struct.unpack_from("<IBBHQ", self.data, symoff + 16 * i)
                if ntype & N_EXT and ntype & N_TYPE == N_SECT:
                    out[cstring(self.data, stroff + strx)[0]] = desc
        return out

    def libraries(self):
        names = []
        for _, pos in self.command(*DYLIB_COMMANDS):
            names.append(cstring(self.data, pos + struct.unpack_from("<I", self.data, pos + 8)[0])[0])
        return names

    def minimum_os(self):
        for _, pos in self.command(LC_BUILD_VERSION):
            platform, minos = struct.unpack_from("<2I", self.data, pos + 8)
            if platform == PLATFORM_MACOS:
                return minos
        for _, pos in self.command(LC_VERSION_MIN_MACOSX):
            return struct.unpack_from("<I", self.data, pos + 8)[0]
        return None

    def weak_bind_size(self) -> int:
        return sum(struct.unpack_from("<I", self.data, pos + 28)[0]
                   for _, pos in self.command(LC_DYLD_INFO, LC_DYLD_INFO_ONLY))

    def unwind_entry(self, function_offset: int):
        """(encoding, LSDA offset or None) of the function starting at function_offset, from __unwind_info."""
        where = self.sections.get(("__TEXT", "__unwind_info"))
        if not where:
            raise ValueError("no __TEXT,__unwind_info section")
        info = self.data[where[2]:where[2] + where[1]]
        _, common_off, common_n, _, _, index_off, index_n = struct.unpack_from("<7I", info, 0)
        index = [struct.unpack_from("<3I", info, index_off + 12 * i) for i in range(index_n)]
        lsda_start, lsda_end = index[0][2], index[-1][2]
        lsda = {}
        for pos in range(lsda_start, lsda_end, 8):
            func, where_ = struct.unpack_from("<2I", info, pos)
            lsda[func] = where_
        page = next((entry for entry, following in zip(index, index[1:])
                     if entry[0] <= function_offset < following[0]), None)
        if page is None or page[1] == 0:
            raise ValueError(f"function offset 0x{function_offset:x} lies outside the unwind index")
        kind = struct.unpack_from("<I", info, page[1])[0]
        encoding = None
        if kind == 2:  # regular page: (function offset, encoding) pairs
            entry_off, count = struct.unpack_from("<2H", info, page[1] + 4)
            for i in range(count):
                func, enc = struct.unpack_from("<2I", info, page[1] + entry_off + 8 * i)
                if func <= function_offset:
                    encoding = enc
        elif kind == 3:  # compressed page: 24-bit offset from the page's first function, 8-bit encoding index
            entry_off, count, enc_off, _ = struct.unpack_from("<4H", info, page[1] + 4)
            for i in range(count):
                word = struct.unpack_from("<I", info, page[1] + entry_off + 4 * i)[0]
                if page[0] + (word & 0xFFFFFF) <= function_offset:
                    idx = word >> 24
                    encoding = (struct.unpack_from("<I", info, common_off + 4 * idx)[0] if idx < common_n else
                                struct.unpack_from("<I", info, page[1] + enc_off + 4 * (idx - common_n))[0])
        else:
            raise ValueError(f"unwind page of unknown kind {kind}")
        return encoding, lsda.get(function_offset)

    def code_directory(self):
        """(code directory bytes, signature offset) of the slice's signature, or None if it has none."""
        found = self.command(LC_CODE_SIGNATURE)
        if not found:
            return None
        dataoff, datasize = struct.unpack_from("<2I", self.data, found[0][1] + 8)
        blob = self.data[dataoff:dataoff + datasize]
        magic, _, count = struct.unpack_from(">3I", blob, 0)
        if magic != CS_SUPERBLOB:
            raise ValueError(f"signature blob magic 0x{magic:08x}")
        for i in range(count):
            slot, at = struct.unpack_from(">2I", blob, 12 + 8 * i)
            if slot == CSSLOT_CODEDIRECTORY:
                magic, length = struct.unpack_from(">2I", blob, at)
                if magic != CS_CODEDIRECTORY:
                    raise ValueError(f"code directory magic 0x{magic:08x}")
                return blob[at:at + length], dataoff
        raise ValueError("signature without a code directory")

    def text_words(self):
        addr, size, fileoff = self.sections.get(("__TEXT", "__text"), (0, 0, 0))
        return [(fileoff + 4 * i, w) for i, (w,) in enumerate(struct.iter_unpack("<I", self.data[fileoff:fileoff + size]))]


def fused_multiply_add(word: int) -> bool:
    """arm64 FMADD/FMSUB/FNMADD/FNMSUB (scalar), FMLA/FMLS (vector, and by element)."""
    return ((word & 0xFF000000) == 0x1F000000
            or (word & 0x9F20FC00) in (0x0E20CC00, 0x0EA0CC00)
            or (word & 0xBF80F400) in (0x0F801000, 0x0F805000))


def read_fat(data: bytes):
    magic, count = struct.unpack_from(">2I", data, 0)
    if magic not in (FAT_MAGIC, FAT_MAGIC_64):
        raise ValueError(f"not a universal binary (magic 0x{magic:08x})")
    entries = []
    for i in range(count):
        if magic == FAT_MAGIC:
            cpu, _, offset, size, _ = struct.unpack_from(">5I", data, 8 + 20 * i)
        else:
            cpu, _, offset, size, _, _ = struct.unpack_from(">2I2Q2I", data, 8 + 32 * i)
        entries.append((cpu, offset, size))
    return entries


def property_list_entries(rsrc: bytes):
    """The entry-point properties of the 'PiPL' resource in a resource file: key -> entry name."""
    data_offset, map_offset = struct.unpack_from(">2I", rsrc, 0)
    type_list = map_offset + struct.unpack_from(">H", rsrc, map_offset + 24)[0]
    entries = {}
    for t in range(struct.unpack_from(">H", rsrc, type_list)[0] + 1):
        kind, count, refs = struct.unpack_from(">4sHH", rsrc, type_list + 2 + 8 * t)
        if kind != b"PiPL":
            continue
        for r in range(count + 1):
            word = struct.unpack_from(">I", rsrc, type_list + refs + 12 * r + 4)[0]
            at = data_offset + (word & 0xFFFFFF)
            length = struct.unpack_from(">I", rsrc, at)[0]
            pipl = rsrc[at + 4:at + 4 + length]
            pos = 8
            for _ in range(struct.unpack_from(">I", pipl, 4)[0]):
                _, key, _, size = struct.unpack_from(">4s4s2I", pipl, pos)
                value = pipl[pos + 16:pos + 16 + size]
                if key in (b"mi64", b"ma64"):
                    entries[key] = value[1:1 + value[0]].decode("latin-1")
                pos += 16 + (size + 3) // 4 * 4
    return entries


def check_bundle(bundle: Path, expected: Path):
    """Every check as (name, passed, detail)."""
    results = []

    def check(name, ok, detail=""):
        results.append((name, bool(ok), detail))

    contents = bundle / "Contents"
    executable = contents / "MacOS" / "Crumbleforge"
    for name in ("Info.plist", "PkgInfo", "Resources/Crumbleforge.rsrc"):
        same = (contents / name).is_file() and (contents / name).read_bytes() == (expected / name).read_bytes()
        check(f"{name} is the one the Linux build checks", same, f"missing or differs from {expected / name}")
    info = plistlib.loads((contents / "Info.plist").read_bytes()) if (contents / "Info.plist").is_file() else {}
    check("Info.plist names Contents/MacOS/Crumbleforge", info.get("CFBundleExecutable") == "Crumbleforge")
    if not executable.is_file():
        check("Contents/MacOS/Crumbleforge exists", False)
        return results
    check("Contents/MacOS/Crumbleforge is executable", os.stat(executable).st_mode & 0o111)

    data = executable.read_bytes()
    try:
        fat = read_fat(data)
    except (ValueError, struct.error) as error:
        check("universal binary of x86_64 and arm64", False, str(error))
        return results
    archs = sorted(ARCH_NAMES.get(cpu, hex(cpu)) for cpu, _, _ in fat)
    check("universal binary of x86_64 and arm64", archs == ["arm64", "x86_64"], f"slices {archs}")
    minimum = str(info.get("LSMinimumSystemVersion", ""))
    parts = [int(p) for p in minimum.split(".")] + [0, 0] if minimum.replace(".", "").isdigit() else None
    wanted_minos = parts[0] << 16 | parts[1] << 8 | parts[2] if parts else None
    entries = property_list_entries((contents / "Resources/Crumbleforge.rsrc").read_bytes())

    for cpu, offset, size in fat:
        image = Slice(data[offset:offset + size], offset)
        arch = image.arch
        check(f"{arch}: header's processor is the fat entry's", image.cputype == cpu, f"0x{image.cputype:x}")
        check(f"{arch}: MH_BUNDLE", image.filetype == MH_BUNDLE, f"file type {image.filetype}")

        exports = image.exports()
        symbols = image.symbols()
        check(f"{arch}: exports exactly the two entries", set(exports) == EXPORTS,
              f"{len(exports)} exports: {sorted(exports)[:8]}")
        check(f"{arch}: symbol table defines only the two entries", set(symbols) == EXPORTS,
              f"{len(symbols)} symbols: {sorted(symbols)[:8]}")
        weak = ([n for n, (flags, _) in exports.items() if flags & EXPORT_WEAK]
                + [n for n, desc in symbols.items() if desc & N_WEAK_DEF])
        check(f"{arch}: no weak definitions",
              not weak and not image.flags & (MH_WEAK_DEFINES | MH_BINDS_TO_WEAK) and image.weak_bind_size() == 0,
              f"weak {sorted(set(weak))[:8]}, header flags 0x{image.flags:x}, weak binds {image.weak_bind_size()}")
        check(f"{arch}: links only {SYSTEM_LIBRARY}", image.libraries() == [SYSTEM_LIBRARY], image.libraries())
        minos = image.minimum_os()
        check(f"{arch}: minimum macOS equals Info.plist's {minimum}", minos is not None and minos == wanted_minos,
              f"minos {minos >> 16}.{minos >> 8 & 0xFF}" if minos is not None else "no minimum stated")

        effect = exports.get("_EffectMain")
        try:
            encoding, lsda = image.unwind_entry(effect[1]) if effect else (None, None)
            table = image.sections.get(("__TEXT", "__gcc_except_tab"))
            base = image.text_base()
            ok = (encoding is not None and encoding & UNWIND_HAS_LSDA and encoding & UNWIND_PERSONALITY_MASK
                  and encoding & UNWIND_MODE_MASK != UNWIND_DWARF_MODE.get(arch) and lsda is not None
                  and table is not None and table[0] - base <= lsda < table[0] - base + table[1])
            detail = (f"encoding 0x{encoding or 0:08x}, LSDA {lsda if lsda is None else hex(lsda)}, "
                      f"exception tables {'present' if table else 'missing'}")
        except (ValueError, struct.error, IndexError) as error:
            ok, detail = False, str(error)
        check(f"{arch}: EffectMain has an exception-table entry in the unwind info", ok, detail)

        if arch == "arm64":
            check_signature(image, check)
            fused = [hex(image.offset + pos) for pos, word in image.text_words() if fused_multiply_add(word)]
            check("arm64: no fused multiply-add in the code", not fused, f"at {fused[:5]}")

        entry = entries.get(ENTRY_PROPERTY.get(arch, b""))
        check(f"{arch}: the property list's {ENTRY_PROPERTY.get(arch, b'?').decode()} names an exported entry",
              entry is not None and "_" + entry in exports, f"names {entry!r}")
    return results


def check_signature(image: Slice, check):
    try:
        found = image.code_directory()
    except (ValueError, struct.error) as error:
        check("arm64: signed, every page hash matches", False, str(error))
        return
    if found is None:
        check("arm64: signed, every page hash matches", False, "no LC_CODE_SIGNATURE")
        return
    cd, signature_offset = found
    (hash_offset, _, _, code_slots, code_limit, hash_size, hash_type, _, page_shift) = struct.unpack_from(
        ">5I4B", cd, 16)
    page = 1 << page_shift if page_shift else code_limit
    bad = []
    if hash_type not in CS_HASHES or code_limit != signature_offset or code_slots != -(-code_limit // page):
        bad.append(f"hash type {hash_type}, code limit {code_limit} (signature at {signature_offset}), "
                   f"{code_slots} slots")
    else:
        for i in range(code_slots):
            chunk = image.data[i * page:min((i + 1) * page, code_limit)]
            digest = hashlib.new(CS_HASHES[hash_type], chunk).digest()[:hash_size]
            if digest != cd[hash_offset + i * hash_size:hash_offset + (i + 1) * hash_size]:
                bad.append(f"page {i}")
    check("arm64: signed, every page hash matches", not bad, ", ".join(bad[:5]))


# Damage for the self-test: (what, the check that must fail, function(bundle) changing the copy).
def patch(path: Path, offset: int, new: bytes):
    data = bytearray(path.read_bytes())
    data[offset:offset + len(new)] = new
    path.write_bytes(bytes(data))


def slice_of(bundle: Path, arch: str) -> Slice:
    data = (bundle / "Contents/MacOS/Crumbleforge").read_bytes()
    cpu = {v: k for k, v in ARCH_NAMES.items()}[arch]
    _, offset, size = next(e for e in read_fat(data) if e[0] == cpu)
    return Slice(data[offset:offset + size], offset)


def first_arm64_slice_only(bundle):
    patch(bundle / "Contents/MacOS/Crumbleforge", 4, struct.pack(">I", 1))


def to_dylib(bundle):
    patch(bundle / "Contents/MacOS/Crumbleforge", slice_of(bundle, "x86_64").offset + 12, struct.pack("<I", 6))


def weak_flag(bundle):
    image = slice_of(bundle, "x86_64")
    patch(bundle / "Contents/MacOS/Crumbleforge", image.offset + 24, struct.pack("<I", image.flags | MH_WEAK_DEFINES))


def renamed_export(bundle):
    image = slice_of(bundle, "x86_64")
    (_, command), = image.command(LC_DYLD_INFO, LC_DYLD_INFO_ONLY)
    at = image.data.index(b"EffectMain\0", struct.unpack_from("<I", image.data, command + 40)[0])  # trie's edge
    patch(bundle / "Contents/MacOS/Crumbleforge", image.offset + at, b"EffectMaim")


def other_library(bundle):
    image = slice_of(bundle, "x86_64")
    at = image.data.index(SYSTEM_LIBRARY.encode())
    patch(bundle / "Contents/MacOS/Crumbleforge", image.offset + at, b"/usr/lib/libc++.1.dylib\0")


def later_minimum(bundle):
    plist = bundle / "Contents/Info.plist"
    info = plistlib.loads(plist.read_bytes())
    info["LSMinimumSystemVersion"] = "12.0"
    plist.write_bytes(plistlib.dumps(info))


def lost_exception_table(bundle):
    image = slice_of(bundle, "x86_64")
    addr, size, fileoff = image.sections[("__TEXT", "__unwind_info")]
    info = image.data[fileoff:fileoff + size]
    index_off = struct.unpack_from("<I", info, 20)[0]
    lsda_start, effect = struct.unpack_from("<I", info, index_off + 8)[0], image.exports()["_EffectMain"][1]
    at = info.index(struct.pack("<I", effect), lsda_start)
    patch(bundle / "Contents/MacOS/Crumbleforge", image.offset + fileoff + at, struct.pack("<I", effect + 1))


def altered_arm64_code(bundle):
    image = slice_of(bundle, "arm64")
    pos, word = image.text_words()[len(image.text_words()) // 2]
    patch(bundle / "Contents/MacOS/Crumbleforge", image.offset + pos, struct.pack("<I", word ^ 0x1))


def fused_arm64_code(bundle):
    image = slice_of(bundle, "arm64")
    pos, _ = image.text_words()[10]
    patch(bundle / "Contents/MacOS/Crumbleforge", image.offset + pos, struct.pack("<I", 0x1F420020))


def unsigned_arm64(bundle):
    image = slice_of(bundle, "arm64")
    (_, pos), = image.command(LC_CODE_SIGNATURE)
    patch(bundle / "Contents/MacOS/Crumbleforge", image.offset + pos, struct.pack("<I", 0x7FFFFFF0))


def arm64_entry_renamed(bundle):
    rsrc = bundle / "Contents/Resources/Crumbleforge.rsrc"
    data = rsrc.read_bytes()
    at = data.index(b"ma64") + 12 + 1 + 1  # key, id, length, then the Pascal string's count byte
    patch(rsrc, at, b"Effect_Main")


def lost_x_bit(bundle):
    os.chmod(bundle / "Contents/MacOS/Crumbleforge", 0o644)


DAMAGES = [
    ("only the x86_64 slice", "universal binary of x86_64 and arm64", first_arm64_slice_only),
    ("a dylib, not a bundle", "x86_64: MH_BUNDLE", to_dylib),
    ("an export renamed", "x86_64: exports exactly the two entries", renamed_export),
    ("weak definitions", "x86_64: no weak definitions", weak_flag),
    ("another library", f"x86_64: links only {SYSTEM_LIBRARY}", other_library),
    ("Info.plist asks for 12.0", "arm64: minimum macOS equals Info.plist's 12.0", later_minimum),
    ("EffectMain's exception table gone", "x86_64: EffectMain has an exception-table entry in the unwind info",
     lost_exception_table),
    ("one bit of arm64 code changed", "arm64: signed, every page hash matches", altered_arm64_code),
    ("a fused multiply-add in arm64 code", "arm64: no fused multiply-add in the code", fused_arm64_code),
    ("arm64 unsigned", "arm64: signed, every page hash matches", unsigned_arm64),
    ("ma64 naming an entry arm64 does not export", "arm64: the property list's ma64 names an exported entry",
     arm64_entry_renamed),
    ("the executable without its x bit", "Contents/MacOS/Crumbleforge is executable", lost_x_bit),
]


def self_test(bundle: Path, expected: Path) -> int:
    failed = 0
    with tempfile.TemporaryDirectory(prefix="crumbleforge-bundle-") as work:
        for what, must_fail, damage in DAMAGES:
            copy = Path(work, what.replace(" ", "_"), "Crumbleforge.plugin")
            shutil.copytree(bundle, copy)
            if "Info.plist" in what:
                # The damaged Info.plist must still be the expected one, so that only the minimum differs.
                expected_copy = Path(work, "expected")
                shutil.rmtree(expected_copy, ignore_errors=True)
                shutil.copytree(expected, expected_copy)
                damage(copy)
                shutil.copy(copy / "Contents/Info.plist", expected_copy / "Info.plist")
                against = expected_copy
            else:
                damage(copy)
                against = expected
            try:
                failures = {name for name, ok, _ in check_bundle(copy, against) if not ok}
            except Exception as error:  # noqa: BLE001 - a crash of the check is its own failure
                failures = {f"crash: {error!r}"}
            caught = must_fail in failures
            failed += not caught
            print(("ok   " if caught else "FAIL ") + f"{what}: " +
                  (f"'{must_fail}' fails" if caught else f"'{must_fail}' passed; failures: {sorted(failures)}"))
    print(f"{len(DAMAGES) - failed} passed, {failed} failed")
    return 1 if failed else 0


def main() -> int:
    args = sys.argv[1:]
    testing = args[:1] == ["--self-test"]
    args = args[1:] if testing else args
    if len(args) != 2:
        print(__doc__)
        return 2
    bundle, expected = Path(args[0]), Path(args[1])
    if not (bundle / "Contents/MacOS/Crumbleforge").is_file():
        reason = (f"no bundle at {bundle}; build it with `cmake --preset macos && cmake --build --preset macos` "
                  "(or set CRUMBLEFORGE_MACOS_BUILD_DIR)")
        if os.environ.get("CRUMBLEFORGE_REQUIRE_MACOS") == "1":
            print(f"FAIL {reason} (CRUMBLEFORGE_REQUIRE_MACOS=1)")
            return 1
        print(f"SKIPPED: {reason}")
        return SKIP
    if testing:
        return self_test(bundle, expected)
    results = check_bundle(bundle, expected)
    for name, ok, detail in results:
        print(("ok   " if ok else "FAIL ") + name + ("" if ok or not detail else f": {detail}"))
    failed = sum(not ok for _, ok, _ in results)
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
