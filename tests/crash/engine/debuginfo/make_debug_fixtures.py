#!/usr/bin/env python3
"""Writes the fixtures of the debug-information readers.

From one made-up module (units, procedures, lines) it writes a linker map
text, a JDBG block and TD32 data, each with the answers its lookups must
give, computed here from the tables as written; and copies of a DLL with
those as side files, in a section of their own, or behind a debug
directory.

usage:
  make_debug_fixtures.py --header OUT.h --dll FIXTURE.dll --out DIR
  make_debug_fixtures.py --bench DIR [--publics N --lines N]
"""
import argparse
import os
import random
import shutil
import struct

# ---- The module ----------------------------------------------------------------


class Proc:
    def __init__(self, cls, name, offset, size, local=False):
        self.cls, self.name, self.offset, self.size, self.local = cls, name, offset, size, local


class Unit:
    def __init__(self, name, source, start, size):
        self.name, self.source, self.start, self.size = name, source, start, size
        self.procs = []
        self.lines = []  # (offset, line), offsets rising

    @property
    def end(self):
        return self.start + self.size


def make_module(seed=18, units=6):
    """Units with gaps between some of them; procedures that tile most of a
    unit (a few bytes at its end belong to none); a line every few bytes."""
    rng = random.Random(seed)
    result = []
    at = 0x40
    for u in range(units):
        name = "Unit%d" % (u + 1) if u != 3 else "FormMain"
        size = rng.randrange(0x60, 0x140) & ~3
        unit = Unit(name, "C:\\Src\\%s\\%s.pas" % ("lib" if u % 2 else "app", name), at, size)
        p = unit.start
        n = 0
        while p < unit.end - 0x10:
            psize = min(rng.randrange(0x10, 0x50), unit.end - 0x8 - p)
            cls = "T%sObj" % name if n % 3 != 2 else ""
            unit.procs.append(Proc(cls, "Method%d" % n if cls else "Helper%d" % n, p, psize, local=(n % 4 == 3)))
            p += psize
            n += 1
        line = rng.randrange(10, 40)
        o = unit.start
        while o < unit.end:
            unit.lines.append((o, line))
            o += rng.randrange(2, 12)
            line += rng.randrange(1, 4)
        result.append(unit)
        at = unit.end + (0x20 if u % 2 else 0)
    return result


def probe_offsets(units):
    vas = {0, 1, units[0].start - 1}
    for unit in units:
        for d in (0, 1, unit.size - 1, unit.size, unit.size + 1):
            vas.add(unit.start + d)
        for proc in unit.procs:
            for d in (0, 1, proc.size - 1, proc.size):
                vas.add(proc.offset + d)
        for offset, _ in unit.lines[::3]:
            vas.update((offset - 1, offset, offset + 1))
    vas.add(units[-1].end + 0x100)
    return sorted(v for v in vas if v >= 0)


class Answer:
    def __init__(self, unit="", proc="", proc_offset=0, line=0, source=""):
        self.unit, self.proc, self.proc_offset, self.line, self.source = unit, proc, proc_offset, line, source


def last_at_or_below(entries, va):
    """Of (addr, value) entries in rising order, the last with addr <= va."""
    found = None
    for addr, value in entries:
        if addr > va:
            break
        found = (addr, value)
    return found


def location(unit_of, proc_of, line_of, source_of, va):
    """The common steps of every kind: false without a unit; the procedure's
    offset line is the line minus the line at the procedure's start."""
    unit = unit_of(va)
    if not unit:
        return None
    proc, offset = proc_of(va)
    line = line_of(va)
    return Answer(unit, proc, line - line_of((va - offset) & 0xFFFFFFFF), line, source_of(va))


# ---- The map ----------------------------------------------------------------------


