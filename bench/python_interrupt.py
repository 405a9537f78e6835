"""How soon Ctrl-C ends a run of the Python module: KeyboardInterrupt sent to
the main thread (as Ctrl-C does) 0.3 to 0.7 s into long runs of each kind,
and the time until the call raises it.

usage: PYTHONPATH=build/python /usr/bin/python3 bench/python_interrupt.py [RUNS]

The runs enumerate the frequent itemsets of 1000 dense random transactions
over 60 items at support 5 (minutes each) but keep none (min_len 60), so
they hold little. Prints the median and the largest delay per kind. Not part
of CI.
"""

import _thread
import random
import statistics
import sys
import threading
import time

import zub


def main():
    runs = int(sys.argv[1]) if len(sys.argv) > 1 else 5
    rng = random.Random(1)
    data = [[j for j in range(60) if rng.random() < 0.5] for _ in range(1000)]
    kinds = {
        "all": lambda: zub.frequent_itemsets(data, 5, "all", min_len=60),
        "all, 1 thread": lambda: zub.frequent_itemsets(data, 5, "all", min_len=60, threads=1),
        "closed": lambda: zub.frequent_itemsets(data, 5, "closed", min_len=60),
        "maximal": lambda: zub.frequent_itemsets(data, 5, "maximal", min_len=60),
        "rules": lambda: zub.association_rules(data, 5, 1.0, min_len=60),
    }
    for name, run in kinds.items():
        delays = []
        for k in range(runs):
            sent = []

            def interrupt():
                sent.append(time.monotonic())
                _thread.interrupt_main()

            timer = threading.Timer(0.3 + 0.1 * (k % 5), interrupt)
            timer.start()
            try:
                run()
                sys.exit(f"{name}: the run ended before the interrupt")
            except KeyboardInterrupt:
                delays.append(time.monotonic() - sent[0])
            timer.join()
        print(f"{name:14s} median {statistics.median(delays) * 1000:4.0f} ms, largest {max(delays) * 1000:4.0f} ms")


if __name__ == "__main__":
    main()
