#!/usr/bin/env python3
"""Writes the crash reporter's data block into a linked executable.

usage: debug-data.py reserve --out FILE --size BYTES --options FILE
                             [--password TEXT] [--symbol ID=NAME ...]
       debug-data.py fill --image EXE --objdump OBJDUMP --nm NM [--stats FILE]

A program that carries the crash reporter links a reserved RCDATA resource
VLDATA (the CMake function volumetra_crash_reporter makes it with `reserve`):
a marker, the settings of this program's block (options file, password,
symbols) and zeros up to the reserved size. After the link, `fill` builds the
block from the image's DWARF line table (objdump --dwarf=decodedline) and its
symbols (nm), writes it over the reservation, sets the resource's size to the
block's and recomputes the PE checksum; no section moves. An image without the
reservation is left alone. On any failure the image is removed, so that the
build stops and the next build links it again.

The block (version 6101): signature, version, compile date, flags (bit 0: unit
names carry their own extension), the symbol table, the zlib-compressed
options file, the check value (the signature enciphered with the password) and
the zlib-compressed line tables. Line tables: one unit per run of rows of one
file within a DWARF sequence, named by the file's base name; records as the
reader decodes them (see encode_record); procedures are the function symbols
holding the addresses, announced at their start and at every unit beginning
inside them.
"""
import argparse
import bisect
import datetime
import hashlib
import json
import os
import re
import struct
import subprocess
import sys
import time
import zlib

SIGNATURE = 0x100FAB10
VERSION = 6101
FLAG_UNIT_EXTENSIONS = 0x0001
CODE_BASE_RVA = 0x1000
RESERVE_MARKER = b'VLDATA reservation\0'
RT_RCDATA = 10
RESOURCE_NAME = 'VLDATA'
NAME_PART_MAX = 127

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


class StepError(Exception):
    pass


# ---- The cipher of the library's embedded data --------------------------------

def default_password():
    """The key text the library deciphers its own data with (EEncrypt.h)."""
    header = os.path.join(TOP, 'crash', 'engine', 'EEncrypt.h')
    with open(header, encoding='utf-8') as stream:
        match = re.search(r'kEmbeddedDataKey\s*=\s*"((?:[^"\\]|\\.)*)"', stream.read())
    if not match:
        raise StepError(f'{header}: kEmbeddedDataKey not found')
    return match.group(1).encode('latin-1').decode('unicode_escape')


class Cipher:
    DELTA = 0x9E3779B9
    MASK = 0xFFFFFFFF

    def __init__(self, password):
        digest = hashlib.md5(password.encode('latin-1')).digest()
        self.key = struct.unpack('>4I', digest)
        self.cache = {}

    def _block(self, data):
        k0, k1, k2, k3 = self.key
        v0, v1 = struct.unpack('>2I', data)
        total = 0
        mask = self.MASK
        for _ in range(32):
            total = (total + self.DELTA) & mask
            v0 = (v0 + ((((v1 << 4) & mask) + (v1 ^ k0) + ((v1 >> 5) ^ total) + k1) & mask)) & mask
            v1 = (v1 + ((((v0 << 4) & mask) + (v0 ^ k2) + ((v0 >> 5) ^ total) + k3) & mask)) & mask
        return struct.pack('>2I', v0, v1)

    def encrypt(self, data):
        # Names repeat (a procedure is announced in every unit it spans).
        cached = self.cache.get(data)
        if cached is None:
            cached = self.cache[data] = self._encrypt(data)
        return cached

    def _encrypt(self, data):
        chain = b'\xff' * 8
        out = bytearray()
        whole = len(data) - len(data) % 8
        for i in range(0, whole, 8):
            chain = self._block(bytes(a ^ b for a, b in zip(data[i:i + 8], chain)))
            out += chain
        if whole < len(data):
            mask = self._block(chain)
            out += bytes(a ^ b for a, b in zip(data[whole:], mask))
        return bytes(out)


# ---- Names and records ------------------------------------------------------------

