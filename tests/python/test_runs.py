"""Runs without the GIL: Ctrl-C ends a long run and leaves the module
usable, runs in two Python threads give what one gives, and other Python
threads go on while a run mines."""

import _thread
import random
import threading
import time

import pytest

import zub


def long_run():
    """Dense random transactions whose frequent itemsets take minutes to enumerate; none is
    long enough to be written, so the run holds almost nothing."""
    rng = random.Random(1)
    data = [[j for j in range(60) if rng.random() < 0.5] for _ in range(1000)]
    return lambda: zub.frequent_itemsets(data, 5, "all", min_len=60)


def test_keyboard_interrupt_ends_a_long_run():
    run = long_run()
    for _ in range(2):
        timer = threading.Timer(0.3, _thread.interrupt_main)
        start = time.monotonic()
        timer.start()
        with pytest.raises(KeyboardInterrupt):
            run()
        elapsed = time.monotonic() - start
        timer.join()
        # The run takes minutes; ended, it returns within a fraction of a
        # second of the interrupt (the bound leaves room for a loaded machine).
        assert elapsed < 3, f"the interrupted run took {elapsed:.1f} s"
    assert len(zub.frequent_itemsets([["a", "b"], ["a"]], 1, "all")) == 3


def test_two_threads_mine_at_once_and_others_go_on():
    rng = random.Random(3)
    data = [[rng.randrange(40) for _ in range(rng.randrange(15))] for _ in range(3000)]
    expected = zub.frequent_itemsets(data, 3, "closed", threads=1)
    results = [None, None]

    def mine(k):
        results[k] = zub.frequent_itemsets(data, 3, "closed", threads=1)

    # A counter in another Python thread moves on while the miners run.
    ticks = 0
    done = threading.Event()

    def tick():
        nonlocal ticks
        while not done.is_set():
            ticks += 1
            time.sleep(0.001)

    ticker = threading.Thread(target=tick)
    ticker.start()
    workers = [threading.Thread(target=mine, args=(k,)) for k in range(2)]
    for w in workers:
        w.start()
    for w in workers:
        w.join()
    during = ticks
    run = long_run()
    timer = threading.Timer(1.0, _thread.interrupt_main)
    timer.start()
    before = ticks
    with pytest.raises(KeyboardInterrupt):
        run()
    timer.join()
    done.set()
    ticker.join()
    for r in results:
        assert r.equals(expected)
    assert during > 0
    assert ticks - before > 50, "another Python thread stood still while zub mined"
