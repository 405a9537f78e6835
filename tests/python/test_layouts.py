"""The analyst's inputs and habits: basket files of names with a separator,
long DataFrames of (transaction, item) rows, association_rules on a frame
of itemsets with metric= and min_threshold=, the new measures against their
definitions, and the warning for a file of words read without names."""

import math
import random
import warnings
from fractions import Fraction

import numpy as np
import pandas as pd
import pytest

import zub
from conftest import all_frequent, as_dict, brute_force, random_transactions

NAMES = ["whole milk", "crème brûlée", "rolls, buns", 'say "cheese"', "7", " x"]


def csv_field(name, rng):
    """A name as CSV writes it, quoted when it must be (and sometimes when not), blanks around it sometimes."""
    field = name
    if any(c in name for c in ',"') or name != name.strip() or rng.random() < 0.3:
        field = '"' + name.replace('"', '""') + '"'
    return (" " if rng.random() < 0.2 else "") + field + (" " if rng.random() < 0.2 else "")


@pytest.mark.parametrize("seed", range(12))
def test_separator_file_mines_as_the_lists(tmp_path, seed):
    rng = random.Random(seed)
    transactions = random_transactions(seed, NAMES)
    header = seed % 2 == 0
    lines = ["first,second"] if header else []
    lines += [",".join(csv_field(x, rng) for x in t) for t in transactions]
    path = tmp_path / "baskets.csv"
    path.write_text("\n".join(lines) + "\n", encoding="utf-8")
    target = ["all", "closed", "maximal"][seed % 3]
    # " x" is trimmed unless quoted: the names read are the stripped ones, but
    # for those quoted; compare with the names as the reader keeps them.
    got = zub.frequent_itemsets(path, 2, target, separator=",", header=header, threads=1)
    expected = zub.frequent_itemsets([[x for x in t] for t in transactions], 2, target, threads=1)
    stripped = {frozenset(x.strip() for x in s): c for s, c in as_dict(expected).items()}
    if not any(" x" in t for t in transactions):
        assert as_dict(got) == stripped
    assert got.attrs["transactions"] == len(transactions)
    assert all(isinstance(x, str) for s in got["itemsets"] for x in s)


def test_names_and_words_warning(tmp_path):
    path = tmp_path / "words.txt"
    path.write_text("milk bread\nbread beer milk\nmilk bread\n")
    with pytest.warns(UserWarning, match="names=True"):
        empty = zub.frequent_itemsets(path, 2)
    assert len(empty) == 0
    named = zub.frequent_itemsets(path, 2, names=True)
    assert as_dict(named) == {frozenset({"milk", "bread"}): 3}
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        zub.frequent_itemsets(path, 2, names=True)
    with pytest.raises(ValueError, match="separator"):
        zub.frequent_itemsets(path, 2, separator=",,")
    with pytest.raises(TypeError, match="path"):
        zub.frequent_itemsets([["a"]], 1, names=True)
    # Rules of a file of names.
    rules = zub.association_rules(path, 2, 0.5, names=True)
    assert set(zip(rules["antecedents"], rules["consequents"])) == {
        (frozenset({"milk"}), frozenset({"bread"})), (frozenset({"bread"}), frozenset({"milk"}))}


@pytest.mark.parametrize("seed", range(10))
def test_long_dataframe_mines_as_the_lists(seed):
    rng = random.Random(seed)
    transactions = random_transactions(seed, ["a", "b", 3, "d", 5.5, "f", "g", "h"])
    rows = [(f"order {k}", x) for k, t in enumerate(transactions) for x in t]
    rng.shuffle(rows)
    frame = pd.DataFrame(rows, columns=["order", "product"])
    frame["other"] = 1
    got = zub.frequent_itemsets(frame, 2, "all", transaction="order", item="product")
    # Transactions without items do not appear in a long table.
    expected = brute_force([t for t in transactions if t], 2, "all")
    assert as_dict(got) == expected


def test_long_dataframe_rejections():
    frame = pd.DataFrame({"order": [1, 1], "product": ["a", None]})
    with pytest.raises(ValueError, match="missing"):
        zub.frequent_itemsets(frame, 1, transaction="order", item="product")
    with pytest.raises(KeyError):
        zub.frequent_itemsets(frame, 1, transaction="order", item="sku")
    with pytest.raises(TypeError, match="both"):
        zub.frequent_itemsets(frame, 1, transaction="order")


def definitions(s_xy, s_x, s_y):
    """Every measure from its definition, in exact fractions (None: infinite)."""
    confidence = s_xy / s_x
    zhang_denominator = max(s_xy * (1 - s_x), s_x * (s_y - s_xy))
    return {
        "antecedent support": s_x, "consequent support": s_y, "support": s_xy,
        "confidence": confidence,
        "lift": confidence / s_y,
        "leverage": s_xy - s_x * s_y,
        "conviction": None if confidence == 1 else (1 - s_y) / (1 - confidence),
        "zhangs_metric": 0 if zhang_denominator == 0 else (s_xy - s_x * s_y) / zhang_denominator,
        "jaccard": s_xy / (s_x + s_y - s_xy),
        "certainty": 0 if s_y == 1 else (confidence - s_y) / (1 - s_y),
        "kulczynski": (s_xy / s_x + s_xy / s_y) / 2,
    }