def encode_name(parts, cipher):
    """The debug-name encoding of a name made of parts joined by '.': each part
    a length byte (bit 7: another part follows) and its enciphered bytes."""
    out = bytearray()
    for index, part in enumerate(parts):
        data = part.encode('latin-1', 'replace')[:NAME_PART_MAX]
        more = 0x80 if index + 1 < len(parts) else 0
        out.append(len(data) | more)
        out += cipher.encrypt(data) if cipher else data
    return bytes(out)


EXTENDED_MARKER = 0x0FFEFFFE
LONG_D_MAX = 0xFFF   # the D field 0xFFF means zero bytes
DELTA_MIN, DELTA_MAX = -32768, 32767


def encode_record(d, delta, proc):
    """One line record in its smallest form: the current line covers d bytes
    and then advances by delta; proc announces a procedure after them."""
    if not 0 <= d <= LONG_D_MAX or not DELTA_MIN <= delta <= DELTA_MAX:
        raise ValueError(f'record D={d} delta={delta} does not fit one record')
    if not proc and 1 <= d <= 32 and 1 <= delta <= 4:
        return bytes([((delta - 1) << 6) | ((d - 1) << 1)])
    if proc and 1 <= d <= 8 and 1 <= delta <= 8:
        return bytes([((delta - 1) << 5) | ((d - 1) << 2) | 1])
    flag = 4 if proc else 0
    if 1 <= d <= 128 and 1 <= delta <= 32:
        return struct.pack('<H', ((delta - 1) << 11) | ((d - 1) << 4) | flag | 3)
    field = LONG_D_MAX if d == 0 else d - 1
    v = (field << 16) | ((delta - 1) & 0xFFFF)
    record = struct.pack('<I', (v << 4) | 8 | flag | 3)
    if v == EXTENDED_MARKER:
        # This long record would read as the marker of the extended form.
        record += struct.pack('<HH', (delta - 1) & 0xFFFF, d - 1)
    return record


def emit_records(d, delta, proc):
    """The records for a step of any size: gaps longer than one record can
    cover are chained with records that keep the line, line jumps beyond one
    record's reach with zero-length records; the announcement goes last."""
    out = []
    while d > LONG_D_MAX:
        out.append((LONG_D_MAX, 0, False))
        d -= LONG_D_MAX
    while not DELTA_MIN <= delta <= DELTA_MAX:
        part = DELTA_MAX if delta > 0 else DELTA_MIN
        out.append((d, part, False))
        d = 0
        delta -= part
    out.append((d, delta, proc))
    return b''.join(encode_record(*record) for record in out)


# ---- Procedure names ----------------------------------------------------------------

CLONE_SUFFIX = re.compile(r'(\s*\[clone [^\]]*\])+$')
DOT_CLONE = re.compile(r'\.(isra|constprop|part|cold|lto_priv|localalias)(\.\d+)*')


OPERATOR_TOKENS = sorted(['()', '[]', '<<=', '>>=', '<=>', '->*', '->', '<<', '>>', '<=', '>=', '==', '!=',
                          '&&', '||', '++', '--', '+=', '-=', '*=', '/=', '%=', '&=', '|=', '^=', '<', '>', '+',
                          '-', '*', '/', '%', '&', '|', '^', '~', '!', '=', ',', ' new[]', ' new', ' delete[]',
                          ' delete', '""'], key=len, reverse=True)
IDENTIFIER = re.compile(r'[A-Za-z0-9_$]')


def _scan(name):
    """(start of the parameters, start of a top-level operator name or -1,
    blanks and '::' at bracket depth 0 before the parameters)."""
    depth = 0
    index = 0
    operator = -1
    blanks, scopes = [], []
    while index < len(name):
        if depth == 0 and name.startswith('operator', index) and \
                (index == 0 or not IDENTIFIER.match(name[index - 1])) and \
                not IDENTIFIER.match(name[index + 8:index + 9] or ' ') or \
                depth == 0 and name.startswith('operator ', index):
            operator = index
            index += 8
            for token in OPERATOR_TOKENS:
                if name.startswith(token, index):
                    index += len(token)
                    break
            continue
        char = name[index]
        if depth == 0:
            if char == '(' and not name.startswith('(anonymous namespace)', index):
                return index, operator, blanks, scopes
            if char == ' ' and operator < 0:
                blanks.append(index)
            if name.startswith('::', index) and operator < 0:
                scopes.append(index)
                index += 2
                continue
        if char in '(<[{':
            depth += 1
        elif char in ')>]}':
            depth = max(0, depth - 1)
        index += 1
    return len(name), operator, blanks, scopes


