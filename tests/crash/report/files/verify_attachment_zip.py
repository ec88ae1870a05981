#!/usr/bin/env python3
"""Reads back the attachment archive of AttachmentZipMaker with Python's
zipfile: the entries are the files BuildAttachmentList listed, under the names
SendFileName gave, with their contents; the XML copy passes xmllint.

usage: verify_attachment_zip.py FOLDER
"""
import os
import shutil
import subprocess
import sys
import zipfile

failures = 0


def check(ok, what):
    global failures
    print(("ok: " if ok else "FAILED: ") + what)
    if not ok:
        failures += 1


def main():
    folder = sys.argv[1]
    with open(os.path.join(folder, "names.txt"), "rb") as f:
        names = f.read().decode("cp1251").split("\n")[:-1]
    stamp = "__20130202143005"
    check(names == ["user" + stamp + ".ini", "Report" + stamp + ".vlf", "LastHTMLPage" + stamp + ".html",
                    "Report" + stamp + ".xml"], f"listed names {names}")
    with zipfile.ZipFile(os.path.join(folder, "BugReport.zip")) as z:
        check(z.testzip() is None, "archive CRCs")
        entries = [i.filename.encode("cp437").decode("cp1251") for i in z.infolist()]
        check(entries == names, f"entries {entries}")
        for info, name in zip(z.infolist(), names):
            with open(os.path.join(folder, "expected-" + name), "rb") as f:
                expected = f.read()
            data = z.read(info)
            check(data == expected and len(data) > 0, f"{name}: content of {len(data)} bytes")
            if name.endswith(".xml"):
                xmllint = shutil.which("xmllint")
                check(xmllint is not None, "xmllint is installed")
                if xmllint:
                    r = subprocess.run([xmllint, "--noout", "-"], input=data, stdout=subprocess.PIPE,
                                       stderr=subprocess.STDOUT)
                    check(r.returncode == 0, f"{name}: xmllint {r.returncode} {r.stdout.decode(errors='replace')}")
            if name.endswith(".vlf"):
                check(data.count(b"\r\n\r\n\r\n\r\n") == 2 and b"1B1B" in data, f"{name}: two entries")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
