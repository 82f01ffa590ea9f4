#!/usr/bin/env python3
"""Checks a vorntools-scan report of a benchmark tree against the tree's
per-folder totals (DEST.perdir.tsv) or its manifest's grand total.

    check_report.py REPORT TREE
"""
import json
import os
import sys


def kilobytes(total):
    # Halves go to the even neighbour, as the report rounds.
    q, r = divmod(total, 1024)
    if r > 512 or (r == 512 and q % 2 == 1):
        q += 1
    return q


def parse(report_bytes):
    """Yields (relative path, kilobytes, marked) per line, in order."""
    stack = []
    for line in report_bytes.split(b"\r\n")[:-1]:
        level = len(line) - len(line.lstrip(b"\t"))
        label = line[level:]
        k_at = label.index(b"K ")
        size = int(label[:k_at].lstrip(b"."))
        marked = label[k_at + 2:k_at + 3] == b"*"
        name = label[k_at + 3:].decode("utf-8", "surrogateescape")
        del stack[level:]
        stack.append(name)
        yield ("/".join(stack[1:]) or "."), size, marked


def main():
    report_path, tree = sys.argv[1], sys.argv[2].rstrip("/")
    with open(report_path, "rb") as f:
        rows = list(parse(f.read()))
    perdir = tree + ".perdir.tsv"
    problems = 0
    if os.path.exists(perdir):
        expected = {}
        with open(perdir, encoding="utf-8", errors="surrogateescape") as f:
            for line in f:
                path, total = line.rstrip("\n").split("\t")
                expected[path] = int(total)
        seen = {path for path, _, _ in rows}
        for path, size, marked in rows:
            want = kilobytes(expected.get(path, -1))
            if path not in expected or size != want or marked:
                problems += 1
                if problems <= 5:
                    print(f"mismatch: {path!r}: report {size}K, expected {want}K", file=sys.stderr)
        missing = set(expected) - seen
        problems += len(missing)
        print(f"checked {len(rows)} folders against {perdir}: "
              f"{problems} problem(s), {len(missing)} missing")
    else:
        with open(tree + ".manifest.json") as f:
            manifest = json.load(f)
        want = kilobytes(manifest["visible_apparent_bytes"])
        got = rows[0][1] if rows else None
        if got != want:
            problems += 1
        print(f"total: report {got}K, manifest {want}K: {'ok' if got == want else 'MISMATCH'}")
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
