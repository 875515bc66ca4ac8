#!/usr/bin/env python3
"""Splits vqdinst.exe by where its bytes come from.

    mapsize.py MAP EXE [--objects] [--limit BYTES]

MAP is the GNU ld map of the link (-Wl,-Map), EXE the linked program. Every
input section of the map is charged to the program's own objects (those of
CMakeFiles/), to the C/C++ runtime (the compiler's and MinGW's libraries and
start-up objects) or to the import stubs of the Windows DLLs. The carried
files are the DATA resources of the resource section. What the map does not
name (headers, alignment, relocations, the import directory) is "other".
With --objects the runtime's share is also listed per archive member. With
--limit the exit code is 1 when the file without the carried files is larger
than BYTES (the build test build.size).
"""
import re
import struct
import sys
from collections import defaultdict

IMPORT_LIBS = re.compile(r"lib(kernel32|user32|gdi32|advapi32|version|msvcrt|shell32|ole32)\.a\(")
# Sections that do not take room in the file.
NOLOAD = {".bss", ".tls$ZZZ"}


def category(path):
    if "CMakeFiles/" in path:
        return "program"
    if IMPORT_LIBS.search(path.replace("\\", "/")):
        return "imports"
    return "runtime"


def read_map(path):
    """(output section, input file, size) for each input section with bytes."""
    entries = []
    out_section = None
    pending = None  # an input section name on a line of its own
    line_re = re.compile(r"^ (\S+)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(.+)$")
    with open(path, errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            m = re.match(r"^(\.\S+)\s+0x[0-9a-f]+\s+0x[0-9a-f]+", line)
            if m:
                out_section = m.group(1)
                continue
            if re.match(r"^(\.\S+)$", line):
                out_section = line.strip()
                continue
            if out_section is None or out_section.startswith(".debug") or out_section in NOLOAD:
                continue
            if re.match(r"^ \S+$", line):
                pending = line.strip()
                continue
            m = line_re.match(line)
            if m:
                name = m.group(1) or pending
                pending = None
                if name is None or not name.startswith("."):
                    continue
                size = int(m.group(3), 16)
                file = m.group(4).strip()
                if size and not file.startswith("*"):
                    entries.append((out_section, file, size))
            else:
                pending = None
    return entries


def pe_sections(exe):
    data = open(exe, "rb").read()
    pe = struct.unpack_from("<I", data, 60)[0]
    nsec = struct.unpack_from("<H", data, pe + 6)[0]
    opt = struct.unpack_from("<H", data, pe + 20)[0]
    secs = {}
    for i in range(nsec):
        off = pe + 24 + opt + 40 * i
        name = data[off:off + 8].rstrip(b"\0").decode()
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, off + 8)
        secs[name] = (va, vsize, rawptr, rawsize)
    return data, secs


def data_resources(exe):
    """Total size of the resources of the named type DATA."""
    data, secs = pe_sections(exe)
    if ".rsrc" not in secs:
        return 0
    va, _, raw, _ = secs[".rsrc"]

    def directory(off):
        named, ids = struct.unpack_from("<HH", data, raw + off + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, raw + off + 16 + 8 * i)
            yield name, target

    def name_of(name):
        if not name & 0x80000000:
            return name
        off = raw + (name & 0x7FFFFFFF)
        n = struct.unpack_from("<H", data, off)[0]
        return data[off + 2:off + 2 + 2 * n].decode("utf-16-le")

    def leaves(target):
        if target & 0x80000000:
            for _, t in directory(target & 0x7FFFFFFF):
                yield from leaves(t)
        else:
            rva, size = struct.unpack_from("<II", data, raw + target)
            yield size

    total = 0
    for name, target in directory(0):
        if name_of(name) == "DATA":
            total += sum(leaves(target))
    return total


def main():
    argv = sys.argv[1:]
    limit = None
    if "--limit" in argv:
        at = argv.index("--limit")
        limit = int(argv[at + 1])
        del argv[at:at + 2]
    args = [a for a in argv if not a.startswith("--")]
    if len(args) != 2:
        sys.exit(__doc__)
    mapfile, exe = args
    entries = read_map(mapfile)
    file_size = len(open(exe, "rb").read())
    payload = data_resources(exe)
    share = defaultdict(int)
    by_section = defaultdict(lambda: defaultdict(int))
    by_object = defaultdict(int)
    for section, file, size in entries:
        if section in (".rsrc", ".reloc"):
            continue  # the resources are split below; relocations are "other"
        cat = category(file)
        share[cat] += size
        by_section[cat][section] += size
        if cat == "runtime":
            by_object[re.sub(r"^.*/", "", file)] += size
    rsrc_other = 0
    _, secs = pe_sections(exe)
    if ".rsrc" in secs:
        rsrc_other = secs[".rsrc"][1] - payload
    share["program"] += rsrc_other  # the version resource and the dialog's own
    named = sum(share.values()) + payload
    other = file_size - named
    print(f"{'part':<22}{'bytes':>9}{'KiB':>9}")
    for cat, label in (("program", "program code+data"), ("runtime", "C/C++ runtime"),
                       ("imports", "import stubs"), ("other", "headers+relocs+pad")):
        value = other if cat == "other" else share[cat]
        print(f"{label:<22}{value:>9}{value / 1024:>9.1f}")
    print(f"{'payload (DATA)':<22}{payload:>9}{payload / 1024:>9.1f}")
    print(f"{'file':<22}{file_size:>9}{file_size / 1024:>9.1f}")
    print(f"{'file without payload':<22}{file_size - payload:>9}{(file_size - payload) / 1024:>9.1f}")
    if limit is not None:
        without = file_size - payload
        if without > limit:
            print(f"FAIL {exe} without its payload is {without} bytes, more than {limit}: "
                  "see what grew with --objects")
            sys.exit(1)
        print(f"ok   {without} bytes without the payload, at most {limit}")
    if "--objects" in argv:
        print()
        for cat in ("program", "runtime"):
            print(cat, dict(sorted(by_section[cat].items(), key=lambda kv: -kv[1])))
        print()
        for obj, size in sorted(by_object.items(), key=lambda kv: -kv[1])[:40]:
            print(f"{size:>8}  {obj}")


if __name__ == "__main__":
    main()
