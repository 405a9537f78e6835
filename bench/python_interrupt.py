"""How soon Ctrl-C ends a run of the Python module, and how much memory the
process takes on after it: KeyboardInterrupt sent to the main thread (as
Ctrl-C does) while long runs go on, and the time until the call raises it.

usage: PYTHONPATH=build/python /usr/bin/python3 bench/python_interrupt.py [RUNS] [SECTION...]

Two sections (default both):

- ``quiet``: the frequent itemsets of 1000 dense random transactions over 60
  items at support 5 (minutes each), keeping none (min_len 60), so that the
  run holds little: the delay of a run that finds nothing to hand over.
- ``flowing``: runs that keep their results, so that they flow to Python
  while the signal comes: every frequent itemset of chess.dat at 1000 on 1
  and on 2 threads, and its rules at 1500 (from ../shared/data, or
  $ZUB_DATA_DIR). The signal comes 2 s into the run.

Prints, per kind, the median and the largest delay, and the largest growth
of the peak resident memory from the signal to the raise (the peak is reset
as the signal is sent, through /proc/self/clear_refs). Not part of CI.
"""

import _thread
import os
import pathlib
import random
import statistics
import sys
import threading
import time

import zub

DATA_DIR = pathlib.Path(os.environ.get("ZUB_DATA_DIR", pathlib.Path(__file__).resolve().parents[2] / "shared" / "data"))


def rss_kb(field):
    """VmRSS or VmHWM of this process, in kB."""
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def reset_peak():
    """Resets VmHWM to the current resident memory (Linux 4.0 and later)."""
    try:
        with open("/proc/self/clear_refs", "w") as f:
            f.write("5")
        return True
    except OSError:
        return False


def measure(run, after):
    """(delay in s, peak growth in MB) of one run interrupted `after` s in."""
    sent = []

    def interrupt():
        can_reset = reset_peak()
        sent.append((time.monotonic(), rss_kb("VmRSS"), can_reset))
        _thread.interrupt_main()

    timer = threading.Timer(after, interrupt)
    timer.start()
    try:
        run()
        sys.exit("the run ended before the interrupt")
    except KeyboardInterrupt:
        delay = time.monotonic() - sent[0][0]
    timer.join()
    growth = (rss_kb("VmHWM") - sent[0][1]) / 1024 if sent[0][2] else float("nan")
    return delay, growth


def quiet_kinds():
    rng = random.Random(1)
    data = [[j for j in range(60) if rng.random() < 0.5] for _ in range(1000)]
    return 0.3, {
        "all": lambda: zub.frequent_itemsets(data, 5, "all", min_len=60),
        "all, 1 thread": lambda: zub.frequent_itemsets(data, 5, "all", min_len=60, threads=1),
        "closed": lambda: zub.frequent_itemsets(data, 5, "closed", min_len=60),
        "maximal": lambda: zub.frequent_itemsets(data, 5, "maximal", min_len=60),
        "rules": lambda: zub.association_rules(data, 5, 1.0, min_len=60),
    }


def flowing_kinds():
    chess = DATA_DIR / "chess.dat"
    if not chess.exists():
        sys.exit(f"{chess} is absent; set ZUB_DATA_DIR")
    return 2.0, {
        "chess 1000 all, 1 thread": lambda: zub.frequent_itemsets(chess, 1000, "all", threads=1),
        "chess 1000 all, 2 threads": lambda: zub.frequent_itemsets(chess, 1000, "all", threads=2),
        "chess 1500 rules, 2 threads": lambda: zub.association_rules(chess, 1500, 0.5, threads=2),
    }


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    sections = sys.argv[2:] or ["quiet", "flowing"]
    for section in sections:
        after, kinds = {"quiet": quiet_kinds, "flowing": flowing_kinds}[section]()
        for name, run in kinds.items():
            delays, growths = [], []
            for k in range(runs):
                delay, growth = measure(run, after + (0.1 * (k % 5) if section == "quiet" else 0))
                delays.append(delay)
                growths.append(growth)
            print(f"{name:28s} median {statistics.median(delays) * 1000:5.0f} ms, largest {max(delays) * 1000:5.0f} ms,"
                  f" peak growth after the signal {max(growths):7.1f} MB", flush=True)


if __name__ == "__main__":
    main()
