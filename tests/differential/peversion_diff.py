#!/usr/bin/python3
"""Compares the host's reader of PE version resources with pefile.

    peversion_diff.py DUMP_TOOL FILE_OR_DIRECTORY...

DUMP_TOOL (peversion_dump) prints, per file, the fixed file version
(dwFileVersionMS/LS as a.b.c.d) and the FileVersion text of the first
translation, or "none". pefile reads the same two things from the first
version resource (first name, first language). Exit code 0 when they agree
on every file, 1 otherwise (or when nothing with a version was compared).
"""
import os
import subprocess
import sys

import pefile


def files_of(args):
    for arg in args:
        if os.path.isdir(arg):
            for name in sorted(os.listdir(arg)):
                path = os.path.join(arg, name)
                if os.path.isfile(path):
                    yield path
        else:
            yield arg


def text(value):
    return value.decode("latin-1") if isinstance(value, bytes) else str(value)


def first_translation(pe, var):
    """The first language and code page of a Translation value, as 8 hex digits.

    pefile keeps only the last pair of the value, so a value with several
    pairs is read from the file itself."""
    if var.ValueLength // 4 <= 1:
        pair = list(var.entry.values())[0].split()
        return "%04x%04x" % (int(pair[0], 16), int(pair[1], 16))
    offset = var.get_file_offset() + 6 + 2 * (len("Translation") + 1)
    offset = (offset + 3) & ~3
    lang = pe.get_word_from_data(pe.__data__[offset:offset + 2], 0)
    codepage = pe.get_word_from_data(pe.__data__[offset + 2:offset + 4], 0)
    return "%04x%04x" % (lang, codepage)


def complete_version_resource(pe):
    resources = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    for entry in resources.entries if resources else []:
        if entry.id != pefile.RESOURCE_TYPE["RT_VERSION"]:
            continue
        try:
            data = entry.directory.entries[0].directory.entries[0].data.struct
            start = pe.get_offset_from_rva(data.OffsetToData)
        except (AttributeError, IndexError, pefile.PEFormatError):
            return False
        section = pe.get_section_by_rva(data.OffsetToData)
        if section is None:
            return False
        end_of_section = section.PointerToRawData + section.SizeOfRawData
        return start + data.Size <= min(len(pe.__data__), end_of_section)
    return False


def pefile_answer(path):
    try:
        pe = pefile.PE(path, fast_load=True)
        pe.parse_data_directories(
            directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    except (pefile.PEFormatError, OSError, ValueError, IndexError):
        return "none", "none"
    fixed = "none"
    # A version resource that runs past the end of the file is no version
    # resource to the system; pefile reads what there is of it.
    if not complete_version_resource(pe):
        return "none", "none"
    # VerQueryValue hands out the fixed information only when the root node
    # declares it (wValueLength); pefile reads it whatever the node says.
    if (getattr(pe, "VS_FIXEDFILEINFO", None) and getattr(pe, "VS_VERSIONINFO", None)
            and pe.VS_VERSIONINFO[0].ValueLength >= 52):
        info = pe.VS_FIXEDFILEINFO[0]
        fixed = "%d.%d.%d.%d" % (info.FileVersionMS >> 16, info.FileVersionMS & 0xFFFF,
                                 info.FileVersionLS >> 16, info.FileVersionLS & 0xFFFF)
    string = "none"
    infos = getattr(pe, "FileInfo", None)
    # pefile looks for the string tables after 52 bytes of fixed information
    # whatever the root node declares; the system starts where the declared
    # value ends. The text can be compared only when the two agree.
    if getattr(pe, "VS_VERSIONINFO", None) and pe.VS_VERSIONINFO[0].ValueLength != 52:
        return fixed, None
    if infos:
        translation = None
        tables = []
        only_table = False
        for block in infos[0]:
            key = text(getattr(block, "Key", b""))
            if key == "VarFileInfo":
                for var in getattr(block, "Var", []):
                    if "Translation" in [text(k) for k in var.entry] and translation is None:
                        translation = first_translation(pe, var)
            elif key == "StringFileInfo":
                tables.extend(getattr(block, "StringTable", []))
                if len(tables) == 1:
                    end = (tables[0].get_file_offset() + tables[0].Length + 3) & ~3
                    only_table = end >= block.get_file_offset() + block.Length
        # pefile reads only the first string table of a StringFileInfo
        # block: the text of another translation cannot be had from it.
        if translation is not None and tables:
            if text(tables[0].LangID).lower() != translation:
                string = "none" if only_table else None
            else:
                for name, value in tables[0].entries.items():
                    if text(name).lower() == "fileversion":
                        string = text(value).split("\0")[0]
                        break
    return fixed, string


def main():
    if len(sys.argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    files = list(files_of(sys.argv[2:]))
    dump = subprocess.run([sys.argv[1]] + files, check=True, capture_output=True, text=True,
                          encoding="latin-1").stdout.splitlines()
    ours = {}
    for line in dump:
        path, fixed, string = line.split("\t")
        ours[path] = (fixed, string)
    differences = with_version = 0
    for path in files:
        mine, theirs = ours.get(path), pefile_answer(path)
        if theirs[1] is None and mine:  # only the fixed version can be compared
            theirs = (theirs[0], mine[1] + " (not comparable)")
            mine = (mine[0], theirs[1])
        same = mine == theirs
        differences += not same
        with_version += same and theirs[0] != "none"
        print("%-9s %s  host=%s pefile=%s" % ("same" if same else "DIFFERENT", os.path.basename(path),
                                             "/".join(mine or ("missing",)), "/".join(theirs)))
    print("%d files, %d with a version, %d different" % (len(files), with_version, differences))
    return 1 if differences or with_version == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
