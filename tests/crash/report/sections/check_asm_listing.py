#!/usr/bin/env python3
"""Checks the report's assembler listing and CPU block of a real fault against
binutils' objdump.

usage: check_asm_listing.py --objdump OBJDUMP --child CHILD.exe --work DIR
                            -- EMULATOR...

CHILD (run through EMULATOR, i.e. Wine) faults at a known instruction of its
own with EAX..EDI loaded, and writes its listing and CPU block; then it calls
through a null function pointer. Run-time addresses are mapped to image
addresses through the module base. Every listed instruction must be the one
objdump decodes there, ending where the next listed one begins (but for the
forms the disassembler comparison allows by design); the exception line is the
fault's, with at most 10 instructions before and 10 after it; the CPU block
shows the loaded registers in its fixed columns, and its dump holds the image's
bytes at the fault. The null call gives no assembler caption and no dump lines.
"""
import argparse
import os
import re
import subprocess
import sys

# The disassembler comparison's helpers, without leaving a cache in the tree.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', '..', '..', 'tools'))
from importlib import import_module  # noqa: E402

lengths = import_module('objdump-lengths')

LISTED = re.compile(r'^([0-9A-F]{8})  (\S.*)$')
REGISTERS = {'EAX': 0x11111111, 'EBX': 0x22222222, 'ECX': 0x33333333, 'EDX': 0x44444444,
             'ESI': 0x55555555, 'EDI': 0x66666666}

failures = []


def fail(message):
    failures.append(message)


def run_child(args, mode):
    out = os.path.join(args.work, 'asm-%s.txt' % mode)
    if os.path.exists(out):
        os.remove(out)
    subprocess.run(args.emulator + [args.child, mode, lengths.windows_path(out)], check=False,
                   stdin=subprocess.DEVNULL, timeout=300)
    with open(out, 'rb') as f:
        data = f.read().decode('latin-1')
    head, rest = data.split('\r\n--HEADER--\r\n', 1)
    header, rest = rest.split('\r\n--LISTING--\r\n', 1)
    listing, cpu = rest.split('--CPU--\r\n', 1)
    facts = dict(line.split('=', 1) for line in head.split('\r\n'))
    return {k: int(v, 16) for k, v in facts.items()}, header, listing, cpu


def image_base(objdump, image):
    out = subprocess.run([objdump, '-p', image], check=True, capture_output=True, text=True).stdout
    return int(re.search(r'^ImageBase\s+([0-9a-fA-F]+)', out, re.M).group(1), 16)


def objdump_one(objdump, image, address):
    """The first instruction objdump decodes at address: bytes and text."""
    out = subprocess.run([objdump, '-d', '--insn-width=16', '--start-address=0x%x' % address,
                          '--stop-address=0x%x' % (address + 16), image],
                         check=True, capture_output=True, text=True).stdout
    for line in out.splitlines():
        m = lengths.LINE.match(line)
        if m and int(m.group(1), 16) == address:
            return bytes(int(b, 16) for b in m.group(2).split()), m.group(3).strip()
    return None, None


def objdump_bytes(objdump, image, address, count):
    out = subprocess.run([objdump, '-s', '--start-address=0x%x' % address,
                          '--stop-address=0x%x' % (address + count), image],
                         check=True, capture_output=True, text=True).stdout
    found = {}
    for line in out.splitlines():
        m = re.match(r'^ ([0-9a-f]+) ((?:[0-9a-f]{2,8} ){0,3}[0-9a-f]{2,8})', line)
        if not m:
            continue
        start = int(m.group(1), 16)
        for i, b in enumerate(bytes.fromhex(m.group(2).replace(' ', ''))):
            found[start + i] = b
    return bytes(found[a] for a in range(address, address + count) if a in found)


