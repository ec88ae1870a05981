#!/usr/bin/env python3
"""Runs the pipeline child's identifier mode and checks the exception
identifier it reports against binascii.crc_hqx of the text it was made from.

usage: IdentifierCheck.py COMMAND... (the child program, with its runner)
"""
import binascii
import os
import subprocess
import sys
import tempfile


def main():
    with tempfile.TemporaryDirectory() as folder:
        result = os.path.join(folder, "identifier.txt")
        # The child sees the file through Wine's drive of the whole file system.
        subprocess.run(sys.argv[1:] + ["identifier", "Z:" + result.replace("/", "\\")], timeout=300, check=False)
        with open(result, "rb") as file:
            data = file.read()
    fields = {}
    for line in data.split(b"\n"):
        name, _, value = line.partition(b"=")
        if name in (b"idtext", b"id"):
            fields[name] = value.rstrip(b"\r")
    if b"idtext" not in fields or b"id" not in fields:
        print("no identifier in the child's result:", data)
        return 1
    expected = "%04X" % binascii.crc_hqx(fields[b"idtext"], 0)
    if fields[b"id"].decode() != expected:
        print("identifier", fields[b"id"], "expected", expected, "of", fields[b"idtext"])
        return 1
    if not fields[b"idtext"]:
        print("empty identifier text")
        return 1
    print("identifier", expected, "of", fields[b"idtext"])
    return 0


if __name__ == "__main__":
    sys.exit(main())
