#!/usr/bin/env python3
"""Tests of the post-link step (tools/debug-data.py) on the build machine:
its records against the hand-computed table, its names, and what it does to
small programs linked here: marked, unmarked, with too little room, and with
a layout it cannot describe."""
import argparse
import importlib.util
import os
import struct
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(HERE))))
TOOL = os.path.join(TOP, 'tools', 'debug-data.py')
spec = importlib.util.spec_from_file_location('debug_data', TOOL)
step = importlib.util.module_from_spec(spec)
spec.loader.exec_module(step)
ARGS = None


def decode(data):
    """The records of a byte string, as the reader's rules read them."""
    out = []
    at = 0
    while at < len(data):
        b = data[at]
        if not b & 1:
            out.append((((b >> 1) & 31) + 1, (b >> 6) + 1, False))
            at += 1
        elif not b & 2:
            out.append((((b >> 2) & 7) + 1, (b >> 5) + 1, True))
            at += 1
        elif not b & 8:
            (w,) = struct.unpack_from('<H', data, at)
            out.append((((w >> 4) & 127) + 1, (w >> 11) + 1, bool(b & 4)))
            at += 2
        else:
            (d,) = struct.unpack_from('<I', data, at)
            v = d >> 4
            if v == 0x0FFEFFFE:
                w1, w2 = struct.unpack_from('<HH', data, at + 4)
                out.append((w2 + 1, struct.unpack('<h', struct.pack('<H', (w1 + 1) & 0xFFFF))[0], bool(b & 4)))
                at += 8
            else:
                delta = struct.unpack('<h', struct.pack('<H', ((v & 0xFFFF) + 1) & 0xFFFF))[0]
                out.append((0 if v >> 16 == 0xFFF else (v >> 16) + 1, delta, bool(b & 4)))
                at += 4
    return out


class Records(unittest.TestCase):
    def test_hand_computed_table(self):
        with open(os.path.join(HERE, 'record-bytes.txt')) as stream:
            rows = [line.split() for line in stream if line.strip() and not line.startswith('#')]
        self.assertGreaterEqual(len(rows), 20)
        for fields in rows:
            d, delta, proc = int(fields[0], 0), int(fields[1]), fields[2] == '1'
            want = bytes.fromhex(''.join(fields[3:]))
            self.assertEqual(step.encode_record(d, delta, proc), want, fields)
            self.assertEqual(decode(want), [(d, delta, proc)], fields)

    def test_chains(self):
        for d, delta, proc in [(70000, 0, False), (4096, 1, False), (12, 100000, True), (0, -70000, True),
                               (9000, -40000, True), (0xFFF, -1, True)]:
            records = decode(step.emit_records(d, delta, proc))
            self.assertEqual(sum(r[0] for r in records), d)
            self.assertEqual(sum(r[1] for r in records), delta)
            # The announcement comes last, after every byte it follows.
            self.assertEqual([r[2] for r in records], [False] * (len(records) - 1) + [proc])
            # The current line covers every byte: the line moves only from the
            # last record that covers code on.
            covering = [i for i, r in enumerate(records) if r[0] > 0]
            last = covering[-1] if covering else 0
            self.assertTrue(all(r[1] == 0 for r in records[:last]))
            self.assertTrue(all(r[0] == 0 for r in records[last + 1:]))


class Sequences(unittest.TestCase):
    def test_a_file_named_after_its_first_rows_gets_its_path(self):
        # A unit whose code starts in an included file: objdump names that
        # file only where the rows come back to it, after another file.
        text = """
CU: /src/a.cpp:
File name                            Line number    Starting address    View    Stmt
vector.tcc                                   111            0x401000               x
/inc/bits/basic_string.h:
basic_string.h                               233            0x401004               x
/inc/bits/vector.tcc:
vector.tcc                                   119            0x401008               x
vector.tcc                                     -            0x40100c

CU: /src/b.cpp:
File name                            Line number    Starting address    View    Stmt
other.h                                        7            0x402000               x
other.h                                        -            0x402004
"""
        (first, _), (second, _) = step.read_sequences(text)
        self.assertEqual([row[2] for row in first], ['/inc/bits/vector.tcc', '/inc/bits/basic_string.h',
                                                     '/inc/bits/vector.tcc'])
        # A file no header of its unit names keeps its bare name.
        self.assertEqual(second, [(0x402000, 7, 'other.h')])


class Names(unittest.TestCase):
    def test_splits(self):
        cases = {
            'crash::TVexlorModuleOptions::LoadFromStream(rtl::TStream&)': ('crash::TVexlorModuleOptions', 'LoadFromStream'),
            'sscanf(char const*, char const*, ...) [clone .constprop.0]': ('', 'sscanf'),
            'swprintf.constprop.0': ('', 'swprintf'),
            'foo(int) [clone .isra.0] [clone .cold]': ('', 'foo'),
            'void ns::f<int>(int)': ('ns', 'f<int>'),
            'std::pair<int, int> ns::A<int>::g<char>(char) const': ('ns::A<int>', 'g<char>'),
            'oracle::operator<<(std::ostream&, oracle::Point const&)': ('oracle', 'operator<<'),
            'Foo::{lambda(int)#1}::operator()(int) const': ('Foo::{lambda(int)#1}', 'operator()'),
            '(anonymous namespace)::Scaled(int, int)': ('(anonymous namespace)', 'Scaled'),
            'ns::X::operator std::string() const': ('ns::X', 'operator std::string'),
            'operator new(unsigned int)': ('', 'operator new'),
            'ns::X::~X()': ('ns::X', '~X'),
        }
        for demangled, want in cases.items():
            self.assertEqual(step.split_function_name(demangled), want, demangled)
        scope, procedure = step.split_function_name('ns::' + 'L' * 300 + '(int)')
        self.assertEqual((scope, len(procedure)), ('ns', 127))


