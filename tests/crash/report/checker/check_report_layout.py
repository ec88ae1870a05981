#!/usr/bin/env python3
"""Checks the layout of crash report texts, as the log reader and the XML copy
rely on it.

Usage: check_report_layout.py [--min-files N] PATH...
A PATH is a report text file or a folder whose *.txt files are report texts.
Prints every fault as "file:line: text" and exits with 1 when there is one (or
when fewer than N texts were found, so that a test never passes on nothing).

What a text must look like:
- every line ends with CR LF; no lone CR or LF;
- line 1 is the banner "VexlorLog <version>", line 2 is empty;
- the header sections: a caption "Label:", a dash rule exactly as long as the
  section's longest line, item lines "  S.n Label<blanks>: value" whose first
  ": " all stand in one column, continuation lines indented to the value's
  column without ": " of their own; one empty line after each section;
- section numbers rise; only the inserted sections (numbered 8 and up) may
  repeat a number; item numbers rise within a section, stay within the
  section's items (the gaps are hidden items), and run 1..n without gaps in
  an inserted section (they hide nothing);
- the blocks after the header: tables ("Caption:", dash rule, header row,
  dash rule, rows, dash rule, empty line) whose every row is exactly as long
  as the rule (sum of the widths + columns + 1) and whose cells end where the
  header row's do, one-cell rows (thread headers, separators) included; empty
  tables ("Caption:", len(caption) dashes, empty line); the assembler block
  (caption, a rule as long as its longest line, the listing with at most 10
  instructions before and after the "<-- EXCEPTION" line, an empty line);
  the CPU block with its fixed columns.
"""
import argparse
import os
import re
import sys

BANNER_RE = re.compile(r"^VexlorLog \d+\.\d+\.\d+( .*)?$")
ITEM_RE = re.compile(r"^  (\d+)\.(\d+) ")
HEX8 = re.compile(r"^[0-9A-F]{8}$")
# Items per header section (the numbers a hidden item may leave out).
SECTION_ITEMS = {1: 6, 2: 10, 3: 5, 4: 4, 5: 11, 6: 5, 7: 6}
FIRST_INSERTED = 8
CPU_RULE = "-" * 29
DUMP_RULE = "-" * 18 + "   " + "-" * 75


