"""What the tests of the Python module share: random transactions, a
brute-force miner to check zub against, and zub-mine's own output."""

import csv
import io
import itertools
import os
import pathlib
import random
import subprocess
from fractions import Fraction

import pytest

DATA_DIR = pathlib.Path(os.environ.get("ZUB_DATA_DIR", pathlib.Path(__file__).parents[3] / "shared" / "data"))


def random_transactions(seed, items=None):
    """Up to 30 transactions over up to 8 items (ints 0..7, or `items`), some empty, some with repeats."""
    rng = random.Random(seed)
    names = items if items is not None else list(range(8))
    universe = names[: rng.randint(1, len(names))]
    density = rng.uniform(0.2, 0.8)
    transactions = []
    for _ in range(rng.randint(1, 30)):
        t = [x for x in universe if rng.random() < density]
        if t and rng.random() < 0.2:
            t.append(rng.choice(t))  # an item repeated within a transaction counts once
        rng.shuffle(t)
        transactions.append(t)
    return transactions


def count_of(min_support, n):
    """The count a share stands for: the least count c with c / n >= share, exactly."""
    if isinstance(min_support, int):
        return min_support
    share = Fraction(repr(min_support))
    return max(1, -((-share * n) // 1))


def all_frequent(transactions, min_count):
    """{frozenset: support} of every frequent itemset, by trying every subset of the items."""
    sets = [frozenset(t) for t in transactions]
    items = sorted(set().union(*sets), key=repr) if sets else []
    found = {}
    for k in range(1, len(items) + 1):
        for combo in itertools.combinations(items, k):
            s = frozenset(combo)
            support = sum(1 for t in sets if s <= t)
            if support >= min_count:
                found[s] = support
    return found


def maximal_of(found):
    return {s: c for s, c in found.items() if not any(s < t for t in found)}


def closed_of(found):
    return {s: c for s, c in found.items() if not any(s < t and found[t] == c for t in found)}


def brute_force(transactions, min_support, target, min_len=1, max_len=None):
    """The itemsets zub's frequent_itemsets should return, as {frozenset: count}."""
    found = all_frequent(transactions, count_of(min_support, len(transactions)))
    short = {s: c for s, c in found.items() if max_len is None or len(s) <= max_len}
    # Maximal among the short itemsets; closed among all, then the short ones.
    picked = {"all": short, "maximal": maximal_of(short),
              "closed": {s: c for s, c in closed_of(found).items() if s in short}}[target]
    return {s: c for s, c in picked.items() if len(s) >= min_len}


def brute_force_rules(transactions, min_support, min_confidence, min_lift=None, any_consequent=False, max_len=None):
    """{(X, Y): (count, confidence)} of every rule, the thresholds compared exactly."""
    n = len(transactions)
    found = all_frequent(transactions, count_of(min_support, n))
    confidence = Fraction(repr(min_confidence))
    lift = Fraction(repr(min_lift)) if min_lift is not None else None
    rules = {}
    for z, sz in found.items():
        if len(z) < 2 or (max_len is not None and len(z) > max_len):
            continue
        for k in range(1, len(z)):
            for y in map(frozenset, itertools.combinations(z, len(z) - k)):
                if len(y) > 1 and not any_consequent:
                    continue
                x = z - y
                if Fraction(sz, found[x]) < confidence:
                    continue
                if lift is not None and Fraction(sz * n, found[x] * found[y]) < lift:
                    continue
                rules[(x, y)] = (sz, sz / found[x])
    return rules


def as_dict(frame):
    """{frozenset: count} of frequent_itemsets' rows; fails on a repeated itemset."""
    result = dict(zip(frame["itemsets"], frame["count"]))
    assert len(result) == len(frame), "an itemset is listed twice"
    return result


def zub_mine(*args):
    """zub-mine's CSV output for `args` (options, file, minsup), as a list of rows."""
    binary = os.environ.get("ZUB_MINE")
    if not binary:
        pytest.skip("ZUB_MINE (the zub-mine to compare with) is not set")
    out = subprocess.run([binary, "--format", "csv", *map(str, args)], check=True, capture_output=True, text=True)
    return list(csv.DictReader(io.StringIO(out.stdout)))


def dataset(name):
    path = DATA_DIR / name
    if not path.exists():
        pytest.skip(f"{path} is absent (the public benchmark datasets are not in this checkout)")
    return path
