#!/usr/bin/env python3
"""The debugger lines of the crash reporter's warnings and internal errors, as
a debugger sees them: the child runs under WINEDEBUG=+debugstr, which writes
every OutputDebugStringA to Wine's standard error, and the lines are read
from there.

usage: debugger_lines_test.py --runner WINE_RUN --child CHILD.exe --scratch DIR
"""
import argparse
import os
import re
import subprocess
import sys

LINE = re.compile(r'^[0-9a-f]+:(?:warn|trace):debugstr:OutputDebugStringA "(.*)"\r?$')


def unescape(text):
    """Wine's debugstr quoting undone: \\\\, \\", \\n, \\r, \\t and \\xNN."""
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == '\\' and i + 1 < len(text):
            n = text[i + 1]
            if n == 'x':
                out.append(chr(int(text[i + 2:i + 4], 16)))
                i += 4
                continue
            out.append({'n': '\n', 'r': '\r', 't': '\t'}.get(n, n))
            i += 2
            continue
        out.append(c)
        i += 1
    return ''.join(out)


def run(args, mode):
    result = os.path.join(args.scratch, f'ErrorsChild-{mode}.txt')
    if os.path.exists(result):
        os.remove(result)
    env = dict(os.environ, WINEDEBUG='+debugstr')
    windows_result = 'Z:' + os.path.abspath(result).replace('/', '\\')
    done = subprocess.run([args.runner, args.child, mode, windows_result], env=env, capture_output=True,
                          text=True, errors='replace', timeout=120)
    lines = [unescape(m.group(1)) for m in map(LINE.match, done.stdout.splitlines() + done.stderr.splitlines()) if m]
    with open(result) as stream:
        said = stream.read()
    return done.returncode, said, lines


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--runner', required=True)
    parser.add_argument('--child', required=True)
    parser.add_argument('--scratch', required=True)
    args = parser.parse_args()
    os.makedirs(args.scratch, exist_ok=True)
    failures = []

    code, said, lines = run(args, 'warning')
    want = '[WARNING] - Code: eeLogError - Address: 00000000 - Message: "Cannot write "C:\\Logs\\x.log"."'
    if code != 0 or said != 'warned' or lines != [want]:
        failures.append(f'warning: exit {code}, said {said!r}, lines {lines!r}, wanted [{want!r}]')

    log = os.path.splitext(args.child)[0] + '.log'
    if os.path.exists(log):
        os.remove(log)
    code, said, lines = run(args, 'error')
    pattern = re.compile(r'^\[ERROR\] - Section: ErrorsChild\.Step \(Address: [0-9A-F]{8}\) - '
                         r'Address: [0-9A-F]{8} - Message: "broken "step""$')
    errors = [line for line in lines if line.startswith('[ERROR]')]
    if code != 0 or said != 'aborted' or len(errors) != 1 or not pattern.match(errors[0]):
        failures.append(f'error: exit {code}, said {said!r}, lines {lines!r}')
    if not os.path.exists(log):
        failures.append(f'error: no report {log}')
    else:
        with open(log, 'rb') as stream:
            report = stream.read().decode('latin-1').split('\r\n')
        if report[0] != 'Version   : 6.1.01 RC 1' or 'Section   : ErrorsChild.Step (Address: ' not in report[5]:
            failures.append(f'error: report begins {report[:6]!r}')
        os.remove(log)

    for failure in failures:
        print('FAILED', failure)
    if not failures:
        print('the warning and the internal error reached the debugger output')
    return 1 if failures else 0


if __name__ == '__main__':
    sys.exit(main())