class Checker:
    def __init__(self, name):
        self.name = name
        self.faults = []

    def fault(self, line_index, text):
        self.faults.append("%s:%d: %s" % (self.name, line_index + 1, text))

    # ---- Lines -------------------------------------------------------------------

    def split_lines(self, data):
        if not data.endswith(b"\r\n"):
            self.fault(0, "the text does not end with CR LF")
        text = data.decode("cp1251", errors="replace")
        body = text[:-2] if text.endswith("\r\n") else text
        lines = body.split("\r\n")
        for i, line in enumerate(lines):
            if "\r" in line or "\n" in line:
                self.fault(i, "lone CR or LF in the line")
        return lines

    # ---- Header ------------------------------------------------------------------

    @staticmethod
    def is_caption(line):
        return line != "" and line.find(":") == len(line) - 1

    def check_section(self, lines, start, end, previous_number):
        """lines[start] is a caption, lines[start + 2] its first item; end is
        the index of the empty line after it (or len). Returns its number."""
        rule = lines[start + 1]
        items = lines[start + 2:end]
        longest = max(len(line) for line in items)
        if rule != "-" * longest:
            self.fault(start + 1, "the dash rule is %d long, the longest item line %d" % (len(rule), longest))
        column = None
        value_column = None
        number = None
        item_numbers = []
        for k, line in enumerate(items, start + 2):
            match = ITEM_RE.match(line)
            if match:
                if number is None:
                    number = int(match.group(1))
                elif int(match.group(1)) != number:
                    self.fault(k, "item of section %s inside section %d" % (match.group(1), number))
                item_numbers.append((k, int(match.group(2))))
                colon = line.find(": ")
                if colon < 0:
                    self.fault(k, "item line without ': '")
                    continue
                if column is None:
                    column = colon
                    value_column = colon + 2
                elif colon != column:
                    self.fault(k, "': ' at column %d, the section's is %d" % (colon + 1, column + 1))
            else:
                if k == start + 2:
                    self.fault(k, "the section does not start with an item line")
                    continue
                if ": " in line:
                    self.fault(k, "continuation line holds ': '")
                if value_column is not None and not line.startswith(" " * value_column):
                    self.fault(k, "continuation line not indented to the value's column %d" % (value_column + 1))
                if line.strip() == "":
                    self.fault(k, "blank continuation line (an empty value line must be '.')")
        if number is None:
            return previous_number
        if number < previous_number or (number == previous_number and number < FIRST_INSERTED):
            self.fault(start, "section %d after section %d" % (number, previous_number))
        seen = [n for _, n in item_numbers]
        for (k, n), before in zip(item_numbers[1:], seen):
            if n <= before:
                self.fault(k, "item %d.%d after item %d.%d" % (number, n, number, before))
        if number in SECTION_ITEMS:
            for k, n in item_numbers:
                if n < 1 or n > SECTION_ITEMS[number]:
                    self.fault(k, "section %d has no item %d" % (number, n))
        elif seen != list(range(1, len(seen) + 1)):
            self.fault(start + 2, "inserted section %d numbers its items %s" % (number, seen))
        return number

    def check_header(self, lines):
        if not lines or not BANNER_RE.match(lines[0]):
            self.fault(0, "no banner 'VexlorLog <version>'")
        if len(lines) < 2 or lines[1] != "":
            self.fault(1, "no empty line after the banner")
        i = 2
        number = 0
        sections = 0
        while i + 2 < len(lines) and self.is_caption(lines[i]) and ITEM_RE.match(lines[i + 2]):
            if not re.fullmatch(r"-+", lines[i + 1]):
                self.fault(i + 1, "no dash rule under the caption")
            end = i + 2
            while end < len(lines) and lines[end] != "":
                end += 1
            number = self.check_section(lines, i, end, number)
            sections += 1
            i = end + 1
        if sections == 0:
            self.fault(2, "no header section")
        if i < len(lines) and lines[i] == "":
            self.fault(i, "two empty lines after a header section")
        return i

    # ---- Blocks after the header ------------------------------------------------

    def check_table(self, lines, i):
        """lines[i] caption, lines[i + 1] rule, lines[i + 2] header row."""
        rule = lines[i + 1]
        header = lines[i + 2]
        bars = [k for k, c in enumerate(header) if c == "|"]
        if not header.endswith("|") or len(bars) < 2:
            self.fault(i + 2, "header row is no row of cells")
        if len(header) != len(rule):
            self.fault(i + 2, "header row is %d long, the rule %d" % (len(header), len(rule)))
        if i + 3 >= len(lines) or lines[i + 3] != rule:
            self.fault(i + 3, "no dash rule under the header row")
        k = i + 4
        while k < len(lines) and lines[k] != rule:
            row = lines[k]
            if not row.startswith("|") or not row.endswith("|"):
                self.fault(k, "table row does not start and end with '|'")
            elif len(row) != len(rule):
                self.fault(k, "table row is %d long, the rule %d" % (len(row), len(rule)))
            else:
                # A row of the table's columns ends its cells where the header
                # row does; a one-cell row (thread header, separator, blank
                # row) has its two outer bars only.
                row_bars = [p for p, c in enumerate(row) if c == "|"]
                if row_bars != bars and row_bars != [0, len(row) - 1]:
                    self.fault(k, "cells of the row do not end where the header's do")
            k += 1
        if k >= len(lines):
            self.fault(i, "table without its closing dash rule")
            return k
        if k + 1 >= len(lines) or lines[k + 1] != "":
            self.fault(k + 1, "no empty line after the table")
        return k + 2

    def check_assembler(self, lines, i):
        rule = lines[i + 1]
        k = i + 2
        listing = []
        while k < len(lines) and lines[k] != "":
            listing.append((k, lines[k]))
            k += 1
        longest = max([len(lines[i])] + [len(line) for _, line in listing])
        if rule != "-" * longest:
            self.fault(i + 1, "assembler rule is %d long, the block's longest line %d" % (len(rule), longest))
        instructions = [(n, line) for n, line in listing if re.match(r"^[0-9A-F]{8}  ", line)]
        for n, line in listing:
            if not (re.match(r"^[0-9A-F]{8}  ", line) or line.startswith(";")):
                self.fault(n, "listing line is neither an instruction nor a comment")
        marked = [p for p, (_, line) in enumerate(instructions) if "<-- EXCEPTION" in line]
        if instructions and len(marked) != 1:
            self.fault(i, "%d lines marked '<-- EXCEPTION'" % len(marked))
        elif marked:
            before, after = marked[0], len(instructions) - marked[0] - 1
            if before > 10 or after > 10:
                self.fault(i, "%d instructions before and %d after the exception" % (before, after))
        return k + 1

    def check_cpu(self, lines, i):
        if lines[i + 1] != CPU_RULE:
            self.fault(i + 1, "CPU rule is not 29 dashes")
        registers = [("EAX", "EDI"), ("EBX", "ESI"), ("ECX", "ESP"), ("EDX", "EIP")]
        for n, (left, right) in enumerate(registers, i + 2):
            line = lines[n] if n < len(lines) else ""
            if len(line) != 29 or line[0:5] != left + ": " or line[13:21] != "   " + right + ": ":
                self.fault(n, "register line is not '%s: XXXXXXXX   %s: XXXXXXXX'" % (left, right))
                continue
            for value in (line[5:13], line[21:29]):
                if not HEX8.match(value) and value != "????    ":
                    self.fault(n, "register value %r is neither 8 hexadecimal digits nor '????    '" % value)
        k = i + 6
        if k >= len(lines) or lines[k] != "":
            self.fault(k, "no empty line after the registers")
        k += 1
        if k >= len(lines) or len(lines[k]) < 22 or not lines[k][:21].rstrip().endswith(":") or \
                not lines[k].endswith(":"):
            self.fault(k, "no stack and memory dump captions (the first padded to 21)")
        k += 1
        if k >= len(lines) or lines[k] != DUMP_RULE:
            self.fault(k, "the dump's rule is not 18 dashes, 3 blanks and 75 dashes")
        k += 1
        dump = lines[k:]
        if dump and len(dump) != 16:
            self.fault(k, "%d dump lines, not 16 or none" % len(dump))
        for n, line in enumerate(dump, k):
            if len(line) != 96:
                self.fault(n, "dump line is %d long, not 96" % len(line))
                continue
            fields = [line[0:8], line[10:18], line[21:29]]
            if line[8:10] != ": " or line[18:21] != "   " or line[29:31] != ": " or line[79] != " ":
                self.fault(n, "dump line's separators are not where the columns need them")
            for value in fields:
                if not HEX8.match(value):
                    self.fault(n, "dump field %r is not 8 hexadecimal digits" % value)
            hex_bytes = line[32:79].split(" ")
            if len(hex_bytes) != 16 or not all(re.fullmatch(r"[0-9A-F]{2}", b) for b in hex_bytes):
                self.fault(n, "dump bytes in columns 33-79 are not 16 hexadecimal pairs")
                continue
            chars = "".join(chr(int(b, 16)) if 32 <= int(b, 16) <= 126 else "." for b in hex_bytes)
            if line[80:96] != chars:
                self.fault(n, "dump characters in columns 81-96 do not show its bytes")

    def expect_table(self, lines, i, what, may_be_empty):
        if i + 2 >= len(lines) or not self.is_caption(lines[i]) or not re.fullmatch(r"-+", lines[i + 1]):
            self.fault(i, "expected the %s block: a caption and its dash rule" % what)
            return len(lines)
        if lines[i + 2].startswith("|"):
            return self.check_table(lines, i)
        if may_be_empty and lines[i + 2] == "" and lines[i + 1] == "-" * len(lines[i]):
            return i + 3
        self.fault(i + 2, "the %s block is neither a table nor an empty table" % what)
        return len(lines)

    def check_blocks(self, lines, i):
        """Call stack, modules, processes, assembler, CPU: in this order."""
        i = self.expect_table(lines, i, "call-stack", False)
        i = self.expect_table(lines, i, "modules", True)
        i = self.expect_table(lines, i, "processes", True)
        if i + 1 < len(lines) and lines[i] == "" and lines[i + 1] == "":
            i += 2  # no assembler caption: the exception address was unreadable
        elif i + 1 < len(lines) and self.is_caption(lines[i]) and re.fullmatch(r"-+", lines[i + 1]):
            i = self.check_assembler(lines, i)
        else:
            self.fault(i, "expected the assembler caption and its dash rule")
            return
        if i + 2 >= len(lines) or not self.is_caption(lines[i]):
            self.fault(i, "expected the CPU block")
        elif lines[i + 1] == CPU_RULE and lines[i + 2].startswith("EAX: "):
            self.check_cpu(lines, i)
        elif lines[i + 1] == "-" * len(lines[i]) and lines[i + 2] == "" and i + 2 == len(lines) - 1:
            pass  # the empty registers table ends the report
        else:
            self.fault(i, "the CPU block is neither the registers block nor its empty table")

    def check(self, data):
        lines = self.split_lines(data)
        i = self.check_header(lines)
        self.check_blocks(lines, i)
        return self.faults


def report_files(paths):
    for path in paths:
        if os.path.isdir(path):
            for name in sorted(os.listdir(path)):
                if name.endswith(".txt"):
                    yield os.path.join(path, name)
        else:
            yield path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--min-files", type=int, default=1)
    parser.add_argument("paths", nargs="+")
    args = parser.parse_args()
    files = list(report_files(args.paths))
    faults = []
    for name in files:
        with open(name, "rb") as f:
            faults += Checker(name).check(f.read())
    for fault in faults:
        print(fault)
    if len(files) < args.min_files:
        print("only %d report texts found, expected at least %d" % (len(files), args.min_files))
        return 1
    print("%d report texts checked, %d faults" % (len(files), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