def map_text(units, lower=False, suffix_h=False, data_publics=True, disorder=True):
    hx = (lambda v, w: ("%0*x" % (w, v))) if lower else (lambda v, w: ("%0*X" % (w, v)))
    h = "H" if suffix_h else ""
    out = []
    out.append("")
    out.append(" Start         Length     Name                   Class")
    total = units[-1].end
    out.append(" 0001:%s %s%s .text                   CODE" % (hx(0x401000, 8), hx(total, 9), h))
    out.append(" 0002:%s %s%s .data                   DATA" % (hx(0, 8), hx(0x200, 9), h))
    out.append("")
    out.append("")
    out.append("Detailed map of segments")
    out.append("")
    for unit in units:
        out.append(" 0001:%s %s C=CODE     S=.text    G=(none)   M=%s ACBP=A9"
                   % (hx(unit.start, 8), hx(unit.size, 8), unit.name))
    out.append(" 0002:%s %s C=DATA     S=.data    G=DGROUP   M=%s ACBP=A9" % (hx(0, 8), hx(0x10, 8), units[0].name))
    out.append("")
    out.append("")
    publics = []
    for unit in units:
        for proc in unit.procs:
            full = "%s.%s.%s" % (unit.name, proc.cls, proc.name) if proc.cls else "%s.%s" % (unit.name, proc.name)
            publics.append((proc.offset, full))
    by_name = sorted(publics, key=lambda p: p[1])
    out.append("  Address         Publics by Name")
    out.append("")
    for offset, name in by_name:
        out.append(" 0001:%s       %s" % (hx(offset, 8), name))
    out.append("")
    out.append("  Address             Publics by Value")
    out.append("")
    # Not in address order: the scanner sorts them.
    listed = list(publics)
    random.Random(5).shuffle(listed)
    if data_publics:
        listed.insert(3, (units[1].start, "DataInSegmentTwo"))
    for offset, name in listed:
        seg = "0002" if name == "DataInSegmentTwo" else "0001"
        out.append(" %s:%s       %s" % (seg, hx(offset, 8), name))
    out.append("")
    errors = 0
    for unit in units:
        out.append("")
        out.append("Line numbers for %s(%s) segment .text" % (unit.name, unit.source))
        out.append("")
        pairs = ["%6d %s:%s" % (line, "0001", hx(offset, 8)) for offset, line in unit.lines]
        if disorder and unit is units[2]:
            # A line below the one before it: dropped and counted.
            pairs.insert(4, "%6d 0001:%s" % (999, hx(unit.lines[1][0], 8)))
            errors += 1
        for i in range(0, len(pairs), 4):
            out.append(" ".join(pairs[i:i + 4]))
    out.append("")
    out.append("Bound resource files")
    out.append("")
    return ("\r\n".join(out) + "\r\n").encode("ascii"), errors


def map_answers(units, vas):
    segments = [(u.start, u.end, u.name) for u in units]
    publics = sorted((p.offset, "%s.%s.%s" % (u.name, p.cls, p.name) if p.cls else "%s.%s" % (u.name, p.name))
                     for u in units for p in u.procs)
    lines = [(o, l) for u in units for o, l in u.lines]
    sources = [(u.lines[0][0], u.source) for u in units]

    def start_of(va):
        for start, end, _ in reversed(segments):
            if start <= va <= end:
                return start
        return None

    def unit_of(va):
        for start, end, name in reversed(segments):
            if start <= va <= end:
                return name
        return ""

    def entry(table, va):
        start = start_of(va)
        found = last_at_or_below(table, va)
        if start is None or found is None or found[0] < start:
            return None
        return found

    def proc_of(va):
        found = entry(publics, va)
        return (found[1], va - found[0]) if found else ("", 0)

    def line_of(va):
        found = entry(lines, va)
        return found[1] if found else 0

    def source_of(va):
        found = entry(sources, va)
        return found[1] if found else ""

    return [(va, location(unit_of, proc_of, line_of, source_of, va)) for va in vas]


# ---- JDBG -------------------------------------------------------------------------


def varint(value):
    value &= 0xFFFFFFFF
    out = bytearray()
    while True:
        b = value & 0x7F
        value >>= 7
        if value:
            out.append(b | 0x80)
        else:
            out.append(b)
            return bytes(out)


LIST_END = varint(0x7FFFFFFF)
SIX_BIT = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_"


