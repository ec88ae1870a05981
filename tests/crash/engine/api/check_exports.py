"""Checks that an image exports every name of the given .def files, undecorated.

usage: check_exports.py --objdump OBJDUMP --image IMAGE DEF...
"""
import argparse
import re
import subprocess
import sys


def def_names(path):
    names = []
    in_exports = False
    for line in open(path, encoding='ascii'):
        line = line.split(';', 1)[0].strip()
        if not line:
            continue
        if line == 'EXPORTS':
            in_exports = True
            continue
        if in_exports:
            name = re.split(r'[\s=@]', line, 1)[0]
            names.append(name)
    return names


def exported_names(objdump, image):
    text = subprocess.run([objdump, '-p', image], check=True, capture_output=True, text=True).stdout
    names = set()
    in_table = False
    for line in text.splitlines():
        if line.startswith('[Ordinal/Name Pointer] Table'):
            in_table = True
            continue
        if in_table:
            match = re.match(r'\s*\[\s*\d+\]\s+(\S+)$', line)
            if not match:
                if line.strip():
                    in_table = False
                continue
            names.add(match.group(1))
    return names


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--objdump', required=True)
    parser.add_argument('--image', required=True)
    parser.add_argument('defs', nargs='+')
    args = parser.parse_args()
    exported = exported_names(args.objdump, args.image)
    wanted = [name for path in args.defs for name in def_names(path)]
    missing = [name for name in wanted if name not in exported]
    decorated = sorted(name for name in exported if '@' in name or name.startswith('_Z'))
    print(f'{len(wanted)} names wanted, {len(exported)} exported')
    if missing:
        print('missing: ' + ', '.join(missing))
    if decorated:
        print('decorated: ' + ', '.join(decorated))
    return 1 if missing or decorated or not wanted else 0


if __name__ == '__main__':
    sys.exit(main())
