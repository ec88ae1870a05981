#!/usr/bin/env python3
"""Reads back the archives of EZipArchiveMaker with Debian's unzip and Python's
zipfile: contents, method, level flag, encryption, names and times.

usage: verify_zip_archives.py FOLDER   (run with the same TZ as the maker)
"""
import datetime
import os
import subprocess
import sys
import time
import zipfile

SOURCES = ["report.txt", "noise.bin", "empty.txt", "Скриншот.png"]
PASSWORD = b"s3cr3t"
failures = 0


def check(ok, what):
    global failures
    print(("ok: " if ok else "FAILED: ") + what)
    if not ok:
        failures += 1


def unzip(*args):
    r = subprocess.run(["unzip", *args], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return r.returncode, r.stdout.decode("latin-1")


def linux_path(folder, name):
    # The maker's 8-bit names were code page 1251; Wine keeps them as UTF-8.
    return os.path.join(folder, name)


def entry_name(info):
    """The entry name as the maker's 8-bit text: zipfile read it as code page
    437 because the UTF-8 flag is clear."""
    return info.filename.encode("cp437").decode("cp1251")


def check_entries(folder, archive, names, encrypted):
    path = os.path.join(folder, archive)
    with zipfile.ZipFile(path) as z:
        infos = z.infolist()
        check([entry_name(i) for i in infos] == names, f"{archive}: entries {[entry_name(i) for i in infos]}")
        check(z.comment == b"", f"{archive}: no archive comment")
        for info in infos:
            name = entry_name(info)
            what = f"{archive}/{name}"
            with open(linux_path(folder, name), "rb") as f:
                data = f.read()
            check(info.compress_type == zipfile.ZIP_DEFLATED, f"{what}: method {info.compress_type}")
            check(info.flag_bits & 0x6 == 0x2, f"{what}: maximum-compression flag, flags 0x{info.flag_bits:04X}")
            check(bool(info.flag_bits & 0x1) == encrypted, f"{what}: encrypted={encrypted}")
            check(not info.flag_bits & 0x800, f"{what}: name stored as 8-bit text")
            check(info.extra == b"" and info.comment == b"", f"{what}: no extra field, no comment")
            check(info.file_size == len(data), f"{what}: size {info.file_size} of {len(data)}")
            stamp = datetime.datetime(*info.date_time)
            local = datetime.datetime(*time.localtime(os.stat(linux_path(folder, name)).st_mtime)[:6])
            check(abs((stamp - local).total_seconds()) <= 2, f"{what}: time {stamp} against local {local}")
            if encrypted:
                try:
                    z.read(info)
                    check(False, f"{what}: read without the password")
                except RuntimeError:
                    check(True, f"{what}: refused without the password")
                got = z.read(info, pwd=PASSWORD)
            else:
                got = z.read(info)
            check(got == data, f"{what}: content")
        if "report.txt" in names:
            info = z.getinfo([i.filename for i in infos if entry_name(i) == "report.txt"][0])
            check(info.compress_size < info.file_size // 2, f"{archive}/report.txt: compressed to {info.compress_size}")


def main():
    folder = sys.argv[1]
    print("TZ:", os.environ.get("TZ"), "offset", -time.timezone)

    rc, out = unzip("-tq", os.path.join(folder, "several.zip"))
    check(rc == 0, f"unzip -t several.zip: {rc} {out.strip()}")
    check_entries(folder, "several.zip", SOURCES, encrypted=False)

    rc, out = unzip("-tq", "-P", PASSWORD.decode(), os.path.join(folder, "password.zip"))
    check(rc == 0, f"unzip -P s3cr3t -t password.zip: {rc} {out.strip()}")
    rc, out = unzip("-tq", "-P", "wrong", os.path.join(folder, "password.zip"))
    check(rc != 0 and "incorrect password" in out, f"unzip -P wrong -t password.zip fails: {rc}")
    check_entries(folder, "password.zip", SOURCES, encrypted=True)

    rc, out = unzip("-tq", os.path.join(folder, "emptypassword.zip"))
    check(rc == 0, f"unzip -t emptypassword.zip: {rc} {out.strip()}")
    check_entries(folder, "emptypassword.zip", ["report.txt", "empty.txt"], encrypted=False)

    rc, out = unzip("-tq", os.path.join(folder, "replaced.zip"))
    check(rc == 0, f"unzip -t replaced.zip: {rc} {out.strip()}")
    check_entries(folder, "replaced.zip", ["report.txt"], encrypted=False)

    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
