#!/usr/bin/env python3
"""Compares what one program of a two-program run sent with what the other
received, from the Linux side of their Wine prefixes: every file in SENT
under the peer's C:\\ (CORVISK_PEER_PREFIX) has a file of the same name in
RECEIVED under the first program's C:\\ (CORVISK_PREFIX) with the same
SHA-256. Prints one line per file; exits 1 on a missing or different one,
or when nothing was sent.

Usage: same_files.py SENT RECEIVED   (folders below drive_c)
"""
import hashlib
import os
import sys


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    sent = os.path.join(os.environ["CORVISK_PEER_PREFIX"], "drive_c", sys.argv[1])
    received = os.path.join(os.environ["CORVISK_PREFIX"], "drive_c", sys.argv[2])
    names = sorted(os.listdir(sent)) if os.path.isdir(sent) else []
    if not names:
        print(f"same_files: nothing sent in {sent}")
        return 1
    bad = 0
    for name in names:
        want = digest(os.path.join(sent, name))
        target = os.path.join(received, name)
        got = digest(target) if os.path.isfile(target) else "missing"
        same = got == want
        bad += not same
        print(f"same_files: {name} {os.path.getsize(os.path.join(sent, name))} bytes sent {want} "
              f"received {got} {'same' if same else 'DIFFERENT'}")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
