#!/usr/bin/env python3
"""Prints each of our benchmarks as a ratio against its peer of the same run.

Usage: bench_report.py PAIRS_FILE RESULT.json...

Each RESULT.json is Google Benchmark's JSON output (--benchmark_out, format
json); scripts/bench writes the tunnel's measurements in the same shape. The
pairs come from PAIRS_FILE (see its header) and from the naming convention
OURS_vs_PEER[/args]. A ratio is the speed of ours over the speed of its peer:
the peer's CPU time per iteration over ours, or, where a side has no time
(the tunnel), bytes per second over bytes per second. Above 1 ours is faster.
Counters both sides report (such as out_bytes) are printed as ours / peer.
With repetitions the median is used. Exits 1 when a benchmark failed or a
listed peer did not run. Standard library only.
"""
import json
import re
import statistics
import sys

TIME_UNITS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}
# Keys of a Google Benchmark result that are not user counters.
STANDARD_KEYS = {
    "name", "run_name", "run_type", "repetitions", "repetition_index", "threads", "iterations",
    "real_time", "cpu_time", "time_unit", "bytes_per_second", "items_per_second", "label",
    "error_occurred", "error_message", "family_index", "per_family_instance_index",
    "aggregate_name", "aggregate_unit",
}


class Result:
    def __init__(self, name, program):
        self.name = name
        self.program = program
        self.seconds = None  # CPU seconds per iteration
        self.bytes_per_second = None
        self.counters = {}
        self.error = None
        self.order = (0, 0)  # family and instance: the program's own order


def load(path):
    """Returns {run name: Result} for one JSON file."""
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    program = data.get("context", {}).get("executable", path).rsplit("/", 1)[-1]
    runs = {}
    for b in data.get("benchmarks", []):
        name = b.get("run_name", b["name"])
        runs.setdefault(name, []).append(b)
    results = {}
    for name, entries in runs.items():
        r = Result(name, program)
        r.order = (entries[0].get("family_index", 0), entries[0].get("per_family_instance_index", 0))
        failed = [e for e in entries if e.get("error_occurred")]
        if failed:
            r.error = failed[0].get("error_message", "failed")
            results[name] = r
            continue
        medians = [e for e in entries if e.get("run_type") == "aggregate" and e.get("aggregate_name") == "median"]
        chosen = medians or [e for e in entries if e.get("run_type", "iteration") == "iteration"]
        if not chosen:
            continue

        def median_of(key, scale=lambda e: 1.0):
            values = [e[key] * scale(e) for e in chosen if isinstance(e.get(key), (int, float))]
            return statistics.median(values) if values else None

        # A benchmark timed by the wall clock (UseRealTime: a peer run as a
        # child process, or waits on the disk) is compared by that clock.
        clock = "real_time" if name.endswith("/real_time") else "cpu_time"
        r.seconds = median_of(clock, lambda e: TIME_UNITS[e.get("time_unit", "ns")])
        r.bytes_per_second = median_of("bytes_per_second")
        for key in chosen[0]:
            if key not in STANDARD_KEYS:
                value = median_of(key)
                if value is not None:
                    r.counters[key] = value
        results[name] = r
    return results


def read_pairs(path):
    """Returns [(compiled OURS, PEER template, label)]."""
    pairs = []
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            fields = line.split(None, 2)
            if len(fields) < 2:
                sys.exit("%s:%d: want OURS PEER [LABEL]" % (path, number))
            label = fields[2] if len(fields) > 2 else "%s against %s" % (fields[0], fields[1])
            pairs.append((re.compile(fields[0]), fields[1], label))
    return pairs


def find(results, name, near):
    """The result called name, from the program of near when it has one."""
    for program in (near.program, None):
        for r in results:
            if name in r and (program is None or r[name].program == program):
                return r[name]
    return None


def comparisons(results, pairs):
    """Yields (label, ours, peer name) for every pair, in table order."""
    names = [n for r in results for n in sorted(r, key=lambda n: r[n].order)]
    for pattern, template, label in pairs:
        for name in names:
            m = pattern.fullmatch(name)
            if m:
                yield label, name, m.expand(template)
    for name in names:
        base, slash, args = name.partition("/")
        if "_vs_" in base:
            peer_base = base.split("_vs_", 1)[1]
            peer = peer_base + slash + args
            if not any(peer in r for r in results):
                peer = peer_base
            yield "against %s (named OURS_vs_PEER)" % peer_base, name, peer


def fmt_time(seconds):
    for unit, scale in (("s", 1.0), ("ms", 1e-3), ("us", 1e-6)):
        if seconds >= scale:
            return "%.3g %s" % (seconds / scale, unit)
    return "%.3g ns" % (seconds / 1e-9)


def measure(r):
    if r.seconds:
        return fmt_time(r.seconds)
    if r.bytes_per_second:
        return "%.1f MB/s" % (r.bytes_per_second / 1e6)
    return "?"


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    pairs = read_pairs(argv[1])
    results = [load(p) for p in argv[2:]]
    by_name = {}
    for r in results:
        for name, res in r.items():
            by_name.setdefault(name, res)

    status = 0
    used = set()
    groups = {}
    for label, ours_name, peer_name in comparisons(results, pairs):
        groups.setdefault(label, []).append((ours_name, peer_name))

    print("Ratios: speed of ours / speed of its peer, measured in the same run (above 1: ours is faster)")
    for label, rows in groups.items():
        print("\n%s" % label)
        width = max(len(o) + len(p) for o, p in rows) + 4
        for ours_name, peer_name in rows:
            used.update((ours_name, peer_name))
            ours = by_name[ours_name]
            peer = find(results, peer_name, ours)
            head = "  %s vs %s" % (ours_name, peer_name)
            head = head.ljust(width + 2)
            if ours.error or peer is None or peer.error:
                why = ours.error or ("peer did not run" if peer is None else "peer: " + peer.error)
                print("%s  FAILED (%s)" % (head, why))
                status = 1
                continue
            if ours.seconds and peer.seconds:
                ratio = peer.seconds / ours.seconds
            elif ours.bytes_per_second and peer.bytes_per_second:
                ratio = ours.bytes_per_second / peer.bytes_per_second
            else:
                print("%s  no common measure" % head)
                status = 1
                continue
            extra = ["%s %s" % (measure(ours), "vs " + measure(peer))]
            for key in sorted(set(ours.counters) & set(peer.counters)):
                if peer.counters[key]:
                    extra.append("%s ratio %.3f" % (key, ours.counters[key] / peer.counters[key]))
            print("%s  %8.3f   (%s)" % (head, ratio, "; ".join(extra)))

    failed = [r for r in by_name.values() if r.error and r.name not in used]
    for r in failed:
        print("\nFAILED: %s (%s): %s" % (r.name, r.program, r.error))
        status = 1
    alone = [n for n in by_name if n not in used and not by_name[n].error]
    if alone:
        print("\nIn no comparison (add a line to the pairs file or name it OURS_vs_PEER): %s" % ", ".join(alone))
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv))