@pytest.mark.parametrize("seed", range(25))
def test_measures_against_their_definitions(seed):
    transactions = random_transactions(2000 + seed)
    n = len(transactions)
    rules = zub.association_rules(transactions, 1, 0.0, consequent_size="any")
    found = all_frequent(transactions, 1)
    assert len(rules) == sum(2 ** len(z) - 2 for z in found if len(z) >= 2)
    for row in rules.itertuples(index=False):
        x, y = row[0], row[1]
        expected = definitions(Fraction(found[x | y], n), Fraction(found[x], n), Fraction(found[y], n))
        values = dict(zip(rules.columns[2:], row[2:]))
        for name, value in expected.items():
            if value is None:
                assert math.isinf(values[name]), name
            else:
                assert values[name] == pytest.approx(float(value), abs=1e-12), name


@pytest.mark.parametrize("seed", range(20))
def test_frame_form_against_the_data_form(seed):
    rng = random.Random(seed)
    transactions = random_transactions(3000 + seed, ["a", "b", "c", "d", "e", "f", "g", "h"])
    min_support = rng.choice([1, 2, 0.2])
    size = rng.choice([1, "any"])
    target = rng.choice(["all", "closed"])
    max_len = rng.choice([None, 3]) if target == "all" else None
    metric, threshold = rng.choice([("confidence", 0.6), ("lift", 1.1), ("jaccard", 0.3), ("certainty", 0.0),
                                    ("kulczynski", 0.5), ("zhangs_metric", 0.2), ("support", 0.1)])
    itemsets = zub.frequent_itemsets(transactions, min_support, target, max_len=max_len)
    from_frame = zub.association_rules(itemsets, metric=metric, min_threshold=threshold, consequent_size=size)
    from_data = zub.association_rules(transactions, min_support, metric=metric, min_threshold=threshold,
                                      consequent_size=size, max_len=max_len)
    assert list(from_frame.columns) == list(from_data.columns)

    def keyed(frame):
        return {(a, c): row for a, c, row in zip(frame["antecedents"], frame["consequents"],
                                                  frame.iloc[:, 2:].itertuples(index=False))}

    a, b = keyed(from_frame), keyed(from_data)
    assert a.keys() == b.keys()
    for key in a:
        assert np.allclose(np.array(a[key], dtype=float), np.array(b[key], dtype=float), rtol=1e-12, equal_nan=True)


def test_frame_form_refusals_and_shares_only():
    data = [["a", "b"], ["a", "b", "c"], ["a"], ["b", "c"]]
    with pytest.raises(ValueError, match="every frequent itemset"):
        zub.association_rules(zub.frequent_itemsets(data, 1))  # maximal
    with pytest.raises(ValueError, match="min_len"):
        zub.association_rules(zub.frequent_itemsets(data, 1, "all", min_len=2))
    with pytest.raises(TypeError, match="min_support"):
        zub.association_rules(zub.frequent_itemsets(data, 1, "all"), 1)
    with pytest.raises(ValueError, match="metric"):
        zub.association_rules(data, 1, metric="surprise")
    # A frame of another library: supports as shares, no attrs.
    itemsets = zub.frequent_itemsets(data, 1, "all")
    bare = pd.DataFrame({"support": itemsets["support"], "itemsets": itemsets["itemsets"]})
    ours = zub.association_rules(itemsets, metric="confidence", min_threshold=0.5)
    theirs = zub.association_rules(bare, metric="confidence", min_threshold=0.5)
    assert len(ours) == len(theirs) > 0
    assert np.allclose(ours["lift"], theirs["lift"])
    # min_confidence is 0.8 without a metric, as before.
    assert (zub.association_rules(data, 1)["confidence"] >= 0.8).all()


def test_single_layout_file(tmp_path):
    path = tmp_path / "sales.csv"
    path.write_text('store,order,product\ns,1,whole milk\ns,2,bread\ns,1,bread\ns,3,"whole milk"\ns,2, whole milk\n')
    expected = {frozenset({"whole milk"}): 3, frozenset({"bread"}): 2, frozenset({"bread", "whole milk"}): 2}
    by_name = zub.frequent_itemsets(path, 2, "all", separator=",", header=True, transaction="order", item="product")
    assert as_dict(by_name) == expected
    assert by_name.attrs["transactions"] == 3
    by_position = zub.frequent_itemsets(path, 2, "all", separator=",", header=True, transaction=1, item=2)
    assert as_dict(by_position) == expected
    with pytest.raises(ValueError, match="header=True"):
        zub.frequent_itemsets(path, 2, separator=",", transaction="order", item="product")
    with pytest.raises(OSError, match="no column"):
        zub.frequent_itemsets(path, 2, separator=",", header=True, transaction="order", item="sku")
