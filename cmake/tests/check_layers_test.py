#!/usr/bin/env python3
"""The layer check refuses an include from a higher layer and takes the rest."""
import os
import subprocess
import sys
import tempfile

CHECK = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "check_layers.py")


def write(root, path, text):
    full = os.path.join(root, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, "w") as f:
        f.write(text)


def run(root):
    return subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)


def main():
    cases = [
        # (file, its include, refused)
        ("core/base/A.cpp", "core/app/Manager.h", True),
        ("core/tunnel/T.cpp", "core/control/Packets.h", True),
        ("core/control/C.cpp", "core/tunnel/Tunnel.h", False),
        ("appliance/cgi/R.cpp", "appliance/https/Client.h", True),
        ("Technician/decode/D.cpp", "Technician/connection/Conn.h", True),
        ("meeting/M.cpp", "core/app/Manager.h", True),
        ("meeting/M.cpp", "core/control/Packets.h", False),
        ("core/app/P.cpp", "meeting/Lobby.h", False),
        ("core/base/tests/BTest.cpp", "core/app/Manager.h", False),
        ("core/base/A.cpp", "core/app/Missing.h", False),  # not in the tree: not a layer header
    ]
    failures = 0
    for source, include, refused in cases:
        with tempfile.TemporaryDirectory() as root:
            for header in ("core/app/Manager.h", "core/control/Packets.h", "core/tunnel/Tunnel.h",
                           "appliance/https/Client.h", "Technician/connection/Conn.h", "meeting/Lobby.h"):
                write(root, header, "#pragma once\n")
            write(root, source, '#include "%s"\n' % include)
            result = run(root)
            if (result.returncode != 0) != refused:
                print("FAIL: %s including %s: exit %d, expected %s\n%s" %
                      (source, include, result.returncode, "refusal" if refused else "pass", result.stderr))
                failures += 1
            elif refused and source not in result.stderr:
                print("FAIL: refusal of %s does not name the file: %s" % (source, result.stderr))
                failures += 1
    repo = os.path.join(os.path.dirname(CHECK), "..")
    result = run(repo)
    if result.returncode != 0:
        print("FAIL: the source tree breaks its layers:\n" + result.stderr)
        failures += 1
    print("%d failure(s)" % failures)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
