#!/usr/bin/env python3
"""Times commands in rounds, each round running every command once in a
turning order, so that a shared machine's changing load falls on all of
them alike (timing one command's runs, then the next's, lets a busy
minute land on one command alone). Prints, per command, the median wall
seconds and the largest peak memory (GNU time's %M, KiB) of its runs.

    interleave.py RUNS WARMUP COLD < commands.json

commands.json: a list of argument lists. COLD=1 empties the page cache
(as root) before every run of every command.
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time


def main():
    runs, warmup, cold = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3] == "1"
    commands = json.load(sys.stdin)
    times = [[] for _ in commands]
    peaks = [0 for _ in commands]
    fd, memory = tempfile.mkstemp()
    os.close(fd)
    try:
        for round_ in range(warmup + runs):
            for k in range(len(commands)):
                i = (k + round_) % len(commands)
                if cold:
                    subprocess.run(["sync"], check=True)
                    with open("/proc/sys/vm/drop_caches", "w") as caches:
                        caches.write("3\n")
                start = time.perf_counter()
                subprocess.run(["/usr/bin/time", "-f", "%M", "-o", memory] + commands[i],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                elapsed = time.perf_counter() - start
                if round_ >= warmup:
                    times[i].append(elapsed)
                    with open(memory) as text:
                        lines = text.read().split()
                    if lines and lines[-1].isdigit():
                        peaks[i] = max(peaks[i], int(lines[-1]))
    finally:
        os.unlink(memory)
    for i in range(len(commands)):
        print(f"{statistics.median(times[i]):.3f} {peaks[i]}")


if __name__ == "__main__":
    main()
