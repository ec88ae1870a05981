#!/usr/bin/env python3
"""Checks the instruction lengths of our length decoder and disassembler
against binutils' objdump, over the whole code section of an executable.

usage: objdump-lengths.py --objdump OBJDUMP --image EXE --dumper DUMPER.exe
                          [--report FILE] -- EMULATOR...

objdump lists every instruction of the image's .text section; DUMPER (run
through EMULATOR, i.e. Wine) decodes the same addresses from the same file
with GetAsmSize and TDisAsm. Lengths must agree, except for the opcodes that
the decoder's tables leave undecoded on purpose (UNDECODED, each named with its
reason) and two forms objdump shows differently: those are listed as expected.
Exit status 1 when any other instruction disagrees.
"""
import argparse
import collections
import os
import re
import subprocess
import sys
import tempfile

PREFIXES = {0x26, 0x2E, 0x36, 0x3E, 0x64, 0x65, 0x66, 0x67, 0xF0, 0xF2, 0xF3}
LINE = re.compile(r'^\s*([0-9a-f]+):\t((?:[0-9a-f]{2} )*[0-9a-f]{2})\s*\t(.*)$')


def windows_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def opcode_key(data):
    """The opcode after the prefixes: "8B", "0F 1F"."""
    i = 0
    while i < len(data) - 1 and data[i] in PREFIXES:
        i += 1
    if data[i] == 0x0F and i + 1 < len(data):
        return '0F %02X' % data[i + 1]
    return '%02X' % data[i]


# The opcodes the length decoder's tables leave undecoded on purpose (class 15),
# each with the reason. An instruction left undecoded whose opcode is not listed
# here is a fault of the decoder, so that a table that stops decoding a common
# opcode fails the comparison instead of being excused.
UNDECODED_GROUPS = [
    (['0F 04', '0F 0A', '0F 0C'], 'undefined opcode'),
    (['0F 0B', '0F B9', '0F FF'], 'UD2, UD1, UD0: invalid on purpose, no code runs past them'),
    (['0F 0F'], '3DNow!: its opcode byte follows the operands'),
    (['0F 19', '0F 1A', '0F 1B', '0F 1C', '0F 1D', '0F 1E', '0F 1F'],
     'hint space and the long NOP: padding and hints, not in the opcode map the tables follow'),
    (['0F 24', '0F 25', '0F 26', '0F 27'], 'test registers of the 386 and 486, or undefined'),
    (['0F 36', '0F 37', '0F 38', '0F 39', '0F 3A', '0F 3B', '0F 3C', '0F 3D', '0F 3E', '0F 3F'],
     'GETSEC, the three-byte maps of SSSE3 and later, or undefined'),
    (['0F 6C', '0F 6D', '0F D6', '0F E6'], 'SSE2 forms that exist only with a 66, F2 or F3 prefix'),
    (['0F 78', '0F 79', '0F 7A', '0F 7B'], 'VMX and SSE4a, or undefined'),
    (['0F 7C', '0F 7D', '0F D0', '0F F0'], 'SSE3'),
    (['0F B8'], 'POPCNT, after the tables\' instruction set'),
]
UNDECODED = {key: why for keys, why in UNDECODED_GROUPS for key in keys}


def expected_reason(data, decoded, asm_size, dis_size, is_data):
    """Why a disagreement is by design, or None when it is a fault."""
    key = opcode_key(data)
    if not decoded and key in UNDECODED and (dis_size == len(data) or is_data):
        # The tables leave the opcode undecoded; the disassembler writes data.
        return key + ': not decoded: ' + UNDECODED[key]
    if data[0] == 0x9B and asm_size == 1 and dis_size == 1:
        # WAIT is an instruction of its own here; objdump shows it as part
        # of the coprocessor instruction after it.
        return '9B: wait shown by objdump with the next instruction'
    if key in ('F6', 'F7') and len(data) > 1 and ((data[data.index(int(key, 16)) + 1] >> 3) & 7) == 1:
        # Reg field 1 is an undocumented form of TEST; the length rules give
        # the immediate to reg field 0 only.
        return key + ' /1: no immediate in the length rules'
    return None


