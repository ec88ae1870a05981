"""Checks what the module list made of each fixture library (the .facts files
of ModuleFactsWriter) against pefile's reading of the files, and that the
library linked with the export directory last has .edata as its last section
(objdump -h).

usage: verify_module_facts.py FACTS-FOLDER OBJDUMP EDATA-LAST-LIBRARY LIBRARY...
"""
import os
import re
import subprocess
import sys

import pefile

MT_MAIN, MT_PACKAGE, MT_LIBRARY = 1, 2, 3
RT_RCDATA = 10

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
    print(("ok: " if ok else "FAILED: ") + what)


def read_facts(path):
    facts = {"functions": []}
    with open(path, encoding="ascii") as lines:
        for line in lines:
            key, _, rest = line.rstrip("\n").partition(" ")
            if key == "function":
                name, address, size = rest.split(" ")
                facts["functions"].append((name, address, int(size)))
            else:
                facts[key] = rest
    return facts


def expected_version_block(pe):
    """Description and version as the module record should hold them."""
    description, version = "", ""
    for info in getattr(pe, "FileInfo", []) or []:
        for entry in info:
            if entry.Key == b"StringFileInfo":
                tables = entry.StringTable
                if tables:
                    text = tables[0].entries.get(b"FileDescription", b"").decode("utf-8")
                    if len(text) > 1:  # one character is a placeholder
                        description = text
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    if fixed:
        ms, ls = fixed.FileVersionMS, fixed.FileVersionLS
        version = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        if version == "0.0.0.0":
            version = ""
    return description, version


def rcdata_names(pe):
    names = set()
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return names
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id == RT_RCDATA:
            names.update(str(entry.name) for entry in kind.directory.entries if entry.name is not None)
    return names


def verify(facts_folder, library):
    name = os.path.basename(library)
    facts = read_facts(os.path.join(facts_folder, name + ".facts"))
    pe = pefile.PE(library)
    pe.parse_data_directories()

    check(int(facts["size"]) == os.path.getsize(library), name + ": size is the file's")
    description, version = expected_version_block(pe)
    check(bytes.fromhex(facts["description"]).decode("cp1251") == description,
          name + ": description %r" % description)
    check(facts["version"] == version, name + ": version %r" % version)

    is_dll = pe.FILE_HEADER.Characteristics & 0x2000
    packages = {"PACKAGEINFO", "PACKAGEOPTIONS"} <= rcdata_names(pe)
    check(int(facts["type"]) == (MT_MAIN if not is_dll else MT_PACKAGE if packages else MT_LIBRARY),
          name + ": module type")

    exports = {}
    flagged = False
    if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        flagged = pe.DIRECTORY_ENTRY_EXPORT.struct.Characteristics != 0
        for symbol in pe.DIRECTORY_ENTRY_EXPORT.symbols:
            if symbol.name:
                exports[symbol.name.decode("ascii")] = symbol
    listed = {function[0]: function for function in facts["functions"]}
    if flagged:
        check(not listed, name + ": flagged export directory gives no functions")
        return
    check(set(listed) == set(exports), name + ": the named exports %s" % sorted(exports))
    code_start = pe.OPTIONAL_HEADER.BaseOfCode
    for export_name, symbol in sorted(exports.items()):
        if export_name not in listed:
            continue
        _, address, size = listed[export_name]
        if symbol.forwarder:
            check(address == "outside", name + ": %s forwarded to %s" % (export_name, symbol.forwarder.decode()))
        else:
            check(address != "outside" and int(address, 16) == symbol.address,
                  name + ": %s at RVA %x" % (export_name, symbol.address))
            check(size == (1 if symbol.address < code_start else 0), name + ": %s size mark" % export_name)
    inside = [int(f[1], 16) for f in facts["functions"] if f[1] != "outside"]
    check(inside == sorted(inside), name + ": sorted by address")


def verify_edata_last(objdump, library):
    lines = subprocess.run([objdump, "-h", library], check=True, capture_output=True, text=True).stdout.splitlines()
    sections = [match.group(1) for match in map(re.compile(r"^\s*\d+\s+(\S+)").match, lines) if match]
    check(sections and sections[-1] == ".edata",
          os.path.basename(library) + ": .edata is the last section of %s" % sections)


def main():
    facts_folder, objdump, edata_last = sys.argv[1:4]
    verify_edata_last(objdump, edata_last)
    for library in sys.argv[4:]:
        verify(facts_folder, library)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
