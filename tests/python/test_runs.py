"""Runs without the GIL: Ctrl-C ends a long run and leaves the module
usable, runs in two Python threads give what one gives, and other Python
threads go on while a run mines."""

import _thread
import os
import signal
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


def _resident_kb(field):
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith(field + ":"):
                return int(line.split()[1])
    return 0


def _interrupted(run, after, send):
    """(seconds from the signal to KeyboardInterrupt, growth of the peak resident memory after it in MB) of
    run() interrupted `after` s in by send(); the growth is None where the peak cannot be reset."""
    sent = []

    def interrupt():
        try:
            with open("/proc/self/clear_refs", "w") as f:
                f.write("5")  # the peak (VmHWM) starts again from here
            resettable = True
        except OSError:
            resettable = False
        sent.append((time.monotonic(), _resident_kb("VmRSS"), resettable))
        send()

    timer = threading.Timer(after, interrupt)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        run()
    delay = time.monotonic() - sent[0][0]
    timer.join()
    growth = (_resident_kb("VmHWM") - sent[0][1]) / 1024 if sent[0][2] else None
    return delay, growth


def flowing_data():
    """Dense random transactions whose frequent itemsets come by the million: a run that keeps them
    hands results to Python as fast as it can take them."""
    rng = random.Random(1)
    return [[j for j in range(60) if rng.random() < 0.5] for _ in range(1000)]


@pytest.mark.parametrize("kind", ["all, 1 thread", "all, 2 threads", "closed", "maximal", "rules"])
def test_interrupt_while_results_flow(kind):
    data = flowing_data()
    run = {
        "all, 1 thread": lambda: zub.frequent_itemsets(data, 5, "all", threads=1),
        "all, 2 threads": lambda: zub.frequent_itemsets(data, 5, "all", threads=2),
        "closed": lambda: zub.frequent_itemsets(data, 5, "closed", threads=2),
        "maximal": lambda: zub.frequent_itemsets(data, 5, "maximal", threads=2),
        "rules": lambda: zub.association_rules(data, 5, 0.0, threads=2),
    }[kind]
    # A real SIGINT through Python's handler, as Ctrl-C sends it, and interrupt_main.
    send = (lambda: os.kill(os.getpid(), signal.SIGINT)) if "1 thread" in kind else _thread.interrupt_main
    delay, growth = _interrupted(run, 1.0, send)
    # Within 0.5 s on a quiet machine; the bound leaves room for a loaded one.
    assert delay < 2.0, f"KeyboardInterrupt came {delay:.2f} s after the signal"
    # The hand-off holds a few chunks of 4096 results: after the signal the
    # process takes on little more (before, the whole backlog: gigabytes).
    if growth is not None:
        assert growth < 200, f"the peak resident memory grew by {growth:.0f} MB after the signal"
    assert len(zub.frequent_itemsets([["a", "b"], ["a"]], 1, "all")) == 3


@pytest.mark.parametrize("threads", [1, 2])
def test_progress_reports_on_every_number_of_threads(threads, capsys):
    """A callable gets zub.Progress reports of a long run, the mining counted
    by positions on one thread and by units on several; progress=True prints
    them on standard error, and without it nothing is printed."""
    rng = random.Random(3)
    data = [[j for j in range(60) if rng.random() < 0.5] for _ in range(1000)]
    reports = []
    stop_after = 3

    def keep(report):
        reports.append(report)
        if report.phase == "mining" and len(reports) >= stop_after:
            raise RuntimeError("enough reports")

    with pytest.raises(RuntimeError, match="enough reports"):
        zub.frequent_itemsets(data, 5, "all", min_len=60, threads=threads, progress=keep)
    mining = [r for r in reports if r.phase == "mining"]
    assert mining and all(isinstance(r, zub.Progress) for r in reports)
    assert all(r.units == (threads > 1) for r in mining)
    assert all(b.seconds >= a.seconds for a, b in zip(reports, reports[1:]))
    capsys.readouterr()
    zub.frequent_itemsets(data[:300], 5, "maximal", max_len=2, threads=threads)
    assert capsys.readouterr().err == ""
    with pytest.raises(TypeError):
        zub.frequent_itemsets(data, 5, progress="yes")
