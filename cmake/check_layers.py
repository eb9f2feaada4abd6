#!/usr/bin/env python3
"""Fails when a product source includes a header of a layer it may not use.

Every library sees the whole source tree on its include path, so the compiler
alone would take any include; this check runs as part of every build and
makes a wrong include fail it. Tests and tools may include any layer.

Usage: check_layers.py SOURCE_ROOT [STAMP_FILE]
"""
import os
import re
import sys

# Each layer and the layers it may include besides itself.
ALLOWED = {
    "core/base": [],
    "core/tunnel": ["core/base"],
    "core/control": ["core/base", "core/tunnel"],
    "rfb": ["core/base"],
    "appliance/cgi": ["core/base"],
    "appliance/https": ["core/base", "appliance/cgi"],
    "appliance/ui": ["core/base", "appliance/cgi", "appliance/https"],
    "Customer/encode": ["core/base", "rfb"],
    "Customer/capture": ["core/base", "rfb", "Customer/encode"],
    "Customer/input": ["core/base", "rfb", "Customer/encode", "Customer/capture"],
    "Customer/session": ["core/base", "rfb", "Customer/encode", "Customer/capture", "Customer/input"],
    "Technician/decode": ["core/base", "rfb"],
    "Technician/connection": ["core/base", "rfb", "Technician/decode"],
    "Technician/ui": ["core/base", "rfb", "Technician/decode", "Technician/connection"],
    "meeting": ["core/base", "rfb", "core/tunnel", "core/control"],
    "extras": ["core/base", "rfb", "core/tunnel", "core/control"],
    "traysetup": ["core/base"],
    "core/app": None,  # the program: every layer
}
SPLIT = ("core", "appliance", "Customer", "Technician")
INCLUDE = re.compile(r'\s*#\s*include\s+"([^"]+)"')
SOURCES = (".c", ".cpp", ".h", ".rc", ".inl")


def layer_of(path):
    parts = path.split("/")
    if parts[0] in SPLIT and len(parts) > 2:
        return parts[0] + "/" + parts[1]
    return parts[0]


def is_test(path):
    return path.startswith("tests/") or "/tests/" in path


def violations(root):
    found = []
    for layer in ALLOWED:
        top = os.path.join(root, layer)
        for directory, dirs, files in os.walk(top):
            dirs[:] = [d for d in dirs if d != "tests"]
            for name in files:
                if not name.endswith(SOURCES):
                    continue
                full = os.path.join(directory, name)
                rel = os.path.relpath(full, root).replace(os.sep, "/")
                if is_test(rel) or layer_of(rel) != layer:
                    continue
                allowed = ALLOWED[layer]
                if allowed is None:
                    continue
                with open(full, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if not m or "/" not in m.group(1):
                            continue
                        target = m.group(1)
                        if not os.path.exists(os.path.join(root, target)):
                            continue
                        other = layer_of(target)
                        if other != layer and other not in allowed:
                            found.append("%s:%d: %s may not include %s (layer %s)" % (rel, number, layer, target, other))
    return found


def main():
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    bad = violations(sys.argv[1])
    for line in bad:
        print(line, file=sys.stderr)
    if bad:
        return 1
    if len(sys.argv) > 2:
        with open(sys.argv[2], "w") as stamp:
            stamp.write("layers checked\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