def checksum(data, field):
    total = 0
    for at in range(0, len(data) - len(data) % 2, 2):
        if field <= at < field + 4:
            continue
        total += data[at] | data[at + 1] << 8
        total = (total & 0xFFFF) + (total >> 16)
    if len(data) % 2:
        total += data[-1]
        total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


class Programs(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        os.makedirs(ARGS.scratch, exist_ok=True)
        cls.source = os.path.join(ARGS.scratch, 'tiny.cpp')
        with open(cls.source, 'w') as stream:
            stream.write('int Twice(int v) { return v * 2; }\nint main(int argc, char**) {\n'
                         '  return Twice(argc);\n}\n')
        cls.options = os.path.join(ARGS.scratch, 'options.bin')
        with open(cls.options, 'wb') as stream:
            stream.write(b'\x01' * 40)

    def link(self, name, reserve=None, extra=()):
        image = os.path.join(ARGS.scratch, name + '.exe')
        objects = []
        if reserve is not None:
            blob = os.path.join(ARGS.scratch, name + '.bin')
            subprocess.run([sys.executable, TOOL, 'reserve', '--out', blob, '--size', str(reserve),
                            '--options', self.options, '--symbol', '3=Twice'], check=True)
            rc = os.path.join(ARGS.scratch, name + '.rc')
            with open(rc, 'w') as stream:
                stream.write(f'VLDATA RCDATA "{blob}"\n')
            res = os.path.join(ARGS.scratch, name + '.res.o')
            subprocess.run([ARGS.windres, rc, '-O', 'coff', '-o', res], check=True)
            objects.append(res)
        subprocess.run([ARGS.compiler, '-g', '-O1', '-static', self.source, *objects, *extra, '-o', image], check=True)
        return image

    def fill(self, image):
        return subprocess.run([sys.executable, TOOL, 'fill', '--image', image, '--objdump', ARGS.objdump,
                               '--nm', ARGS.nm], capture_output=True, text=True)

    def test_unmarked_images_are_left_alone(self):
        image = self.link('plain')
        with open(image, 'rb') as stream:
            before = stream.read()
        self.assertEqual(self.fill(image).returncode, 0)
        with open(image, 'rb') as stream:
            self.assertEqual(stream.read(), before)

    def test_a_marked_image_gets_its_block_in_place(self):
        image = self.link('marked', reserve=65536)
        before = step.Image(image)
        result = self.fill(image)
        self.assertEqual(result.returncode, 0, result.stderr)
        after = step.Image(image)
        self.assertEqual(len(after.data), len(before.data))
        self.assertEqual(after.sections, before.sections, 'no section moves')
        entry, offset, size = after.find_resource()
        self.assertLess(size, 65536)
        signature, version = struct.unpack_from('<IH', after.data, offset)
        self.assertEqual((signature, version), (0x100FAB10, 6101))
        self.assertEqual(bytes(after.data[offset + size:offset + 65536]), b'\0' * (65536 - size))
        (stored,) = struct.unpack_from('<I', after.data, after.checksum_offset)
        self.assertEqual(stored, checksum(after.data, after.checksum_offset))
        # The symbol asked for: Twice, relative to the code base.
        (length,) = struct.unpack_from('<I', after.data, offset + 16)
        self.assertEqual(length, 9)
        ident, code, _ = struct.unpack_from('<BII', after.data, offset + 20)
        nm = subprocess.run([ARGS.nm, image], capture_output=True, text=True, check=True).stdout
        twice = next(int(line.split()[0], 16) for line in nm.splitlines() if line.endswith(' __Z5Twicei'))
        self.assertEqual((ident, code), (3, twice - after.image_base - 0x1000))
        # Filled once: a second run refuses and removes the image.
        self.assertNotEqual(self.fill(image).returncode, 0)
        self.assertFalse(os.path.exists(image))

    def test_too_little_room_fails_naming_the_size(self):
        image = self.link('small', reserve=512)
        result = self.fill(image)
        self.assertNotEqual(result.returncode, 0)
        self.assertRegex(result.stderr, r'needs \d+ bytes, the VLDATA reservation holds 512')
        self.assertFalse(os.path.exists(image), 'the image is removed')

    def test_code_not_at_the_usual_place_is_refused(self):
        image = self.link('aligned', reserve=65536, extra=['-Wl,--section-alignment=0x2000'])
        result = self.fill(image)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn('0x2000', result.stderr)
        self.assertFalse(os.path.exists(image))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for name in ('compiler', 'windres', 'objdump', 'nm', 'scratch'):
        parser.add_argument('--' + name, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == '__main__':
    main()