def split_function_name(demangled):
    """(class, procedure) of a demangled function symbol: GCC's clone suffixes
    dropped, the parameters and a template function's return type left out;
    the procedure is the part after the last '::' outside brackets (an
    operator name kept whole), the class the scope before it; each cut to
    what one name part holds."""
    name = CLONE_SUFFIX.sub('', demangled.strip())
    name = DOT_CLONE.sub('', name)
    params, operator, blanks, scopes = _scan(name)
    begin = blanks[-1] + 1 if blanks else 0
    scopes = [at for at in scopes if at >= begin]
    head = name[begin:params]
    if scopes:
        split = scopes[-1] - begin
        scope, procedure = head[:split], head[split + 2:]
    else:
        scope, procedure = '', head
    # A '.' would split the name where the reader splits class and procedure.
    return cut_part(scope.replace('.', '_')), cut_part(procedure.replace('.', '_'))


def cut_part(text):
    return text.encode('latin-1', 'replace')[:NAME_PART_MAX].decode('latin-1')


def prologue_lowers(procedure, code):
    """Whether the reader lowers a procedure's start line by one: it looks for
    PUSH EBP; MOV EBP,ESP (55 8B EC) or PUSH EBX (53), which GCC does not write."""
    if procedure == 'Finalization':
        return True
    if procedure == 'Initialization':
        return False
    return not (code[:3] == b'\x55\x8b\xec' or code[:1] == b'\x53')


# ---- The image --------------------------------------------------------------------

class Image:
    def __init__(self, path):
        self.path = path
        with open(path, 'rb') as stream:
            self.data = bytearray(stream.read())
        data = self.data
        if data[:2] != b'MZ':
            raise StepError(f'{path}: not a PE image')
        (pe,) = struct.unpack_from('<I', data, 0x3C)
        if data[pe:pe + 4] != b'PE\0\0':
            raise StepError(f'{path}: not a PE image')
        count, optional_size = struct.unpack_from('<H12xH', data, pe + 6)
        optional = pe + 24
        if struct.unpack_from('<H', data, optional)[0] != 0x10B:
            raise StepError(f'{path}: not a 32-bit image')
        (self.image_base,) = struct.unpack_from('<I', data, optional + 28)
        self.checksum_offset = optional + 64
        (directories,) = struct.unpack_from('<I', data, optional + 92)
        self.resource_rva, self.resource_size = (0, 0)
        if directories > 2:
            self.resource_rva, self.resource_size = struct.unpack_from('<2I', data, optional + 96 + 16)
        self.sections = []
        for index in range(count):
            header = optional + optional_size + 40 * index
            name = bytes(data[header:header + 8]).rstrip(b'\0').decode('latin-1')
            vsize, rva, raw_size, raw_offset = struct.unpack_from('<4I', data, header + 8)
            self.sections.append((name, rva, vsize, raw_offset, raw_size))

    def offset(self, rva, size=1):
        for _, start, vsize, raw_offset, raw_size in self.sections:
            if start <= rva and rva + size <= start + min(vsize, raw_size):
                return raw_offset + rva - start
        raise StepError(f'{self.path}: RVA {rva:#x} is not in the file')

    def read_rva(self, rva, size):
        for _, start, vsize, raw_offset, raw_size in self.sections:
            if start <= rva < start + vsize:
                avail = max(0, min(size, start + raw_size - rva))
                offset = raw_offset + rva - start
                return bytes(self.data[offset:offset + avail]) + b'\0' * (size - avail)
        return b''

    def text_range(self):
        for name, rva, vsize, _, _ in self.sections:
            if name == '.text':
                return self.image_base + rva, self.image_base + rva + vsize
        raise StepError(f'{self.path}: no .text section')

    def find_resource(self):
        """(file offset of the data entry, file offset of the data, size) of
        RCDATA VLDATA, or None."""
        if not self.resource_rva:
            return None
        base = self.offset(self.resource_rva, 16)

        def entries(directory):
            named, ids = struct.unpack_from('<HH', self.data, base + directory + 12)
            for index in range(named + ids):
                name, target = struct.unpack_from('<2I', self.data, base + directory + 16 + 8 * index)
                yield name, target

        def name_of(name):
            if not name & 0x80000000:
                return name
            at = base + (name & 0x7FFFFFFF)
            (length,) = struct.unpack_from('<H', self.data, at)
            return bytes(self.data[at + 2:at + 2 + 2 * length]).decode('utf-16-le')

        for type_name, type_target in entries(0):
            if name_of(type_name) != RT_RCDATA or not type_target & 0x80000000:
                continue
            for res_name, res_target in entries(type_target & 0x7FFFFFFF):
                if name_of(res_name) != RESOURCE_NAME or not res_target & 0x80000000:
                    continue
                for _, leaf in entries(res_target & 0x7FFFFFFF):
                    if leaf & 0x80000000:
                        continue
                    entry = base + leaf
                    rva, size = struct.unpack_from('<2I', self.data, entry)
                    return entry, self.offset(rva, size), size
        return None

    def update_checksum(self):
        struct.pack_into('<I', self.data, self.checksum_offset, 0)
        struct.pack_into('<I', self.data, self.checksum_offset, pe_checksum(self.data, self.checksum_offset))

    def save(self):
        with open(self.path, 'r+b') as stream:
            stream.write(self.data)


