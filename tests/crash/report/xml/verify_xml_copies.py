#!/usr/bin/env python3
"""Reads the XML copies of XMLCopyMaker with readers that are not ours: xmllint
(well-formedness) and Python's xml.etree (content). Bytes 128-255 of the log
are written as references by their code-page value, so a generic reader sees
characters U+0080-U+00FF: taken back as bytes, they are the log's bytes in
code page 1251.

usage: verify_xml_copies.py FOLDER
"""
import os
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ET

failures = 0


def check(ok, what):
    global failures
    print(("ok: " if ok else "FAILED: ") + what)
    if not ok:
        failures += 1


def as_bytes(text):
    """The attribute's characters as the log's bytes (each below 256)."""
    if any(ord(c) > 255 for c in text):
        return None
    return bytes(ord(c) for c in text)


def load(folder, name):
    path = os.path.join(folder, name)
    with open(path, "rb") as f:
        data = f.read()
    check(data.startswith(b"<Doc>\r\n"), f"{name}: begins with <Doc>, no declaration")
    check(data.endswith(b"</Doc>\r\n"), f"{name}: ends with </Doc> and a line break")
    check(all(b < 128 for b in data), f"{name}: plain ASCII")
    check(b"\n" not in data.replace(b"\r\n", b""), f"{name}: every line ends with CRLF")
    r = subprocess.run(["xmllint", "--noout", path], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    check(r.returncode == 0, f"{name}: xmllint --noout passes {r.stdout.decode(errors='replace')}")
    return ET.parse(path).getroot()


def lines_of(general):
    return {line.get("ID"): line for group in general.findall("Group") for line in group.findall("Line")}


def check_full_entry(log, what):
    general = log.find("General")
    groups = general.findall("Group")
    check([(g.get("ID"), g.get("Label")) for g in groups] == [("1", "Application"), ("2", "Exception"), ("3", "User")],
          f"{what}: groups {[(g.get('ID'), g.get('Label')) for g in groups]}")
    lines = lines_of(general)
    for line_id, line in lines.items():
        check(as_bytes(line.get("Value")) is not None, f"{what}: item {line_id} has only characters below 256")
    expected = {
        "1.2": "Volumetra.exe - (Калибровка)".encode("cp1251"),
        "2.2": b"0040A1B2",
        "2.6": "Ошибка <&'\"> a\tb ".encode("cp1251") + b"\x98 c?d",
        "2.7": b"1A2B3C4D",
        "2.10": b"",
        "3.5": b"SeShutdownPrivilege: ON\r\n\r\nSeDebugPrivilege: OFF?",
    }
    for line_id, value in expected.items():
        got = as_bytes(lines[line_id].get("Value")) if line_id in lines else None
        check(got == value, f"{what}: item {line_id} value {got!r}")
    check(lines["2.6"].get("Label") == "Message", f"{what}: item 2.6 label")

    stack = log.find("CallStack")
    tops = [child.tag for child in stack]
    check(tops == ["ExceptionThread", "RunningThread"], f"{what}: top-level threads {tops}")
    exc = stack.find("ExceptionThread")
    check(exc.get("ID") == "4020" and exc.get("Class") == "TWorker" and exc.get("MainThread") == "False",
          f"{what}: exception thread attributes {exc.attrib}")
    check([c.tag for c in exc] == ["Line", "Line", "CallingThread"], f"{what}: exception thread holds {[c.tag for c in exc]}")
    first = exc.findall("Line")[0].attrib
    check(first == {"Address": "0040A1B2", "Module": "Volumetra.exe", "Unit": "Worker.cpp", "Class": "TWorker",
                    "Procedure": "Execute", "Number": "120", "Offset": "4"}, f"{what}: first row {first}")
    check(exc.findall("Line")[1].get("Procedure") == "_ThreadProc", f"{what}: a leading @ becomes _")
    calling = exc.find("CallingThread")
    check(calling.get("ID") == "3000" and calling.get("MainThread") == "True" and calling.get("Class") == "",
          f"{what}: calling thread {calling.attrib}")
    check([l.get("Procedure") for l in calling.findall("Line")] == ["btStartClick"], f"{what}: calling thread rows")
    running = stack.find("RunningThread")
    check(running.get("ID") == "5000" and running.get("Priority") == "-1", f"{what}: running thread {running.attrib}")
    check([(l.get("Number"), l.get("Offset")) for l in running.findall("Line")] == [("", "")],
          f"{what}: a row without a line has empty Number and Offset")

    modules = log.find("Modules").findall("Module")
    check(len(modules) == 2, f"{what}: {len(modules)} modules")
    check(as_bytes(modules[0].get("Description")) == "Калибровка".encode("cp1251"), f"{what}: module description")
    check(modules[0].get("Modified") == "2026-12-01 10:00:00" and modules[1].get("Path") == "C:\\windows\\system32\\",
          f"{what}: module columns {modules[0].attrib}")
    processes = log.find("Processes").findall("Process")
    check(len(processes) == 1 and processes[0].get("Description") == "R&D tool" and processes[0].get("Threads") == "5",
          f"{what}: processes {[p.attrib for p in processes]}")


def main(folder):
    if shutil.which("xmllint") is None:
        check(False, "xmllint is installed (package libxml2-utils)")
        return

    doc = load(folder, "copy.xml")
    logs = doc.findall("Log")
    check(doc.tag == "Doc" and len(logs) == 2, f"copy.xml: {len(logs)} Log elements")
    check([l.get("Version") for l in logs] == ["6.1.01 RC 1"] * 2, "copy.xml: versions")
    for index, log in enumerate(logs):
        check([c.tag for c in log] == ["General", "CallStack", "Modules", "Processes", "Assembler", "CPU"],
              f"copy.xml entry {index}: sections {[c.tag for c in log]}")
        check_full_entry(log, f"copy.xml entry {index}")

    full = logs[0]
    asm = full.find("Assembler").findall("Line")
    check(len(asm) == 6, f"full entry: {len(asm)} assembler lines")
    check(asm[0].attrib == {"Address": "", "Command": "", "Comment": " Worker.TWorker.Execute (Line=120 - Offset=4)"},
          f"full entry: comment line {asm[0].attrib}")
    check(asm[4].get("Address") == "0040A1B2" and asm[4].get("Command").strip() == "mov  eax, [eax]"
          and asm[4].get("Comment") == " <-- EXCEPTION", f"full entry: exception line {asm[4].attrib}")
    registers = full.find("CPU/Registers").attrib
    check(list(registers) == ["EAX", "EBX", "ECX", "EDX", "EDI", "ESI", "ESP", "EIP"]
          and registers["EIP"] == "0040A1B2", f"full entry: registers {registers}")
    stack = [l.attrib for l in full.find("CPU/Stack")]
    check(stack == [{"Address": "0012FF70", "Value": "00401234"}, {"Address": "0012FF74", "Value": "0012FFB0"}],
          f"full entry: stack {stack}")
    dump = [l.attrib for l in full.find("CPU/MemoryDump")]
    check(len(dump) == 2 and dump[0]["Address"] == "0040A1B2"
          and dump[0]["Bytes"] == "8B 00 C3 90 3C 26 27 22 41 42 43 44 45 46 47 48"
          and dump[0]["Chars"] == "....<&'\"ABCDEFGH", f"full entry: dump {dump[:1]}")

    unreadable = logs[1]
    check(len(unreadable.find("Assembler")) == 0 and not unreadable.find("Assembler").attrib,
          "unreadable address: empty Assembler")
    registers = unreadable.find("CPU/Registers")
    check(registers is not None and registers.get("EAX") == "00000010" and registers.get("EIP") == "00000010"
          and len(registers.attrib) == 8, f"unreadable address: CPU registers {None if registers is None else registers.attrib}")
    check(len(unreadable.find("CPU/Stack")) == 0 and len(unreadable.find("CPU/MemoryDump")) == 0,
          "unreadable address: no stack or dump lines")

    right = load(folder, "secret-right.xml").find("Log/CallStack/ExceptionThread")
    rows = [(l.get("Unit"), l.get("Class"), l.get("Procedure")) for l in right.findall("Line")]
    check(rows == [("SecretUnit.cpp", "TSecret", "Reveal"), ("Vault.h", "TVault", "_Open")],
          f"right password: names {rows}")
    wrong = load(folder, "secret-wrong.xml").find("Log/CallStack/ExceptionThread")
    rows = [(l.get("Unit"), l.get("Class"), l.get("Procedure")) for l in wrong.findall("Line")]
    check(len(rows) == 2 and rows[0][0].startswith("?c") and rows[0][1].startswith("?") and rows[0][2].startswith("?")
          and rows[1][0].startswith("?p") and rows[1][1] == "" and rows[1][2].startswith("?"),
          f"wrong password: cells stay enciphered {rows}")

    v5 = load(folder, "v5.xml").find("Log")
    check(v5.get("Version") == "5.2.1", "version 5: version")
    for tag in ("Processes", "Assembler"):
        element = v5.find(tag)
        check(element is not None and len(element) == 0 and not element.attrib, f"version 5: empty {tag}")
    check([m.get("Path") for m in v5.find("Modules")] == ["C:\\Old\\"], "version 5: modules without Modified")
    check(v5.find("CPU/Registers") is not None and v5.find("CPU/Registers").get("EAX") == "00000000",
          "version 5: CPU registers")
    exc = v5.find("CallStack/ExceptionThread")
    check(exc is not None and exc.get("MainThread") == "True" and len(exc.findall("Line")) == 1,
          "version 5: exception thread")


if __name__ == "__main__":
    main(sys.argv[1])
    print(f"{failures} failure(s)")
    sys.exit(1 if failures else 0)
