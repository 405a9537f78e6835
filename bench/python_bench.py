"""The Python module's overhead on one cell, against zub-mine.

usage: PYTHONPATH=build/python /usr/bin/python3 bench/python_bench.py ZUB_MINE FILE MINSUP [RUNS [THREADS]]

Alternates, RUNS times (default 9): zub-mine writing the maximal itemsets to a
file (wall time of the whole process), zub.frequent_itemsets(FILE, MINSUP), and
zub.frequent_itemsets on the same transactions held in memory as lists of
strings (every id as a word, "w<id>"), all on the same number of threads.
Prints the medians, the ratio of the path run to zub-mine, what the strings
add to the path run, and the process's peak resident memory (which includes
the list of strings and pandas itself). Not part of CI.
"""

import resource
import statistics
import subprocess
import sys
import tempfile
import time

import zub


def timed(run):
    start = time.perf_counter()
    result = run()
    return time.perf_counter() - start, result


def main():
    if len(sys.argv) not in (4, 5, 6):
        sys.exit(__doc__)
    zub_mine, path, minsup = sys.argv[1], sys.argv[2], int(sys.argv[3])
    runs = int(sys.argv[4]) if len(sys.argv) >= 5 else 9
    threads = int(sys.argv[5]) if len(sys.argv) == 6 else 1
    with open(path) as f:
        words = [["w" + x for x in line.split()] for line in f]
    times = {"zub-mine": [], "path": [], "strings": []}
    counts = set()
    with tempfile.NamedTemporaryFile() as out:
        command = [zub_mine, "--threads", str(threads), path, str(minsup), out.name]
        for _ in range(runs):
            t, _ = timed(lambda: subprocess.run(command, check=True, stdout=subprocess.DEVNULL))
            times["zub-mine"].append(t)
            with open(out.name) as written:
                counts.add(sum(1 for _ in written))
            t, frame = timed(lambda: zub.frequent_itemsets(path, minsup, threads=threads))
            times["path"].append(t)
            counts.add(len(frame))
            t, frame = timed(lambda: zub.frequent_itemsets(words, minsup, threads=threads))
            times["strings"].append(t)
            counts.add(len(frame))
    if len(counts) != 1:
        sys.exit(f"the runs found different numbers of itemsets: {sorted(counts)}")
    median = {k: statistics.median(v) for k, v in times.items()}
    print(f"{path} {minsup}: {counts.pop()} maximal itemsets, {len(words)} transactions, {threads} thread(s), "
          f"medians of {runs}")
    for k, v in median.items():
        print(f"  {k:9s} {v:.3f} s")
    print(f"  path / zub-mine: {median['path'] / median['zub-mine']:.2f}")
    print(f"  strings - path:  {median['strings'] - median['path']:.3f} s")
    print(f"  peak RSS of this process: {resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024:.0f} MB")


if __name__ == "__main__":
    main()
