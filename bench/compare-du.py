#!/usr/bin/env python3
"""Compares `vorntools-scan --du -x` with `du -x -B1` folder by folder.

    compare-du.py FOLDER [SCAN]      (SCAN: build/src/cli/vorntools-scan)

Prints the folders whose totals differ once du's bytes are rounded to K as
the report rounds, and for each whether it holds a file with several names
(such a file counts where the walk meets it first, and du and the scan may
walk in different orders). Exit status 1 when the starting folder differs.
"""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_report import kilobytes, parse  # noqa: E402


def main():
    folder = sys.argv[1].rstrip("/") or "/"
    scan = sys.argv[2] if len(sys.argv) > 2 else "build/src/cli/vorntools-scan"
    with tempfile.NamedTemporaryFile(suffix=".txt") as report:
        subprocess.run([scan, "--du", "-x", "--output", report.name, folder], check=False,
                       stderr=subprocess.DEVNULL)
        rows = list(parse(open(report.name, "rb").read()))
    du = subprocess.run(["du", "-x", "-B1", folder], capture_output=True, check=False).stdout
    expected = {}
    for line in du.split(b"\n"):
        if not line:
            continue
        size, path = line.split(b"\t", 1)
        path = path.decode("utf-8", "surrogateescape")
        rel = os.path.relpath(path, folder)
        expected[rel] = int(size)
    differ, linked, compared = [], 0, 0
    for rel, k, _ in rows:
        if rel not in expected:
            continue  # a line without a size, or one du did not list
        compared += 1
        if kilobytes(expected[rel]) == k:
            continue
        has_links = False
        for _, _, files in os.walk(os.path.join(folder, rel)):
            break
        for name in files:
            try:
                st = os.lstat(os.path.join(folder, rel, name))
            except OSError:
                continue
            if st.st_nlink > 1:
                has_links = True
                break
        linked += has_links
        differ.append((rel, k, kilobytes(expected[rel]), has_links))
    for rel, k, d, has_links in differ:
        print(f"{rel}\tscan {k}K\tdu {d}K\t{'shares a hard-linked file' if has_links else ''}")
    top = next((k for rel, k, _ in rows if rel == "."), None)
    print(f"{folder}: {compared} folders compared, {len(differ)} differ "
          f"({linked} of them hold a file with several names); starting folder "
          f"{'equal' if top == kilobytes(expected.get('.', -1)) else 'DIFFERS'}")
    return 0 if top == kilobytes(expected.get(".", -1)) else 1


if __name__ == "__main__":
    sys.exit(main())
