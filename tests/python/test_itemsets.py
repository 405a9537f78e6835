"""zub.frequent_itemsets against a brute-force miner on random transactions,
for every form of data and every target, and against zub-mine on the
benchmark datasets (as a file, as ints and words in memory, and, where they
have few items, as dense and sparse one-hot DataFrames)."""

import gzip
import random

import numpy as np
import pandas as pd
import pytest

import zub
from conftest import as_dict, brute_force, dataset, random_transactions, zub_mine

TARGETS = ["maximal", "closed", "all"]
KINDS = ["bool", "int", "sparse-bool", "sparse-int", "mixed", "sparse-float", "sparse-true"]


def one_hot(transactions, items, kind):
    """A one-hot DataFrame of the transactions in one of the KINDS of columns."""
    rows = [[x in t for x in items] for t in map(set, transactions)]
    frame = pd.DataFrame(rows, columns=items, dtype=bool) if rows else pd.DataFrame(columns=items, dtype=bool)
    if kind in ("int", "sparse-int"):
        frame = frame.astype(np.int64)
    if kind == "sparse-bool":
        frame = frame.astype(pd.SparseDtype(bool, False))
    if kind == "sparse-int":
        frame = frame.astype(pd.SparseDtype(np.int64, 0))
    if kind == "sparse-float":  # pandas' default fill for floats is NaN: every value stored
        frame = frame.astype(np.float64).astype(pd.SparseDtype(np.float64))
    if kind == "sparse-true":  # true left out
        frame = frame.astype(pd.SparseDtype(bool, True))
    if kind == "mixed":  # a dense bool column next to sparse ones, labels of several types
        frame = frame.astype(pd.SparseDtype(bool, False))
        if items:
            frame[items[0]] = frame[items[0]].sparse.to_dense()
    return frame


@pytest.mark.parametrize("seed", range(60))
def test_every_form_and_target_agrees_with_brute_force(seed, tmp_path):
    rng = random.Random(seed)
    named = ["bread", "milk", ("pair", 1), 7, 2.5, "beer", frozenset({"x"}), None]
    transactions = random_transactions(seed, named if seed % 2 else None)
    min_support = rng.choice([1, 2, 3, 0.1, 0.25, 0.5])
    limits = rng.choice([{}, {"min_len": 2}, {"max_len": 2}, {"min_len": 2, "max_len": 3}])
    threads = rng.choice([None, 1, 2, 3])
    items = sorted({x for t in transactions for x in t}, key=repr)
    forms = {
        "lists": transactions,
        "generator": (iter(t) for t in transactions),
        "sets": [set(t) for t in transactions],
        "frame": one_hot(transactions, items, KINDS[seed % len(KINDS)]),
    }
    if seed % 2 == 0:  # ids: a file too, plain and gzip
        text = "".join(" ".join(map(str, t)) + "\n" for t in transactions)
        (tmp_path / "db").write_text(text)
        (tmp_path / "db.gz").write_bytes(gzip.compress(text.encode()))
        forms["path"] = str(tmp_path / "db")
        forms["gzip path"] = tmp_path / "db.gz"
    for target in TARGETS:
        expected = brute_force(transactions, min_support, target, **limits)
        for form, data in forms.items():
            if form == "generator":
                data = (iter(t) for t in transactions)
            frame = zub.frequent_itemsets(data, min_support, target, threads=threads, **limits)
            assert list(frame.columns) == ["support", "itemsets", "count"]
            assert as_dict(frame) == expected, f"{form}, {target}"
            n = len(transactions)
            assert np.allclose(frame["support"], frame["count"] / n if n else 0.0)


def test_items_are_the_objects_given_and_rows_repeat():
    class Item:
        def __init__(self, name):
            self.name = name

        def __hash__(self):
            return hash(self.name)

        def __eq__(self, other):
            return isinstance(other, Item) and other.name == self.name

    a, b, c = Item("a"), Item("b"), Item("c")
    frame = zub.frequent_itemsets([[a, b], [a, b, c], [a]], 2, "all")
    found = {s: n for s, n in zip(frame["itemsets"], frame["count"])}
    assert found == {frozenset({a}): 3, frozenset({b}): 2, frozenset({a, b}): 2}
    assert any(x is a for s in found for x in s)
    assert frame["count"].dtype == np.int64 and frame["support"].dtype == np.float64
    # The same data, support and threads give the same rows in the same order.
    rng = random.Random(5)
    data = [[rng.randrange(30) for _ in range(rng.randrange(12))] for _ in range(400)]
    first = zub.frequent_itemsets(data, 5, "closed", threads=2)
    assert first.equals(zub.frequent_itemsets(data, 5, "closed", threads=2))
    assert as_dict(first) == as_dict(zub.frequent_itemsets(data, 5, "closed", threads=1))


def test_empty_inputs_give_empty_frames():
    for data in ([], [[]], [[], []], pd.DataFrame(columns=["a", "b"], dtype=bool)):
        frame = zub.frequent_itemsets(data, 1)
        assert frame.empty and list(frame.columns) == ["support", "itemsets", "count"]
    assert zub.frequent_itemsets([[1, 2]], 2).empty


@pytest.mark.parametrize("name, minsup, target", [
    ("chess.dat", 2000, "maximal"),
    ("mushroom.dat", 1000, "closed"),
    ("retail.dat", 50, "all"),
    ("T10I4D100K.dat", 0.005, "maximal"),
])
def test_datasets_agree_with_zub_mine(name, minsup, target):
    path = dataset(name)
    rows = zub_mine("--target", target, path, f"{minsup * 100}%" if isinstance(minsup, float) else minsup)
    expected = {frozenset(map(int, r["items"].split())): int(r["support"]) for r in rows}
    frame = zub.frequent_itemsets(path, minsup, target)
    assert as_dict(frame) == expected
    # The same transactions from memory: ids as ints, and as words.
    with open(path) as f:
        lines = [line.split() for line in f]
    assert as_dict(zub.frequent_itemsets([map(int, t) for t in lines], minsup, target)) == expected
    words = zub.frequent_itemsets(lines, minsup, target)
    assert as_dict(words) == {frozenset(map(str, s)): n for s, n in expected.items()}
    items = sorted({int(x) for t in lines for x in t})
    if len(items) <= 200:  # and as a one-hot DataFrame, dense and sparse
        frame = one_hot([list(map(int, t)) for t in lines], items, "bool")
        assert as_dict(zub.frequent_itemsets(frame, minsup, target)) == expected
        sparse = frame.astype(pd.SparseDtype(bool, False))
        assert as_dict(zub.frequent_itemsets(sparse, minsup, target)) == expected