def pe_checksum(data, checksum_offset):
    """The PE image checksum: the 16-bit ones'-complement sum of the file with
    the checksum field as zero, plus the file's length."""
    import array
    padded = bytes(data) + (b'\0' if len(data) % 2 else b'')
    words = array.array('H')
    words.frombytes(padded)
    if sys.byteorder != 'little':
        words.byteswap()
    total = sum(words) - sum(struct.unpack_from('<2H', padded, checksum_offset))
    while total > 0xFFFF:
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


# ---- DWARF rows and symbols ---------------------------------------------------------

def read_sequences(text):
    """The line table's sequences: (rows, end), rows as (address, line, file)
    in the order objdump prints them. file is the full path: objdump names it
    when the file changes; a sequence that begins in another file than the
    last one named gets the path that name had in its compilation unit, also
    when the unit names that file only later on."""
    sequences = []
    rows = []
    path = None
    path_base = None
    known = {}
    unnamed = []  # (rows, index) of rows whose file the unit has not named yet

    def name_unnamed():
        for owner, index in unnamed:
            address, number, base = owner[index]
            owner[index] = (address, number, known.get(base, base))
        unnamed.clear()

    for line in text.splitlines():
        parts = line.split()
        if not parts:
            continue
        if len(parts) >= 3 and parts[2].startswith('0x') and (parts[1].isdigit() or parts[1] == '-'):
            address = int(parts[2], 16)
            if parts[1] == '-':
                sequences.append((rows, address))
                rows = []
                continue
            base = parts[0]
            if base == path_base:
                rows.append((address, int(parts[1]), path))
            elif base in known:
                rows.append((address, int(parts[1]), known[base]))
            else:
                unnamed.append((rows, len(rows)))
                rows.append((address, int(parts[1]), base))
            continue
        if parts[0] == 'CU:' and len(parts) == 2:
            name_unnamed()
            path = parts[1].rstrip(':')
            known = {}
        elif len(parts) == 1 and line.endswith(':') and not line[0].isspace():
            path = line[:-1]
        else:
            continue
        path_base = os.path.basename(path)
        known.setdefault(path_base, path)
    name_unnamed()
    return sequences


