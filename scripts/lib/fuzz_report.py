#!/usr/bin/env python3
"""Summarises a scripts/fuzz run: executions per target and every finding.

Usage: fuzz_report.py (PROGRAM EXIT_CODE LOG FINDINGS_DIR)...

Executions come from the last status line of libFuzzer's log ("#N ...").
Findings are the reproducers libFuzzer wrote (crash-, leak-, timeout-, oom-);
crashes and leaks are replayed once to read the sanitizer's summary, and
reproducers with the same summary and first frame are reported together
under the smallest one. Exits 1 when there is a finding or a target did not
run. Standard library only.
"""
import os
import re
import subprocess
import sys

KINDS = ("crash", "leak", "timeout", "oom")
MAX_REPLAYS = 30  # per target; more reproducers are listed unreplayed
STATUS = re.compile(r"^#(\d+)\b.*?\btime: (\d+)s")
FRAME = re.compile(r"^\s*#\d+ 0x[0-9a-f]+ in (.+)$")
ALLOCATOR = re.compile(r"\b(malloc|calloc|realloc|operator new|__interceptor_)")


def executions(log):
    """(executions, seconds) from the last status line, or (None, None)."""
    last = (None, None)
    try:
        with open(log, errors="replace") as f:
            for line in f:
                m = STATUS.match(line)
                if m:
                    last = (int(m.group(1)), int(m.group(2)))
                elif line.startswith("#") and "DONE" in line:
                    n = re.match(r"^#(\d+)", line)
                    if n:
                        last = (int(n.group(1)), last[1])
    except OSError:
        pass
    return last


def signature(program, reproducer):
    """The sanitizer's summary line and first own frame when replaying."""
    try:
        out = subprocess.run([program, reproducer], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                             stderr=subprocess.STDOUT, timeout=60, check=False).stdout.decode(errors="replace")
    except subprocess.TimeoutExpired:
        return "replay timed out"
    summary = next((l.strip() for l in out.splitlines() if l.startswith("SUMMARY:")), "")
    frame = next((m.group(1).strip() for m in map(FRAME.match, out.splitlines()) if m and not ALLOCATOR.search(m.group(1))), "")
    if not summary and not frame:
        return "did not fail when replayed"
    return summary + ("\n      at " + frame if frame else "")


def main(argv):
    args = argv[1:]
    if not args or len(args) % 4:
        sys.exit(__doc__)
    status = 0
    rows = []
    findings = []
    for i in range(0, len(args), 4):
        program, code, log, folder = args[i:i + 4]
        name = os.path.basename(program)
        n, seconds = executions(log)
        files = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
        found = [f for f in files if f.split("-", 1)[0] in KINDS]
        if n is None:
            rows.append((name, "-", "-", "DID NOT RUN (exit %s, log %s)" % (code, log)))
            status = 1
        else:
            rate = str(n // seconds) if seconds else "-"
            rows.append((name, str(n), rate, "%d finding(s)" % len(found) if found else "none"))
        if not found:
            continue
        status = 1
        groups = {}
        for k, f in enumerate(sorted(found, key=lambda f: os.path.getsize(os.path.join(folder, f)))):
            path = os.path.join(folder, f)
            kind = f.split("-", 1)[0]
            if kind in ("crash", "leak") and k < MAX_REPLAYS:
                key = (kind, signature(program, path))
            else:
                key = (kind, "not replayed")
            groups.setdefault(key, []).append(path)
        for (kind, sig), paths in sorted(groups.items(), key=lambda g: KINDS.index(g[0][0])):
            findings.append("%s: %d %s reproducer(s)\n      %s\n    smallest: %s\n    replay:   %s %s"
                            % (name, len(paths), kind, sig, paths[0], program, paths[0]))

    width = max(len("target"), *(len(r[0]) for r in rows))
    print("%-*s  %12s  %8s  %s" % (width, "target", "executions", "exec/s", "findings"))
    for r in rows:
        print("%-*s  %12s  %8s  %s" % (width, *r))
    if findings:
        print("\nFindings:")
        for f in findings:
            print("  " + f)
    else:
        print("\nNo crash, leak, time-out or out-of-memory found.")
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