def check_listing(args, facts, header, listing, base):
    delta = base - facts['BASE']
    fault = facts['FAULT']
    if facts['EXCEPTION'] != fault:
        fail('exception at %08X, the labelled instruction is at %08X' % (facts['EXCEPTION'], fault))
    if not header.startswith('Assembler Information:\r\n'):
        fail('no assembler caption: %r' % header)
    lines = listing.split('\r\n')
    if lines[-1] != '':
        fail('the listing does not end with CRLF')
    lines = lines[:-1]
    rule = header.split('\r\n')[1]
    if set(rule) != {'-'} or len(rule) != max(len('Assembler Information:'), *(len(l) for l in lines)):
        fail('the dash rule is not as long as the longest line: %d' % len(rule))
    # The function's own heading opens the listing: the lines of the code
    # before it are gone.
    if not lines or not re.match(r'^; AsmFaultChild\..*FaultWithKnownRegisters \(Line=\d+ - Offset=0\)$', lines[0]):
        fail('the listing does not open with the faulting function\'s heading: %r' % lines[:1])
    listed = []
    for line in lines:
        m = LISTED.match(line)
        if m:
            listed.append((int(m.group(1), 16), m.group(2), line))
        elif not line.startswith(';'):
            fail('neither an instruction nor a comment: %r' % line)
    marked = [i for i, (_, _, line) in enumerate(listed) if '<-- EXCEPTION' in line]
    if len(marked) != 1 or listed[marked[0]][0] != fault:
        fail('"<-- EXCEPTION" marks %s, not the fault at %08X' % ([hex(listed[i][0]) for i in marked], fault))
        return
    before, after = marked[0], len(listed) - marked[0] - 1
    if before > 10 or after > 10:
        fail('%d instructions before and %d after the exception' % (before, after))
    if before < 6:
        fail('only %d instructions before the exception: the six register loads precede it' % before)
    # Comments stand in one column.
    columns = {line.index(';') for _, _, line in listed if ';' in line}
    if len(columns) > 1:
        fail('comments in several columns: %s' % sorted(columns))
    for i, (address, text, _) in enumerate(listed):
        data, theirs = objdump_one(args.objdump, args.image, address + delta)
        if data is None:
            fail('%08X: objdump decodes no instruction there' % address)
            continue
        if i + 1 < len(listed):
            ours = listed[i + 1][0] - address
            if ours != len(data):
                is_data = text.startswith('DB')
                reason = lengths.expected_reason(data, not is_data, ours, ours, is_data)
                if not reason:
                    fail('%08X: listed as %d bytes (%s), objdump %d (%s %s)' % (
                        address, ours, text, len(data), data.hex(' '), theirs))
        # The register loads and the fault are ours: the same instructions.
        if marked[0] - 6 <= i <= marked[0] and text.split()[0].lower() not in theirs.lower():
            fail('%08X: %r, objdump %r' % (address, text, theirs))
    print('listing: %d instructions before the exception, %d after; %d lines' % (before, after, len(lines)))


def check_cpu(args, facts, cpu, base, expect_dump):
    lines = cpu.split('\r\n')
    registers = {}
    for line in lines[2:6]:
        # Values at columns 6-13 and 22-29.
        registers[line[0:3]] = line[5:13]
        registers[line[16:19]] = line[21:29]
    if expect_dump:
        for name, value in REGISTERS.items():
            if registers.get(name) != '%08X' % value:
                fail('%s shows %r, loaded %08X' % (name, registers.get(name), value))
        if registers.get('EIP') != '%08X' % facts['FAULT']:
            fail('EIP shows %r' % registers.get('EIP'))
    if lines[7] != 'Stack:               Memory Dump:' or lines[8] != '-' * 18 + '   ' + '-' * 75:
        fail('dump captions: %r %r' % (lines[7], lines[8]))
    dump = [l for l in lines[9:] if l]
    if not expect_dump:
        if dump:
            fail('dump lines where none are readable: %r' % dump[:2])
        return
    if len(dump) != 16:
        fail('%d dump lines' % len(dump))
        return
    esp = int(registers['ESP'], 16)
    code = objdump_bytes(args.objdump, args.image, facts['FAULT'] - facts['BASE'] + base, 256)
    if len(code) != 256:
        fail('objdump gave %d bytes at the fault' % len(code))
        return
    for k, line in enumerate(dump):
        # Columns 1-8, 11-18, 22-29, 33-79 and 81-96.
        if len(line) != 96 or line[8:10] != ': ' or line[18:21] != '   ' or line[29:31] != ': ':
            fail('dump line %d out of its columns: %r' % (k, line))
            continue
        if int(line[0:8], 16) != esp + 4 * k or int(line[21:29], 16) != facts['FAULT'] + 16 * k:
            fail('dump line %d addresses: %r' % (k, line))
        shown = bytes.fromhex(line[31:79].replace(' ', ''))
        if shown != code[16 * k:16 * k + 16]:
            fail('dump line %d: %s, objdump %s' % (k, shown.hex(' '), code[16 * k:16 * k + 16].hex(' ')))
        chars = ''.join(chr(b) if 32 <= b <= 126 else '.' for b in shown)
        if line[80:96] != chars or line[79] != ' ':
            fail('dump line %d characters: %r' % (k, line[79:]))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--objdump', required=True)
    ap.add_argument('--child', required=True)
    ap.add_argument('--work', required=True)
    ap.add_argument('emulator', nargs='+')
    args = ap.parse_args()
    args.image = args.child
    os.makedirs(args.work, exist_ok=True)
    base = image_base(args.objdump, args.image)

    facts, header, listing, cpu = run_child(args, 'write')
    check_listing(args, facts, header, listing, base)
    check_cpu(args, facts, cpu, base, True)

    facts, header, listing, cpu = run_child(args, 'null')
    if facts['EXCEPTION'] != 0:
        fail('the null call faulted at %08X' % facts['EXCEPTION'])
    if header or listing:
        fail('a listing at address 0: %r %r' % (header, listing))
    check_cpu(args, facts, cpu, base, False)

    for f in failures:
        print('FAIL:', f)
    print('%d failures' % len(failures))
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