def read_functions(text, text_start, text_end):
    """Sorted (address, demangled name) of the function symbols in .text; of
    several at one address the first nm lists."""
    functions = {}
    for line in text.splitlines():
        parts = line.split(' ', 2)
        if len(parts) < 3 or parts[1] not in ('T', 't'):
            continue
        name = parts[2]
        if name.startswith('.'):
            continue  # section and object labels
        address = int(parts[0], 16)
        if text_start <= address < text_end and address not in functions:
            functions[address] = name
    return sorted(functions.items())


class Unit:
    __slots__ = ('file', 'name', 'start', 'end', 'rows')

    def __init__(self, file, start):
        self.file = file
        self.name = cut_part(os.path.basename(file))
        self.start = start
        self.end = start
        self.rows = []


def build_units(sequences, text_start, text_end):
    units = []
    row_count = 0
    for rows, end in sequences:
        if not rows or not text_start <= rows[0][0] < text_end:
            continue  # discarded code, linked at address 0
        kept = []
        for row in rows:
            if kept and kept[-1][0] == row[0]:
                kept[-1] = row  # the last row of an address wins
            else:
                kept.append(row)
        kept = [row for row in kept if row[0] < end]
        row_count += len(kept)
        current = None
        for address, line, file in kept:
            if current is None or current.file != file:
                if current is not None:
                    current.end = address
                current = Unit(file, address)
                units.append(current)
            current.rows.append((address, line))
        if current is not None:
            current.end = min(end, text_end)
    units.sort(key=lambda unit: unit.start)
    return units, row_count


class Function:
    __slots__ = ('start', 'end', 'scope', 'procedure', 'first_line', 'file')

    def __init__(self, start, end, demangled):
        self.start = start
        self.end = end
        self.scope, self.procedure = split_function_name(demangled)
        self.first_line = None
        self.file = None


def attach_first_rows(functions, units):
    """Gives every function the line and file of its first row."""
    rows = sorted((address, line, unit.file) for unit in units for address, line in unit.rows)
    addresses = [row[0] for row in rows]
    for function in functions:
        index = bisect.bisect_left(addresses, function.start)
        if index < len(rows) and rows[index][0] < function.end:
            function.first_line, function.file = rows[index][1], rows[index][2]


def encode_unit(unit, functions, starts, image, cipher, base, stats):
    """The unit's header and records."""
    # Points: every row, and every function start inside the unit.
    points = list(unit.rows)
    row_addresses = [address for address, _ in points]
    first = bisect.bisect_right(starts, unit.start)
    last = bisect.bisect_left(starts, unit.end)
    for function in functions[first:last]:
        index = bisect.bisect_right(row_addresses, function.start) - 1
        if row_addresses[index] != function.start:
            points.append((function.start, points[index][1]))
    points.sort()

    def holder(address):
        index = bisect.bisect_right(starts, address) - 1
        return functions[index] if index >= 0 and address < functions[index].end else None

    # The announcement at each point where a procedure begins or the unit does.
    announce = {}
    for index, (address, _) in enumerate(points):
        function = holder(address)
        if function is not None and (index == 0 or function.start == address):
            announce[index] = function
    indices = sorted(announce) + [len(points)]
    lines = {}
    for at, next_at in zip(indices, indices[1:]):
        function = announce[at]
        if function.file == unit.file and function.first_line is not None:
            start_line = function.first_line
        else:
            # Code of another file inside the function: no offset line.
            start_line = max(line for _, line in points[at:next_at])
        code = image.read_rva(points[at][0] - image.image_base, 3)
        lines[at] = start_line + (1 if prologue_lowers(function.procedure, code) else 0)

    records = bytearray()
    previous_scope = ['']

    def name_of(function):
        stats['announcements'] += 1
        stats['functions'].add(function.start)
        if not function.scope:
            parts = [function.procedure]
        elif function.scope == previous_scope[0]:
            parts = ['', function.procedure]
        else:
            parts = [function.scope, function.procedure]
            previous_scope[0] = function.scope
        encoded = encode_name(parts, cipher)
        stats['name_bytes'] += len(encoded)
        return encoded

    def step(d, target, current, index):
        """Records from `current` covering d bytes to the line of point index."""
        if index in announce:
            shown = lines[index]
            records.extend(emit_records(d, shown - current, True))
            records.extend(name_of(announce[index]))
            if shown != target:
                records.extend(emit_records(0, target - shown, False))
        else:
            records.extend(emit_records(d, target - current, False))

    first_line = points[0][1]
    if 0 in announce:
        step(0, first_line, first_line, 0)
    for index, (address, line) in enumerate(points):
        if index + 1 < len(points):
            next_address, next_line = points[index + 1]
            step(next_address - address, next_line, line, index + 1)
        else:
            # The last row runs to the unit's end; the line after it is unused.
            records.extend(emit_records(unit.end - address, 1, False))
    stats['record_bytes'] += len(records)
    name = encode_name([unit.name], cipher)
    stats['name_bytes'] += len(name)
    header = name + struct.pack('<4I', first_line & 0xFFFFFFFF, unit.start - base, unit.end - unit.start,
                                len(records))
    return header + bytes(records)


