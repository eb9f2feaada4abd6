#!/usr/bin/env python3
"""Archives for the zip reader's tests, made by `zip` where it can store the
case and by Python's zipfile where it will not (hostile names, hand-made
extra fields, chosen host systems). Usage: make_zip_fixtures.py OUTDIR"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

out = sys.argv[1]
os.makedirs(out, exist_ok=True)


def path(name):
    return os.path.join(out, name)


def info(name, system=3, attr=0o100644 << 16, when=(2021, 6, 15, 10, 20, 30), extra=b""):
    zi = zipfile.ZipInfo(name, when)
    zi.create_system = system
    zi.external_attr = attr
    zi.compress_type = zipfile.ZIP_DEFLATED
    zi.extra = extra
    return zi


# Made by zip: plain files in a folder, a symbolic link stored as a link, and
# a password entry.
with tempfile.TemporaryDirectory() as work:
    os.makedirs(os.path.join(work, "pack", "sub"))
    with open(os.path.join(work, "pack", "a.txt"), "w") as f:
        f.write("alpha\n")
    with open(os.path.join(work, "pack", "sub", "b.txt"), "w") as f:
        f.write("beta\n" * 1000)
    os.symlink("/etc/passwd", os.path.join(work, "pack", "link"))
    for name in ("plain.zip", "secret.zip"):
        if os.path.exists(path(name)):
            os.remove(path(name))
    subprocess.run(["zip", "-q", "-r", "-y", os.path.abspath(path("plain.zip")), "pack"], cwd=work, check=True)
    subprocess.run(["zip", "-q", "-P", "secret", os.path.abspath(path("secret.zip")), "pack/a.txt"], cwd=work,
                   check=True)

# Names zip will not store: each entry's content is its own name.
hostile = ["C:../../evil.dll", "/tmp/x.dll", "a/../../evil2.dll", "..\\evil3.dll", "../evil4.dll", "dir/..",
           "\\\\server\\share\\x.dll", "con.dll", "x.dll:stream", "D:\\abs\\y.dll", "ctl\x01.dll", "ok.dll"]
with zipfile.ZipFile(path("hostile.zip"), "w") as z:
    for name in hostile:
        z.writestr(info(name), name.encode())

# Host systems and their attributes, and the DOS time of each.
with zipfile.ZipFile(path("hosts.zip"), "w") as z:
    z.writestr(info("dos_ro.txt", system=0, attr=0x21, when=(2020, 1, 2, 3, 4, 6)), b"dos")
    z.writestr(info("dos_hidden_system.txt", system=0, attr=0x26), b"dos")
    z.writestr(info("ntfs_dir/", system=11, attr=0x10), b"")
    z.writestr(info("unix_rw.txt", system=3, attr=0o100644 << 16), b"unix")
    z.writestr(info("unix_ro.txt", system=3, attr=0o100444 << 16), b"unix")
    z.writestr(info("unix_dir/", system=3, attr=(0o40755 << 16) | 0x40000000), b"")


def ut(flags, *times, size=None):
    body = bytes([flags]) + b"".join(struct.pack("<i", t) for t in times)
    return struct.pack("<HH", 0x5455, len(body) if size is None else size) + body


# Extended timestamps: all three, fewer than the flags announce, after another
# block, and a block whose size runs past the field.
with zipfile.ZipFile(path("times.zip"), "w") as z:
    z.writestr(info("all.txt", extra=ut(7, 1000000000, 1100000000, 1200000000)), b"t")
    z.writestr(info("short.txt", extra=ut(7, 1300000000)), b"t")
    z.writestr(info("after.txt", extra=struct.pack("<HH", 0xCAFE, 2) + b"xy" + ut(1, 1400000000)), b"t")
    z.writestr(info("past.txt", extra=ut(1, 1500000000, size=40)), b"t")
    z.writestr(info("none.txt"), b"t")

# A 40 KiB entry (more than two read pieces) of random bytes, then a copy
# whose compressed data is damaged with the directory intact, and a copy cut
# short (no directory left).
data = os.urandom(40000)
with zipfile.ZipFile(path("random.zip"), "w") as z:
    z.writestr(info("random.bin"), data)
    z.writestr(info("after.txt"), b"still here")
raw = bytearray(open(path("random.zip"), "rb").read())
start = 30 + len("random.bin")
for i in range(start + 100, start + 400):
    raw[i] ^= 0x5A
open(path("damaged.zip"), "wb").write(raw)
open(path("cut.zip"), "wb").write(open(path("random.zip"), "rb").read()[:20000])

# A bomb: one entry of 2 GiB of zeros.
if not os.path.exists(path("bomb.zip")):
    with zipfile.ZipFile(path("bomb.zip.tmp"), "w", compression=zipfile.ZIP_DEFLATED, compresslevel=1) as z:
        with z.open(info("zeros.bin"), "w", force_zip64=True) as f:
            block = bytes(1 << 20)
            for _ in range(2048):
                f.write(block)
    os.rename(path("bomb.zip.tmp"), path("bomb.zip"))

open(path("notzip.zip"), "wb").write(b"<html>not an archive</html>\n")
