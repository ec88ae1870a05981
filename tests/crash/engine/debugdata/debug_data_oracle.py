#!/usr/bin/env python3
"""The oracle test of a program's data block.

usage: debug_data_oracle.py --image EXE --objdump OBJDUMP --nm NM
                            --addr2line ADDR2LINE --symbolizer LLVM_SYMBOLIZER
                            --report FILE -- EMULATOR...

The probe linked into the program resolves the address of every row of the
program's DWARF line table under Wine, through the program's own lookup. The
answers are compared with the tools of the build machine:
- line: addr2line, for every row;
- unit: the base name of addr2line's file where llvm-symbolizer names the same
  file, else llvm-symbolizer's (binutils names the main file for sequences that
  begin in an included file);
- class and procedure: the function symbol nm lists for the address, split as
  the post-link step splits names;
- offset line: the line less the line of the function's first row, 0 when that
  row lies in another file or the difference is negative;
- detail: source code.
Every kind of row is counted; any difference fails the test.
"""
import argparse
import bisect
import collections
import importlib.util
import os
import subprocess
import sys

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))))


def load_step():
    spec = importlib.util.spec_from_file_location('debug_data', os.path.join(TOP, 'tools', 'debug-data.py'))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def windows_path(path):
    return 'Z:' + os.path.abspath(path).replace('/', '\\')


def locations(tool_args, addresses, pairs):
    """file:line per address from a tool that reads addresses on stdin."""
    text = subprocess.run(tool_args, input=''.join(f'{a:#x}\n' for a in addresses), capture_output=True,
                          text=True, check=True, errors='replace').stdout
    lines = [line for line in text.splitlines() if line.strip()]
    out = []
    step = pairs
    for index in range(0, len(lines), step):
        where = lines[index + step - 1]
        where = where.split(' (discriminator')[0]
        path, _, number = where.rpartition(':')
        if path.count(':') and number.isdigit() is False:
            path, _, number = path.rpartition(':')
        out.append((os.path.normpath(path), int(number) if number.isdigit() else 0))
    if len(out) != len(addresses):
        raise SystemExit(f'{tool_args[0]}: {len(out)} answers for {len(addresses)} addresses')
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--image', required=True)
    parser.add_argument('--objdump', required=True)
    parser.add_argument('--nm', required=True)
    parser.add_argument('--addr2line', required=True)
    parser.add_argument('--symbolizer', required=True)
    parser.add_argument('--report', required=True)
    parser.add_argument('emulator', nargs=argparse.REMAINDER)
    args = parser.parse_args()
    emulator = [part for part in args.emulator if part != '--']
    step = load_step()

    image = step.Image(args.image)
    text_start, text_end = image.text_range()
    objdump = subprocess.run([args.objdump, '--dwarf=decodedline', '--wide', args.image], check=True,
                             capture_output=True, text=True, errors='replace').stdout
    units, _ = step.build_units(step.read_sequences(objdump), text_start, text_end)
    rows = sorted({address for unit in units for address, _ in unit.rows})
    nm = subprocess.run([args.nm, '-n', '-C', '--defined-only', args.image], check=True, capture_output=True,
                        text=True, errors='replace').stdout
    functions = step.read_functions(nm, text_start, text_end)
    starts = [address for address, _ in functions]

    # The probe's answers.
    work = os.path.splitext(args.report)[0]
    os.makedirs(os.path.dirname(os.path.abspath(args.report)), exist_ok=True)
    with open(work + '.in', 'w') as stream:
        stream.write(''.join(f'{a - image.image_base:x}\n' for a in rows))
    env = dict(os.environ, VOLUMETRA_DEBUGDATA_PROBE=f'{windows_path(work + ".in")};{windows_path(work + ".out")}')
    subprocess.run(emulator + [args.image], env=env, check=True, timeout=540, stdout=subprocess.DEVNULL)
    probe = {}
    with open(work + '.out', encoding='latin-1') as stream:
        for line in stream.read().splitlines():
            fields = line.split('\t')
            probe[int(fields[0], 16) + image.image_base] = fields[1:]

    binutils = locations([args.addr2line, '-e', args.image, '-a'], rows, 2)
    llvm = locations([args.symbolizer, f'--obj={args.image}', '--no-inlines', '--output-style=GNU'], rows, 2)
    answer_of = dict(zip(rows, zip(binutils, llvm)))

    def expected_file(address):
        (b_path, _), (l_path, _) = answer_of[address]
        return (b_path, 'agree') if os.path.basename(b_path) == os.path.basename(l_path) else (l_path, 'llvm')

    counts = collections.Counter()
    differences = collections.Counter()
    examples = collections.defaultdict(list)

    def differ(kind, address, got, want):
        differences[kind] += 1
        if len(examples[kind]) < 8:
            examples[kind].append(f'{address:#x}: got {got!r}, expected {want!r}')

    for address in rows:
        counts['rows'] += 1
        fields = probe.get(address)
        if fields is None or fields[0] == '-':
            differ('not found', address, None, 'a row')
            continue
        detail, unit, scope, procedure, line, offset = fields[0], fields[1], fields[2], fields[3], int(fields[4]), int(fields[5])
        (b_path, b_line), _ = answer_of[address]
        if detail != '4':
            differ('detail', address, detail, '4')
        if line != b_line:
            differ('line', address, line, b_line)
        path, how = expected_file(address)
        counts[f'file: {"addr2line = llvm-symbolizer" if how == "agree" else "llvm-symbolizer (addr2line differs)"}'] += 1
        if unit != os.path.basename(path)[:127]:
            differ('unit', address, unit, os.path.basename(path))
        index = bisect.bisect_right(starts, address) - 1
        if index < 0:
            differ('procedure', address, procedure, 'no function')
            continue
        want_scope, want_procedure = step.split_function_name(functions[index][1])
        if (scope, procedure) != (want_scope, want_procedure):
            differ('class and procedure', address, (scope, procedure), (want_scope, want_procedure))
        # The offset line: from the function's first row, in its file.
        end = starts[index + 1] if index + 1 < len(starts) else text_end
        first = rows[bisect.bisect_left(rows, functions[index][0])]
        if first < end:
            first_path, _ = expected_file(first)
            first_line = answer_of[first][0][1]
            want_offset = max(0, line - first_line) if first_path == path else 0
            counts['offset: same file' if first_path == path else 'offset: other file (0)'] += 1
        else:
            want_offset = 0
        if offset != want_offset:
            differ('offset line', address, offset, want_offset)

    report = [f'{args.image}']
    report += [f'  {kind}: {count}' for kind, count in sorted(counts.items())]
    report += [f'  DIFFERENT {kind}: {count}' for kind, count in sorted(differences.items())]
    for kind, lines in sorted(examples.items()):
        report += [f'    {kind}: {line}' for line in lines]
    with open(args.report, 'w') as stream:
        stream.write('\n'.join(report) + '\n')
    print('\n'.join(report))
    if differences:
        sys.exit(1)


if __name__ == '__main__':
    main()