def six_bit_name(text):
    """Form 0, or 2 for a leading "@"; codes 1.. for SIX_BIT, 0 ends; four
    characters in three bytes, the lowest bits first."""
    form = 0
    if text.startswith("@"):
        form, text = 2, text[1:]
    codes = [SIX_BIT.index(c) + 1 for c in text] + [0]
    bits = 0
    for i, code in enumerate(codes):
        bits |= code << (6 * i)
    return bytes([form]) + bits.to_bytes((6 * len(codes) + 7) // 8, "little")


def xor_name(data):
    return b"\x01" + bytes(c if c == 0xAA else c ^ 0xAA for c in data) + b"\x00"


def encodable_six_bit(text):
    body = text[1:] if text.startswith("@") else text
    return body != "" and all(c in SIX_BIT for c in body)


class Names:
    def __init__(self, force_xor=False):
        self.area = bytearray()
        self.refs = {}
        self.force_xor = force_xor

    def ref(self, text):
        if text in self.refs:
            return self.refs[text]
        raw = text.encode("cp1251") if isinstance(text, str) else text
        key = text
        encoded = six_bit_name(text) if not self.force_xor and isinstance(text, str) and encodable_six_bit(text) \
            else xor_name(raw)
        self.refs[key] = len(self.area) + 1
        self.area += encoded
        return self.refs[key]


def delta_list(rows, terminated=True):
    out = bytearray()
    previous = [0] * (len(rows[0]) if rows else 0)
    for row in rows:
        for i, v in enumerate(row):
            out += varint(v - previous[i])
        previous = list(row)
    if terminated:
        out += LIST_END
    return bytes(out)


def jdbg_checksum(block):
    """The sum of the block's words with the checksum field zeroed (and its
    flag as it will be): the checksum's own bytes, lying at offset 29, add
    exactly its value rotated left by 8 to that sum, so this is the value the
    reader's rule accepts."""
    return sum(struct.unpack_from("<%dI" % (len(block) // 4), block)) & 0xFFFFFFFF


def jdbg_block(units, checksum=True, force_xor=False, last_list_open=False):
    names = Names(force_xor)
    unit_rows = [(u.start, names.ref(u.name)) for u in units]
    source_rows = [(u.start, names.ref(u.source)) for u in units]
    symbol_rows = []
    for u in units:
        for p in u.procs:
            if p.cls:
                symbol_rows.append((p.offset, names.ref(p.cls), names.ref(p.name)))
            else:
                symbol_rows.append((p.offset, names.ref(p.name), 0))
    line_rows = [(o, l) for u in units for o, l in u.lines]
    module_ref = names.ref("FixtureModule")
    lists = [delta_list(unit_rows), delta_list(source_rows), delta_list(symbol_rows)]
    lines = delta_list(line_rows, terminated=not last_list_open)
    header_size = 34
    body = bytearray()
    offsets = []
    for data in lists:
        offsets.append(header_size + len(body))
        body += data
    if last_list_open:
        # The names first, then the line list, which ends with the block.
        words = header_size + len(body)
        body += names.area
        pad = (-(header_size + len(body) + len(lines))) % 4
        body += b"\x00" * pad
        line_offset = header_size + len(body)
        body += lines
    else:
        line_offset = header_size + len(body)
        body += lines
        words = header_size + len(body)
        body += names.area
        body += b"\x00" * ((-(header_size + len(body))) % 4)
    header = struct.pack("<4sBIIIIIIIB", b"JDBG", 1, offsets[0], offsets[1], offsets[2], line_offset, words,
                         module_ref, 0, 1 if checksum else 0)
    block = bytearray(header + body)
    assert len(block) % 4 == 0
    if checksum:
        value = jdbg_checksum(block)
        struct.pack_into("<I", block, 29, value)
        total = (sum(struct.unpack_from("<%dI" % (len(block) // 4), block)) - value) & 0xFFFFFFFF
        assert ((total >> 8) | (total << 24)) & 0xFFFFFFFF == value
    return bytes(block)


def jdbg_answers(units, vas):
    starts = [(u.start, u.name) for u in units]
    sources = [(u.start, u.source) for u in units]
    symbols = [(p.offset, "%s.%s" % (p.cls, p.name) if p.cls else p.name) for u in units for p in u.procs]
    lines = [(o, l) for u in units for o, l in u.lines]

    def start_of(va):
        found = last_at_or_below(starts, va)
        return found[0] if found else None

    def unit_of(va):
        found = last_at_or_below(starts, va)
        return found[1] if found else ""

    def entry(table, va):
        start = start_of(va)
        found = last_at_or_below(table, va)
        if start is None or found is None or found[0] < start:
            return None
        return found

    def proc_of(va):
        found = entry(symbols, va)
        return (found[1], va - found[0]) if found else ("", 0)

    def line_of(va):
        found = entry(lines, va)
        return found[1] if found else 0

    def source_of(va):
        found = entry(sources, va)
        return found[1] if found else ""

    return [(va, location(unit_of, proc_of, line_of, source_of, va)) for va in vas]


# ---- TD32 -------------------------------------------------------------------------


def td32_proc_name(unit, proc):
    if proc.cls:
        return "@%s@%s@%s$qqrv" % (unit.name, proc.cls, proc.name)
    return "@%s@%s$qqrpv" % (unit.name, proc.name)


def td32_clean(name, module):
    if name.startswith("@"):
        name = name[1:]
    dollar = name.find("$")
    if dollar >= 0:
        cut = dollar - 1 if dollar > 0 and name[dollar - 1] == "@" else dollar
        name = name[:cut]
    name = name.replace("@", ".").replace("..", ".@")
    if module and len(name) > len(module) and name[len(module)] == "." and name[:len(module)].lower() == module.lower():
        name = name[len(module) + 1:]
    return name


def td32_data(units, signature=b"FB09"):
    names = []
    indices = {}

    def name_index(text):
        if text not in indices:
            names.append(text)
            indices[text] = len(names)
        return indices[text]

    subsections = []  # (type, module index, bytes)
    for i, u in enumerate(units):
        index = name_index(u.name)
        module = struct.pack("<HHHHII12s", 0, 0, 1, 0x5643, index, 0, b"") + struct.pack("<HHII", 1, 0, u.start, u.size)
        subsections.append((0x120, i + 1, module))
    for i, u in enumerate(units):
        # One source file, one line block.
        offsets = [o for o, _ in u.lines]
        numbers = [l for _, l in u.lines]
        header_size = 2 + 2 + 4 + 8 + 2
        header_size += (-header_size) % 4
        file_at = header_size
        file_size = 2 + 4 + 4 + 8
        file_size += (-file_size) % 4
        block_at = file_at + file_size
        data = bytearray()
        data += struct.pack("<HHI", 1, 1, file_at) + struct.pack("<II", u.start, u.end) + struct.pack("<H", 1)
        data += b"\x00" * (header_size - len(data))
        data += struct.pack("<HII", 1, name_index(u.source), block_at) + struct.pack("<II", u.start, u.end)
        data += b"\x00" * (block_at - len(data))
        data += struct.pack("<HH", 1, len(offsets)) + struct.pack("<%dI" % len(offsets), *offsets)
        data += struct.pack("<%dH" % len(numbers), *numbers)
        data += b"\x00" * ((-len(data)) % 4)
        subsections.append((0x127, i + 1, bytes(data)))
    symbols = bytearray(struct.pack("<I", 1))

    def record(kind, fields):
        body = struct.pack("<H", kind) + fields
        body += b"\x00" * ((-(len(body) + 2)) % 4)
        return struct.pack("<H", len(body)) + body

    for u in units:
        symbols += record(0x0009, struct.pack("<II", 0, name_index(u.name + ".obj")))
        for p in u.procs:
            kind = 0x0204 if p.local else 0x0205
            fields = struct.pack("<IIIIIIIHIBBI", 0, 0, 0, p.size, 0, p.size, p.offset, 1, 0, 0, 0,
                                 name_index(td32_proc_name(u, p)))
            symbols += record(kind, fields)
        symbols += record(0x0202, struct.pack("<IHHII", u.start, 2, 0, 0x74, name_index("g" + u.name)))
        symbols += record(0x1234, b"\x00" * 6)  # a kind the reader skips
    symbols += record(0x0003, struct.pack("<IIII", 0x74, name_index("kConst"), 0, 1))
    symbols += record(0x0209, struct.pack("<IHBBI", units[0].start, 1, 0, 0, name_index("Label")))
    subsections.append((0x125, 0, bytes(symbols)))
    text = bytearray(struct.pack("<I", len(names)))
    for n in names:
        raw = n.encode("cp1251")
        text += bytes([len(raw)]) + raw + b"\x00"
    subsections.append((0x130, 0, bytes(text)))

    data = bytearray(signature + b"\x00\x00\x00\x00")
    placed = []
    for kind, module, body in subsections:
        data += b"\x00" * ((-len(data)) % 4)
        placed.append((kind, module, len(data), len(body)))
        data += body
    # Two directories: modules and names in the first, the rest in the next.
    first = [p for p in placed if p[0] in (0x120, 0x130)]
    second = [p for p in placed if p[0] not in (0x120, 0x130)]
    data += b"\x00" * ((-len(data)) % 4)
    first_at = len(data)
    second_at = first_at + 16 + 12 * len(first)
    data += struct.pack("<HHIII", 16, 12, len(first), second_at, 0)
    for kind, module, offset, size in first:
        data += struct.pack("<HHII", kind, module, offset, size)
    data += struct.pack("<HHIII", 16, 12, len(second), 0, 0)
    for kind, module, offset, size in second:
        data += struct.pack("<HHII", kind, module, offset, size)
    struct.pack_into("<I", data, 4, first_at)
    data += signature + struct.pack("<I", len(data) + 8)
    return bytes(data)


def td32_answers(units, vas):
    def module_of(va):
        for u in units:
            if u.start <= va and va - u.start < u.size:
                return u
        return None

    def unit_of(va):
        u = module_of(va)
        return u.name if u else ""

    def proc_of(va):
        for u in units:
            for p in u.procs:
                if p.offset <= va and va - p.offset < p.size:
                    m = module_of(va)
                    return td32_clean(td32_proc_name(u, p), m.name if m else ""), va - p.offset
        return "", 0

    def source_module(va):
        for u in units:
            if u.start <= va < u.end:
                return u
        return None

    def line_of(va):
        u = source_module(va)
        if not u:
            return 0
        for i, (o, l) in enumerate(u.lines):
            if o == va:
                return l
            if o > va:
                return u.lines[i - 1][1] if i > 0 else 0
        return u.lines[-1][1] if u.lines else 0

    def source_of(va):
        u = source_module(va)
        return u.source if u else ""

    return [(va, location(unit_of, proc_of, line_of, source_of, va)) for va in vas]


# ---- Images -------------------------------------------------------------------------


def align(value, to):
    return (value + to - 1) // to * to


def add_section(image, name, data, characteristics=0x40000040):
    """Appends a section to a PE image (bytearray): its header after the
    last one, its bytes at the end of the file. Answers its address and file
    offset."""
    nt = struct.unpack_from("<I", image, 0x3C)[0]
    file_header = nt + 4
    count, = struct.unpack_from("<H", image, file_header + 2)
    optional_size, = struct.unpack_from("<H", image, file_header + 16)
    optional = file_header + 20
    section_align, file_align = struct.unpack_from("<II", image, optional + 32)
    headers_size, = struct.unpack_from("<I", image, optional + 60)
    table = optional + optional_size
    slot = table + 40 * count
    if slot + 40 > headers_size or any(image[slot:slot + 40]):
        raise SystemExit("no room for another section header")
    end = 0
    for i in range(count):
        vsize, va, raw_size = struct.unpack_from("<III", image, table + 40 * i + 8)
        end = max(end, va + max(vsize, raw_size))
    va = align(end, section_align)
    image += b"\x00" * (align(len(image), file_align) - len(image))
    raw = len(image)
    image += data + b"\x00" * (align(len(data), file_align) - len(data))
    struct.pack_into("<8sIIIIIIHHI", image, slot, name, len(data), va, align(len(data), file_align), raw, 0, 0, 0, 0,
                     characteristics)
    struct.pack_into("<H", image, file_header + 2, count + 1)
    struct.pack_into("<I", image, optional + 56, align(va + len(data), section_align))
    return va, raw


def set_debug_directory(image, va, size):
    nt = struct.unpack_from("<I", image, 0x3C)[0]
    optional = nt + 4 + 20
    struct.pack_into("<II", image, optional + 96 + 8 * 6, va, size)


def debug_entry(size, address, pointer):
    return struct.pack("<IIHHIIII", 0, 0, 0, 0, 0, size, address, pointer)


def write_images(dll, out, units, mapping, td32, jdbg):
    with open(dll, "rb") as f:
        original = f.read()
    os.makedirs(out, exist_ok=True)

    def put(name, image=None, sides=()):
        with open(os.path.join(out, name + ".dll"), "wb") as f:
            f.write(image if image is not None else original)
        for extension, data in sides:
            with open(os.path.join(out, name + extension), "wb") as f:
                f.write(data)

    gnu_map = (b"\r\nArchive member included to satisfy reference by file (symbol)\r\n\r\n"
               b"Memory Configuration\r\n\r\nName             Origin             Length             Attributes\r\n"
               b"*default*        0x00000000         0xffffffff\r\n\r\nLinker script and memory map\r\n\r\n"
               b".text           0x6af01000     0x13f4\r\n *(.text)\r\n")
    put("DbgMapTds", sides=((".map", mapping), (".tds", td32)))
    put("DbgTdsOnly", sides=((".tds", td32),))
    put("DbgJdbgOnly", sides=((".jdbg", jdbg),))
    put("DbgGnuMap", sides=((".map", gnu_map), (".jdbg", jdbg)))
    put("DbgNone")
    image = bytearray(original)
    add_section(image, b"JCLDEBUG", jdbg)
    put("DbgJclSection", bytes(image))
    # The TD32 data in the section with the directory, loaded with the image.
    image = bytearray(original)
    placeholder = debug_entry(0, 0, 0) + b"\x00" * 4 + td32
    va, raw = add_section(image, b".debug", placeholder)
    image[raw:raw + 28] = debug_entry(len(td32), va + 32, raw + 32)
    set_debug_directory(image, va, 28)
    put("DbgTdImage", bytes(image))
    # Only the directory in the section; the data after it in the file alone.
    image = bytearray(original)
    va, raw = add_section(image, b".debug", debug_entry(0, 0, 0))
    image += b"\x00" * ((-len(image)) % 16)
    image[raw:raw + 28] = debug_entry(len(td32), 0, len(image))
    image += td32
    set_debug_directory(image, va, 28)
    put("DbgTdFile", bytes(image))


# ---- The header -------------------------------------------------------------------------


def c_bytes(name, data):
    rows = []
    for i in range(0, len(data), 24):
        rows.append("    " + ", ".join("0x%02X" % b for b in data[i:i + 24]) + ",")
    return "inline constexpr unsigned char %s[] = {\n%s\n};\n" % (name, "\n".join(rows))


def c_text(text):
    out = '"'
    for b in text.encode("cp1251"):
        c = chr(b)
        if c in '\\"':
            out += "\\" + c
        elif 32 <= b < 127 and c != "?":
            out += c
        else:
            out += "\\%03o" % b
    return out + '"'


def c_answers(name, answers):
    rows = []
    for va, a in answers:
        if a is None:
            rows.append('    {0x%X, false, "", "", 0, 0, ""},' % va)
        else:
            rows.append('    {0x%X, true, %s, %s, %d, %d, %s},' % (va, c_text(a.unit), c_text(a.proc), a.proc_offset,
                                                                   a.line, c_text(a.source)))
    return "inline constexpr FixtureAnswer %s[] = {\n%s\n};\n" % (name, "\n".join(rows))


def write_header(path, parts):
    with open(path, "w", newline="\n") as f:
        f.write("// Written by make_debug_fixtures.py: the fixtures of the debug-information\n"
                "// readers and the answers their lookups must give.\n#pragma once\n#include <cstdint>\n\n"
                "namespace fixtures {\n\n"
                "struct FixtureAnswer {\n    std::uint32_t Va;\n    bool Found;\n    const char* Unit;\n"
                "    const char* Procedure;\n    std::int32_t ProcOffsetLine;\n    std::int32_t Line;\n"
                "    const char* Source;\n};\n\n")
        for part in parts:
            f.write(part)
            f.write("\n")
        f.write("}  // namespace fixtures\n")


def bench(out, publics, lines):
    """A map of that many publics and lines, and JDBG and TD32 data of a
    module of the same shape."""
    rng = random.Random(7)
    per_unit = 100
    units = []
    at = 0
    n_units = max(1, publics // per_unit)
    lines_per_unit = max(1, lines // n_units)
    for u in range(n_units):
        unit = Unit("BenchUnit%d" % u, "C:\\Bench\\BenchUnit%d.pas" % u, at, 0)
        offset = at
        for p in range(per_unit):
            size = 0x20 + rng.randrange(0, 0x40) * 4
            unit.procs.append(Proc("TBench%d" % (p % 7), "Method%d" % p, offset, size))
            offset += size
        unit.size = offset - at
        step = max(1, unit.size // lines_per_unit)
        line = 10
        for k in range(lines_per_unit):
            unit.lines.append((at + k * step, line))
            line += 1 + (k % 3)
        units.append(unit)
        at = offset
    os.makedirs(out, exist_ok=True)
    text, _ = map_text(units, disorder=False, data_publics=False)
    for name, data in (("bench.map", text), ("bench.jdbg", jdbg_block(units)), ("bench.tds", td32_data(units))):
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)
    with open(os.path.join(out, "bench.txt"), "w") as f:
        f.write("%d %d %d\n" % (len(units), sum(len(u.procs) for u in units), sum(len(u.lines) for u in units)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--header")
    parser.add_argument("--dll")
    parser.add_argument("--out")
    parser.add_argument("--bench")
    parser.add_argument("--publics", type=int, default=100000)
    parser.add_argument("--lines", type=int, default=500000)
    args = parser.parse_args()
    if args.bench:
        bench(args.bench, args.publics, args.lines)
        return
    units = make_module()
    vas = probe_offsets(units)
    mapping, map_errors = map_text(units)
    mapping_lower, _ = map_text(units, lower=True, suffix_h=True)
    td32 = td32_data(units)
    td32_fb0a = td32_data(units, b"FB0A")
    jdbg = jdbg_block(units)
    jdbg_plain = jdbg_block(units, checksum=False, force_xor=True, last_list_open=True)
    parts = [
        c_bytes("kMapText", mapping),
        "inline constexpr int kMapLineErrors = %d;\n" % map_errors,
        c_bytes("kMapTextLowerH", mapping_lower),
        c_answers("kMapAnswers", map_answers(units, vas)),
        c_bytes("kJdbgBlock", jdbg),
        c_bytes("kJdbgBlockXorOpen", jdbg_plain),
        c_answers("kJdbgAnswers", jdbg_answers(units, vas)),
        c_bytes("kTd32Data", td32),
        c_bytes("kTd32DataFB0A", td32_fb0a),
        c_answers("kTd32Answers", td32_answers(units, vas)),
        "inline constexpr std::uint32_t kUnitStarts[] = {%s};\n" % ", ".join("0x%X" % u.start for u in units),
        "inline constexpr std::uint32_t kUnitEnds[] = {%s};\n" % ", ".join("0x%X" % u.end for u in units),
    ]
    write_header(args.header, parts)
    if args.dll:
        write_images(args.dll, args.out, units, mapping, td32, jdbg)


if __name__ == "__main__":
    main()