def build_line_tables(image, objdump_text, nm_text, cipher, stats):
    text_start, text_end = image.text_range()
    units, stats['rows'] = build_units(read_sequences(objdump_text), text_start, text_end)
    symbols = read_functions(nm_text, text_start, text_end)
    functions = [Function(address, symbols[i + 1][0] if i + 1 < len(symbols) else text_end, name)
                 for i, (address, name) in enumerate(symbols)]
    attach_first_rows(functions, units)
    starts = [function.start for function in functions]
    base = image.image_base + CODE_BASE_RVA
    out = [struct.pack('<I', len(units))]
    for unit in units:
        out.append(encode_unit(unit, functions, starts, image, cipher, base, stats))
    stats['units'] = len(units)
    return b''.join(out), symbols


def build_symbol_table(symbols, wanted, base, text_end):
    """9-byte entries (id, code offset, size) of the wanted functions, found by
    their name without parameters."""
    table = bytearray()
    for ident, wanted_name in sorted(wanted.items()):
        for index, (address, name) in enumerate(symbols):
            scope, procedure = split_function_name(name)
            full = f'{scope}::{procedure}' if scope else procedure
            if full == wanted_name:
                end = symbols[index + 1][0] if index + 1 < len(symbols) else text_end
                table += struct.pack('<BII', ident, address - base, end - address)
                break
    return bytes(table)


def tdatetime(moment):
    return (moment - datetime.datetime(1899, 12, 30)).total_seconds() / 86400.0


def build_block(image, settings, objdump_text, nm_text, stats):
    first_rva = min(rva for _, rva, _, _, _ in image.sections)
    if first_rva != CODE_BASE_RVA:
        raise StepError(f'{image.path}: the first section is at RVA {first_rva:#x}, '
                        f'the block\'s code offsets need {CODE_BASE_RVA:#x}')
    password = settings.get('password')
    cipher = Cipher(default_password() if password is None else password)
    with open(settings['options'], 'rb') as stream:
        options = stream.read()
    stats.update(rows=0, units=0, announcements=0, functions=set(), name_bytes=0, record_bytes=0)
    lines, symbols = build_line_tables(image, objdump_text, nm_text, cipher, stats)
    base = image.image_base + CODE_BASE_RVA
    wanted = {int(key): value for key, value in settings.get('symbols', {}).items()}
    symbol_table = build_symbol_table(symbols, wanted, base, image.text_range()[1])
    epoch = os.environ.get('SOURCE_DATE_EPOCH')
    moment = datetime.datetime.fromtimestamp(int(epoch)) if epoch else datetime.datetime.now()
    packed_options = zlib.compress(options, 9)
    remainder = zlib.compress(struct.pack('<I', len(lines)) + lines, 9)
    check = cipher.encrypt(struct.pack('<I', SIGNATURE))
    block = (struct.pack('<IHdH', SIGNATURE, VERSION, tdatetime(moment), FLAG_UNIT_EXTENSIONS) +
             struct.pack('<I', len(symbol_table)) + symbol_table +
             struct.pack('<I', len(packed_options)) + packed_options + check + remainder)
    stats['functions'] = len(stats['functions'])
    stats.update(symbols=len(symbol_table) // 9, options_raw=len(options), options_compressed=len(packed_options),
                 lines_raw=len(lines), lines_compressed=len(remainder), block=len(block))
    return block


