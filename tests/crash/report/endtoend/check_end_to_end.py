#!/usr/bin/env python3
"""Runs the end-to-end child (a program carrying the whole crash reporter whose
worker thread raises an exception nobody catches) and checks on this side what
it left: its exit code and the worker's, and the report text its
exception-notify handler wrote, which must pass the layout checker and show
the exception thread starred, the main thread tagged, the raising function
with the line the child recorded, and item 2.7 equal to the pipeline's
identifier.

usage: check_end_to_end.py --out FOLDER --checker CHECKER COMMAND...
(COMMAND: the child program with its runner; the texts stay in FOLDER.)
"""
import argparse
import os
import re
import subprocess
import sys


def windows_path(path):
    # The child sees the file through Wine's drive of the whole file system.
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read_result(path):
    fields = {}
    with open(path, "rb") as file:
        for line in file.read().decode("ascii", errors="replace").split("\n"):
            name, sep, value = line.strip().partition("=")
            if name:
                fields[name] = value if sep else True
    return fields


def cells(row):
    """The cells of a table row "|a|b|...|", without their padding."""
    return [cell.strip() for cell in row.split("|")[1:-1]]


def call_stack_groups(lines):
    """The call-stack table's groups: (header text, [row cells]) in order."""
    try:
        start = lines.index("Call Stack Information:")
    except ValueError:
        return None
    groups = []
    rule = lines[start + 1]
    for line in lines[start + 4:]:
        if line == rule:
            break
        parts = cells(line)
        if len(parts) == 1:
            text = parts[0]
            if text and set(text) != {"-"}:
                groups.append((text, []))
        elif groups:
            groups[-1][1].append(parts)
    return groups


def check(fields, text, faults):
    for name in ("line", "function", "main", "worker", "record", "id", "code", "done"):
        if name not in fields:
            faults.append("the child's result has no %s" % name)
    if faults:
        return
    # The worker ended as the pipeline ends a thread whose exception nobody
    # catches: reported, then the thread's exit code 1; the program goes on.
    if fields["code"] != "1":
        faults.append("the worker ended with code %s, not 1" % fields["code"])
    if fields["record"] != fields["worker"]:
        faults.append("the record names thread %s, the worker is %s" % (fields["record"], fields["worker"]))

    lines = text.split("\r\n")
    items = [line for line in lines if line.startswith("  2.7 ")]
    if len(items) != 1:
        faults.append("%d lines of item 2.7" % len(items))
    elif items[0].rpartition(": ")[2] != fields["id"]:
        faults.append("item 2.7 is %r, the pipeline's identifier %s" % (items[0], fields["id"]))

    groups = call_stack_groups(lines)
    if not groups:
        faults.append("no call-stack table, or one without thread groups")
        return
    starred = [g for g in groups if g[0].startswith("*")]
    if len(starred) != 1:
        faults.append("%d starred thread headers" % len(starred))
    elif not starred[0][0].startswith("*Exception Thread: ID=%s;" % fields["worker"]):
        faults.append("the starred header %r is not the worker's (%s)" % (starred[0][0], fields["worker"]))
    elif groups[0] is not starred[0]:
        faults.append("the exception thread's group is not the first")
    # The main thread runs (it waits for the worker); the worker's creator
    # stack, taken in the main thread, is a calling-thread group of its own.
    main = [g for g in groups if g[0].startswith("Running Thread: ID=%s;" % fields["main"])]
    if len(main) != 1:
        faults.append("%d running-thread groups of the main thread" % len(main))
    elif not main[0][0].endswith("; [Main]"):
        faults.append("the main thread's header %r has no [Main] tag" % main[0][0])
    others = [g[0] for g in groups if "[Main]" in g[0] and "ID=%s;" % fields["main"] not in g[0]]
    if others:
        faults.append("headers of other threads tagged [Main]: %r" % others)
    if starred:
        # Procedure and line (the line, then the offset from the procedure's
        # first line in brackets).
        rows = starred[0][1]
        raising = [row for row in rows if len(row) == 6 and row[4] == fields["function"]]
        if not raising:
            faults.append("no row of %s in the exception thread's group" % fields["function"])
        elif not re.match(r"^%s\[\d+\]$" % fields["line"], raising[0][5]):
            faults.append("%s shows line %r, the child raised on line %s" %
                          (fields["function"], raising[0][5], fields["line"]))
        elif rows.index(raising[0]) != 0:
            faults.append("the first row of the exception thread is %r, not %s" % (rows[0], fields["function"]))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--out", required=True)
    parser.add_argument("--checker", required=True)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    result = os.path.join(args.out, "result.txt")
    report = os.path.join(args.out, "report", "worker-exception.txt")
    os.makedirs(os.path.dirname(report), exist_ok=True)
    for path in (result, report):
        if os.path.exists(path):
            os.remove(path)
    run = subprocess.run(args.command + [windows_path(result), windows_path(report)], timeout=300, check=False)
    faults = []
    if run.returncode != 0:
        faults.append("the child's exit code is %d, not 0" % run.returncode)
    if not os.path.exists(result):
        faults.append("the child wrote no result")
    if not os.path.exists(report):
        faults.append("the exception-notify handler wrote no report")
    if not faults:
        layout = subprocess.run([sys.executable, args.checker, "--min-files", "1", report], check=False)
        if layout.returncode != 0:
            faults.append("the layout checker rejects the report")
        with open(report, "rb") as file:
            text = file.read().decode("cp1251", errors="replace")
        check(read_result(result), text, faults)
    for fault in faults:
        print("FAULT:", fault)
    if faults and os.path.exists(result):
        with open(result, "rb") as file:
            print("the child's result:\n" + file.read().decode("ascii", errors="replace"))
    print("report text:", report)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
