#!/usr/bin/env python3
"""Language package archives for the import tests.
Usage: make_lang_zips.py OUTDIR ZIPNAME ENTRY=FILE [ENTRY=FILE ...] [-- ZIPNAME ...]"""
import os
import sys
import zipfile

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
args = sys.argv[2:]
while args:
    name, args = args[0], args[1:]
    entries = []
    while args and args[0] != "--":
        entries.append(args[0].split("=", 1))
        args = args[1:]
    args = args[1:]
    with zipfile.ZipFile(os.path.join(out, name), "w", zipfile.ZIP_DEFLATED) as z:
        for entry, path in entries:
            if path.startswith("text:"):
                z.writestr(entry, path[5:])
            else:
                z.write(path, entry)