def parse_reservation(image, found):
    _, offset, size = found
    data = bytes(image.data[offset:offset + size])
    if not data.startswith(RESERVE_MARKER):
        raise StepError(f'{image.path}: the VLDATA resource is not a fresh reservation (filled already?)')
    end = data.index(b'\0', len(RESERVE_MARKER))
    return json.loads(data[len(RESERVE_MARKER):end].decode('utf-8'))


def fill(args):
    image = Image(args.image)
    found = image.find_resource()
    if found is None:
        return None  # not a program that carries the crash reporter
    settings = parse_reservation(image, found)
    objdump = subprocess.run([args.objdump, '--dwarf=decodedline', '--wide', args.image],
                             check=True, capture_output=True, text=True, errors='replace').stdout
    nm = subprocess.run([args.nm, '-n', '-C', '--defined-only', args.image],
                        check=True, capture_output=True, text=True, errors='replace').stdout
    stats = {}
    block = build_block(image, settings, objdump, nm, stats)
    entry, offset, room = found
    if len(block) > room:
        raise StepError(f'{args.image}: the data block needs {len(block)} bytes, the VLDATA reservation '
                        f'holds {room}: give volumetra_crash_reporter RESERVE {len(block)} or more')
    image.data[offset:offset + room] = block + b'\0' * (room - len(block))
    struct.pack_into('<I', image.data, entry + 4, len(block))
    image.update_checksum()
    image.save()
    stats['reserved'] = room
    return stats


def reserve(args):
    settings = {'options': os.path.abspath(args.options), 'symbols': {}}
    if args.password is not None:
        settings['password'] = args.password
    for item in args.symbol:
        ident, _, name = item.partition('=')
        settings['symbols'][str(int(ident))] = name
    text = RESERVE_MARKER + json.dumps(settings, sort_keys=True).encode('utf-8') + b'\0'
    if len(text) > args.size:
        raise SystemExit(f'{args.out}: a reservation of {args.size} bytes cannot hold its settings')
    content = text + b'\0' * (args.size - len(text))
    # Rewritten only when it changes, so that the resource is not rebuilt for nothing.
    if os.path.exists(args.out):
        with open(args.out, 'rb') as stream:
            if stream.read() == content:
                return
    with open(args.out, 'wb') as stream:
        stream.write(content)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest='command', required=True)
    r = commands.add_parser('reserve')
    r.add_argument('--out', required=True)
    r.add_argument('--size', type=int, required=True)
    r.add_argument('--options', required=True)
    r.add_argument('--password')
    r.add_argument('--symbol', action='append', default=[])
    f = commands.add_parser('fill')
    f.add_argument('--image', required=True)
    f.add_argument('--objdump', required=True)
    f.add_argument('--nm', required=True)
    f.add_argument('--stats')
    args = parser.parse_args()
    if args.command == 'reserve':
        reserve(args)
        return
    started = time.monotonic()
    try:
        stats = fill(args)
    except BaseException as error:
        if os.path.exists(args.image):
            os.remove(args.image)
        if isinstance(error, StepError):
            raise SystemExit(str(error))
        if isinstance(error, SystemExit):
            raise
        raise SystemExit(f'{args.image}: the data block could not be written: {error!r}')
    if stats is not None and args.stats:
        stats['seconds'] = round(time.monotonic() - started, 3)
        with open(args.stats, 'w', encoding='utf-8') as stream:
            json.dump(stats, stream, indent=1, sort_keys=True)


if __name__ == '__main__':
    main()
