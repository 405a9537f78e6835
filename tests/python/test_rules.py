"""zub.association_rules against a brute force over every split of every
frequent itemset, and against zub-mine --target rules."""

import math
import random

import numpy as np
import pytest

import zub
from conftest import brute_force_rules, dataset, random_transactions, zub_mine

COLUMNS = ["antecedents", "consequents", "antecedent support", "consequent support", "support", "confidence", "lift",
           "leverage", "conviction", "zhangs_metric", "jaccard", "certainty", "kulczynski"]


def as_rules(frame):
    rules = {(x, y): (s, c) for x, y, s, c in
             zip(frame["antecedents"], frame["consequents"], frame["support"], frame["confidence"])}
    assert len(rules) == len(frame), "a rule is listed twice"
    return rules


@pytest.mark.parametrize("seed", range(40))
def test_rules_agree_with_brute_force(seed):
    rng = random.Random(seed)
    transactions = random_transactions(1000 + seed, ["a", "b", "c", 4, 5, ("t",), "g", "h"] if seed % 2 else None)
    n = len(transactions)
    min_support = rng.choice([1, 2, 0.2])
    confidence = rng.choice([0.0, 0.5, 0.8, 1.0, 2 / 3])
    lift = rng.choice([None, 1.0, 1.25])
    size = rng.choice([1, "any"])
    max_len = rng.choice([None, 2, 3])
    data = transactions if seed % 3 else (set(t) for t in transactions)
    frame = zub.association_rules(data, min_support, confidence, min_lift=lift, consequent_size=size,
                                  max_len=max_len, threads=rng.choice([None, 1, 2]))
    assert list(frame.columns) == COLUMNS
    expected = brute_force_rules(transactions, min_support, confidence, lift, size == "any", max_len)
    got = as_rules(frame)
    assert got.keys() == expected.keys()
    for rule, (share, conf) in got.items():
        count, expected_conf = expected[rule]
        assert share == pytest.approx(count / n) and conf == pytest.approx(expected_conf)
    # The measures hang together as their definitions say.
    y_share = np.array([sum(1 for t in transactions if y <= set(t)) / n for y in frame["consequents"]])
    assert np.allclose(frame["lift"], frame["confidence"] / y_share)
    x_share = frame["support"] / frame["confidence"]
    assert np.allclose(frame["leverage"], frame["support"] - x_share * y_share)
    finite = frame["confidence"] < 1
    assert np.allclose(frame["conviction"][finite], ((1 - y_share) / (1 - frame["confidence"]))[finite])
    assert all(math.isinf(c) for c in frame["conviction"][~finite])


@pytest.mark.parametrize("name, minsup, confidence", [("chess.dat", 2500, 0.9), ("retail.dat", 100, 0.5)])
def test_datasets_agree_with_zub_mine(name, minsup, confidence):
    path = dataset(name)
    rows = zub_mine("--target", "rules", "--min-confidence", confidence, path, minsup)
    expected = {(frozenset(map(int, r["antecedent"].split())), frozenset(map(int, r["consequent"].split()))):
                float(r["confidence"]) for r in rows}
    frame = zub.association_rules(str(path), minsup, confidence)
    got = dict(zip(zip(frame["antecedents"], frame["consequents"]), frame["confidence"]))
    assert got == expected
    # The same rows in the same order on any number of threads.
    assert frame.equals(zub.association_rules(path, minsup, confidence, threads=1))


@pytest.mark.parametrize("seed", range(8))
def test_all_measures_of_zub_mine_as_the_module_gives_them(tmp_path, seed):
    transactions = random_transactions(4000 + seed)
    path = tmp_path / "db"
    path.write_text("".join(" ".join(map(str, t)) + "\n" for t in transactions))
    rows = zub_mine("--target", "rules", "--min-confidence", 0, "--consequent-size", "any", "--all-measures",
                    path, 1)
    frame = zub.association_rules(path, 1, 0.0, consequent_size="any")
    assert len(rows) == len(frame)
    n = len(transactions)
    columns = {"antecedent_support": "antecedent support", "consequent_support": "consequent support",
               "zhangs_metric": "zhangs_metric", "jaccard": "jaccard", "certainty": "certainty",
               "kulczynski": "kulczynski"}
    for row, (_, want) in zip(rows, frame.iterrows()):
        assert frozenset(map(int, row["antecedent"].split())) == want["antecedents"]
        for cli, module in columns.items():
            value = float(row[cli]) / n if cli.endswith("_support") else float(row[cli])
            assert value == pytest.approx(want[module], abs=1e-12), cli