BARE_PREFIXES = {'es', 'cs', 'ss', 'ds', 'fs', 'gs', 'data16', 'addr16', 'lock', 'rep', 'repz', 'repnz',
                 'repe', 'repne'}


def objdump_instructions(objdump, image):
    out = subprocess.run([objdump, '-d', '--insn-width=16', '-j', '.text', image],
                         check=True, capture_output=True, text=True).stdout
    result = []
    bad = 0
    for line in out.splitlines():
        m = LINE.match(line)
        if not m:
            continue
        data = bytes(int(b, 16) for b in m.group(2).split())
        text = m.group(3).strip()
        # objdump cannot decode it, or cut it short where the next symbol
        # begins: nothing to compare with.
        # A prefix shown on its own is one objdump could not join to an
        # instruction, for the same reasons.
        if text.startswith('(bad)') or text.startswith('.byte') or text in BARE_PREFIXES:
            bad += 1
            continue
        result.append((int(m.group(1), 16), data, m.group(3).strip()))
    return result, bad


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument('--objdump', required=True)
    ap.add_argument('--image', required=True)
    ap.add_argument('--dumper', required=True)
    ap.add_argument('--report')
    ap.add_argument('emulator', nargs='+')
    args = ap.parse_args()

    instructions, bad = objdump_instructions(args.objdump, args.image)
    if not instructions:
        print('objdump found no instructions in', args.image)
        return 1

    with tempfile.TemporaryDirectory() as work:
        listing = os.path.join(work, 'addresses.txt')
        answers = os.path.join(work, 'lengths.txt')
        with open(listing, 'w') as f:
            for address, _, _ in instructions:
                f.write('%08X\n' % address)
        subprocess.run(args.emulator + [args.dumper, windows_path(args.image),
                                        windows_path(listing), windows_path(answers)],
                       check=True, stdin=subprocess.DEVNULL)
        rows = {}
        with open(answers) as f:
            for line in f:
                address, decoded, asm_size, dis_size, is_data, ours = (
                    line.rstrip('\r\n').split(' ', 5) + [''])[:6]
                rows[int(address, 16)] = (decoded == '1', int(asm_size), int(dis_size),
                                          is_data == '1', ours)

    total = len(instructions)
    asm_agree = dis_agree = 0
    expected = collections.OrderedDict()   # opcode -> [count, example]
    unexpected = []
    for address, data, text in instructions:
        decoded, asm_size, dis_size, is_data, ours = rows[address]
        length = len(data)
        asm_ok = decoded and asm_size == length
        dis_ok = dis_size == length
        asm_agree += asm_ok
        dis_agree += dis_ok
        if asm_ok and dis_ok:
            continue
        reason = expected_reason(data, decoded, asm_size, dis_size, is_data)
        if reason:
            entry = expected.setdefault(reason, [0, '%08X  %s  %s' % (address, data.hex(' '), text)])
            entry[0] += 1
            continue
        unexpected.append('%08X  %-40s %-30s objdump %d, GetAsmSize %s%d, TDisAsm %d: %s' % (
            address, data.hex(' '), text, length, '' if decoded else 'undecoded ', asm_size,
            dis_size, ours))

    lines = [
        'image: %s' % args.image,
        'instructions compared: %d (objdump could not decode %d more)' % (total, bad),
        'GetAsmSize agrees: %d (%.3f%%)' % (asm_agree, 100.0 * asm_agree / total),
        'TDisAsm agrees:    %d (%.3f%%)' % (dis_agree, 100.0 * dis_agree / total),
        'expected disagreements: %d' %
        sum(v[0] for v in expected.values()),
    ]
    for key, (count, example) in sorted(expected.items(), key=lambda kv: -kv[1][0]):
        lines.append('  %-56s %6d   e.g. %s' % (key, count, example))
    lines.append('unexpected disagreements: %d' % len(unexpected))
    lines.extend('  ' + u for u in unexpected[:100])
    report = '\n'.join(lines) + '\n'
    sys.stdout.write(report)
    if args.report:
        with open(args.report, 'w') as f:
            f.write(report)
    return 1 if unexpected else 0


if __name__ == '__main__':
    sys.exit(main())
