#!/usr/bin/env python3
"""Writes the table of our own code into a linked executable.

usage: own-code-table.py --map EXE.map --image EXE --build-dir DIR
                         [--foreign NAME ...]

The linker's map lists every input section of the image's .text with the
object it came from. Our own code is every .text, .text$* (inline functions,
templates, members defined in their class) and .text.* (start-up, cold)
section of an object or static library built in DIR, except the libraries
named with --foreign (built there, but not with our flags): not the C and C++
runtimes, zlib or the import libraries, which lie outside DIR. Runs of our
sections with no foreign code between them become one range.

The table is reserved in the image by rtl (section .rtlown, see
rtl/ExceptState.cpp): a signature, its capacity, the count of ranges and the
ranges as pairs of relative virtual addresses [begin, end), sorted. This
writes the count and the ranges in place. On any failure the image is removed,
so that the build stops and the next build links it again.
"""
import argparse
import os
import re
import struct
import sys

SECTION_NAME = b'.rtlown'
SIGNATURE = 0x6E776F52  # "Rown"
HEADER_WORDS = 4  # signature, capacity, count, reserved

OUTPUT_SECTION = re.compile(r'^(\S+)\s')
INPUT_ONE_LINE = re.compile(r'^ (\.text\S*)\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(.+?)\s*$')
INPUT_NAME_ONLY = re.compile(r'^ (\.text\S*)\s*$')
INPUT_CONTINUED = re.compile(r'^\s+0x([0-9a-fA-F]+)\s+0x([0-9a-fA-F]+)\s+(.+?)\s*$')
ARCHIVE_MEMBER = re.compile(r'^(.*)\((.*)\)$')


def text_input_sections(map_path):
    """(address, size, source) of every input section of the output .text."""
    with open(map_path, encoding='utf-8', errors='replace') as stream:
        lines = stream.read().splitlines()
    try:
        start = lines.index('Linker script and memory map')
    except ValueError:
        raise SystemExit(f'{map_path}: no memory map')
    in_text = False
    pending = None
    for line in lines[start + 1:]:
        if line and not line[0].isspace():
            match = OUTPUT_SECTION.match(line + ' ')
            in_text = match is not None and match.group(1) == '.text'
            pending = None
            continue
        if not in_text:
            continue
        if pending is not None:
            match = INPUT_CONTINUED.match(line)
            pending = None
            if match:
                yield int(match.group(1), 16), int(match.group(2), 16), match.group(3)
                continue
        match = INPUT_ONE_LINE.match(line)
        if match:
            yield int(match.group(2), 16), int(match.group(3), 16), match.group(4)
            continue
        if INPUT_NAME_ONLY.match(line):
            pending = line


def is_own(source, build_dir, foreign):
    member = ARCHIVE_MEMBER.match(source)
    path = member.group(1) if member else source
    full = os.path.realpath(os.path.join(build_dir, path))
    if os.path.commonpath([full, build_dir]) != build_dir:
        return False
    if member:
        name = os.path.basename(path)
        stem = name[3:] if name.startswith('lib') else name
        stem = stem[:-2] if stem.endswith('.a') else stem
        return stem not in foreign
    # Loose objects of a foreign target (e.g. googletest's own folder).
    parts = os.path.relpath(full, build_dir).split(os.sep)
    return not any(part in ('googletest', '_deps') for part in parts) and \
        not any(f'{name}.dir' in parts for name in foreign)


def own_ranges(sections, build_dir, foreign):
    ranges = []
    extend = False  # the last range may grow: no foreign code since
    for address, size, source in sorted(sections):
        if size == 0:
            continue
        if not is_own(source, build_dir, foreign):
            extend = False
            continue
        if extend and address >= ranges[-1][1]:
            ranges[-1][1] = address + size
        else:
            ranges.append([address, address + size])
        extend = True
    return ranges


def patch_image(image_path, ranges):
    with open(image_path, 'r+b') as image:
        data = image.read()
        (pe_offset,) = struct.unpack_from('<I', data, 0x3C)
        if data[pe_offset:pe_offset + 4] != b'PE\0\0':
            raise SystemExit(f'{image_path}: not a PE image')
        sections, optional_size = struct.unpack_from('<H12xH', data, pe_offset + 6)
        optional = pe_offset + 24
        if struct.unpack_from('<H', data, optional)[0] != 0x10B:
            raise SystemExit(f'{image_path}: not a 32-bit image')
        (image_base,) = struct.unpack_from('<I', data, optional + 28)
        table = None
        for index in range(sections):
            header = optional + optional_size + 40 * index
            name = data[header:header + 8].rstrip(b'\0')
            virtual_size, rva, raw_size, raw_offset = struct.unpack_from('<4I', data, header + 8)
            if name == SECTION_NAME:
                table = (raw_offset, min(virtual_size, raw_size))
        if table is None:
            raise SystemExit(f'{image_path}: no {SECTION_NAME.decode()} section')
        offset, room = table
        signature, capacity, _, _ = struct.unpack_from('<4I', data, offset)
        if signature != SIGNATURE or room < 4 * (HEADER_WORDS + 2 * capacity):
            raise SystemExit(f'{image_path}: the own-code table is not where its section starts')
        if len(ranges) > capacity:
            raise SystemExit(f'{image_path}: {len(ranges)} ranges of own code, the table holds {capacity}')
        words = [len(ranges), 0]
        for begin, end in ranges:
            if begin < image_base:
                raise SystemExit(f'{image_path}: code at {begin:#x} below the image base')
            words += [begin - image_base, end - image_base]
        image.seek(offset + 8)
        image.write(struct.pack(f'<{len(words)}I', *words))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--map', required=True)
    parser.add_argument('--image', required=True)
    parser.add_argument('--build-dir', required=True)
    parser.add_argument('--foreign', nargs='*', default=[])
    parser.add_argument('--verbose', action='store_true')
    args = parser.parse_args()
    build_dir = os.path.realpath(args.build_dir)
    try:
        ranges = own_ranges(text_input_sections(args.map), build_dir, set(args.foreign))
        patch_image(args.image, ranges)
    except BaseException as error:
        if os.path.exists(args.image):
            os.remove(args.image)
        if isinstance(error, SystemExit):
            raise
        raise SystemExit(f'{args.image}: {error}')
    if args.verbose:
        size = sum(end - begin for begin, end in ranges)
        print(f'{args.image}: {len(ranges)} ranges, {size} bytes of own code')


if __name__ == '__main__':
    main()
