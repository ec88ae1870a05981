#!/usr/bin/env python3
"""The layout checker on report texts laid out by hand: a good text passes,
and each fault put into it is found."""
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_report_layout import Checker  # noqa: E402

RULE = "-" * 32


def one(text):
    """A one-cell row of the call-stack table (inner width 30)."""
    return "|" + text.ljust(30) + "|"


def dump_line(k):
    return "%08X: %08X   %08X: " % (0x22FF00 + 4 * k, k, 0x401002 + 16 * k) + \
        "".join(" %02X" % (0x41 + b) for b in range(16)) + " " + "".join(chr(0x41 + b) for b in range(16))


GOOD = "\r\n".join([
    "VexlorLog 6.1.01 RC 1",
    "",
    "Application:",
    "-----------------------------",
    "  1.1 Start Date    : today",
    "  1.3 Version Number: 1.0.0.7",
    "",
    "User:",
    "----------------------------",
    "  3.1 ID        : ivan",
    "  3.5 Privileges: first:_a",
    "                  .",
    "                  I clicked:",
    "",
    "Custom Information:",
    "-----------------",
    "  8.1 Operator: 1",
    "",
    "Request:",
    "----------",
    "  8.1 : Go",
    "",
    "Call Stack Information:",
    RULE,
    "|Address |Module|Line  |Proc   |",
    RULE,
    one("*Exception Thread: ID=1"),
    one("-" * 30),
    "|00401000|a.exe |12[0] |Main   |",
    one("-" * 30),
    one(""),
    one("Running Thread: ID=2; Priority"),
    one("-" * 30),
    "|00402000|a.exe |      |Execute|",
    RULE,
    "",
    "Modules Information:",
    "--------------------",
    "",
    "Processes Information:",
    "----------------------",
    "",
    "Assembler Information:",
    "-" * 41,
    "00401000  MOV EAX, [EAX]",
    "00401002  MOV EAX, [EAX]  ; <-- EXCEPTION",
    "00401004  RET",
    "",
    "Registers:",
    "-----------------------------",
    "EAX: 00000001   EDI: 00000006",
    "EBX: 00000002   ESI: 00000005",
    "ECX: 00000003   ESP: 0022FF00",
    "EDX: ????       EIP: 00401002",
    "",
    "Stack:               Memory Dump:",
    "------------------   " + "-" * 75,
] + [dump_line(k) for k in range(16)]) + "\r\n"


def faults(text):
    return Checker("text").check(text.encode("cp1251"))


class GoodTexts(unittest.TestCase):
    def test_hand_made_text_passes(self):
        self.assertEqual(faults(GOOD), [])

    def test_empty_tables_and_no_assembler_caption_pass(self):
        text = GOOD.split("Assembler Information:")[0] + "\r\n\r\nRegisters:\r\n----------\r\n\r\n"
        self.assertEqual(faults(text), [])


class Faults(unittest.TestCase):
    cases = [
        # (what, old, new, expected fault text)
        ("rule too long", "-----------------------------\r\n  1.1", "------------------------------\r\n  1.1",
         "the dash rule is 30 long"),
        ("colon out of column", "  1.3 Version Number: 1.0.0.7", "  1.3 Version Number : 1.0.0.7",
         "': ' at column 22"),
        ("item number falls", "  1.3 Version Number", "  1.1 Version Number", "item 1.1 after item 1.1"),
        ("item beyond the section", "  3.5 Privileges", "  3.6 Privileges", "section 3 has no item 6"),
        ("inserted section with a gap", "  8.1 Operator: 1", "  8.2 Operator: 1", "inserted section 8 numbers"),
        ("section number falls", "  3.1 ID        : ivan\r\n  3.5", "  1.1 ID        : ivan\r\n  1.5",
         "section 1 after section 1"),
        ("continuation with ': '", "                  I clicked:", "                  I clicked: x",
         "continuation line holds ': '"),
        ("continuation left of the value", "                  .\r\n", "                 .\r\n",
         "not indented to the value's column"),
        ("no banner", "VexlorLog 6.1.01 RC 1", "VexlorLog", "no banner"),
        ("two empty lines", "  1.3 Version Number: 1.0.0.7\r\n", "  1.3 Version Number: 1.0.0.7\r\n\r\n",
         "two empty lines after a header section"),
        ("row too long", "|00401000|a.exe |12[0] |Main   |", "|00401000|a.exe |12[0] |Main    |",
         "table row is 33 long, the rule 32"),
        ("cell moved", "|00401000|a.exe |12[0] |Main   |", "|00401000|a.exe  |12[0]|Main   |",
         "cells of the row do not end where"),
        ("thread header not cut", "|Running Thread: ID=2; Priority|", "|Running Thread: ID=2; Priority=0|",
         "table row is 34 long"),
        ("bar in a thread header", "|Running Thread: ID=2; Priority|", "|Running Thread: ID|2; Priority|",
         "cells of the row do not end where"),
        ("lone LF", "  1.1 Start Date    : today", "  1.1 Start Date    : to\nday", "lone CR or LF"),
        ("register column", "EBX: 00000002   ESI", "EBX:  00000002  ESI", "register line is not"),
        ("dump bytes shifted", "00000003   00401032:  41", "00000003   00401032: 41 ", "dump"),
        ("dump characters", "4E 4F 50 ABCDEFGHIJKLMNOP\r\n0022FF0C", "4E 4F 50 ABCDEFGHIJKLMNOQ\r\n0022FF0C",
         "dump characters in columns 81-96"),
        ("assembler rule", "-" * 41 + "\r\n0040", "-" * 40 + "\r\n0040", "assembler rule is 40 long"),
    ]

    def test_each_fault_is_found(self):
        for what, old, new, expected in self.cases:
            with self.subTest(what):
                self.assertEqual(GOOD.count(old), 1, "the case's text is not in the good text once")
                found = faults(GOOD.replace(old, new))
                self.assertTrue(any(expected in f for f in found), "%s: %s" % (what, found))

    def test_eleven_instructions_before_the_exception(self):
        before = "".join("0040%04X  NOP\r\n" % k for k in range(10))
        text = GOOD.replace("00401000  MOV EAX, [EAX]\r\n", "00401000  MOV EAX, [EAX]\r\n" + before)
        self.assertTrue(any("11 instructions before" in f for f in faults(text)))

    def test_no_dump_and_sixteen_dump_lines_only(self):
        without = GOOD.split("------------------   " + "-" * 75)[0] + "------------------   " + "-" * 75 + "\r\n"
        self.assertEqual(faults(without), [])
        cut = GOOD.rsplit("\r\n", 2)[0] + "\r\n"
        self.assertTrue(any("15 dump lines" in f for f in faults(cut)))


if __name__ == "__main__":
    unittest.main()
