"""zub.plot_rules and zub.plot_itemsets, drawn with the Agg backend: the
plotted data (the points' coordinates and colours, the bars' heights, the
histogram's counts) must be the frame's columns. Pixels are not compared."""

import subprocess
import sys

import numpy as np
import pytest

matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import zub  # noqa: E402
from conftest import random_transactions  # noqa: E402


@pytest.fixture(autouse=True)
def close_figures():
    yield
    plt.close("all")


@pytest.mark.parametrize("seed", range(5))
def test_rule_points_are_the_frames_columns(seed):
    rules = zub.association_rules(random_transactions(seed), 1, 0.0, consequent_size="any")
    for x, y, color in [("support", "confidence", "lift"), ("lift", "leverage", "jaccard"),
                        ("antecedent support", "kulczynski", None)]:
        ax = zub.plot_rules(rules, x=x, y=y, color=color)
        (points,) = ax.collections
        assert np.array_equal(points.get_offsets(), np.column_stack([rules[x], rules[y]]))
        if color is not None:
            assert np.array_equal(points.get_array(), rules[color].to_numpy())
        assert ax.get_xlabel() == x and ax.get_ylabel() == y


def test_rules_into_given_axes_and_bad_columns():
    rules = zub.association_rules([["a", "b"], ["a", "b"], ["a"]], 1, 0.5)
    _, ax = plt.subplots()
    assert zub.plot_rules(rules, ax=ax, color=None) is ax
    with pytest.raises(ValueError, match="not a column"):
        zub.plot_rules(rules, x="surprise")


@pytest.mark.parametrize("seed", range(5))
def test_itemset_panels_are_the_frames_counts(seed):
    itemsets = zub.frequent_itemsets(random_transactions(100 + seed), 1, "all")
    by_length, shares = zub.plot_itemsets(itemsets)
    lengths = [len(s) for s in itemsets["itemsets"]]
    bars = {round(p.get_x() + p.get_width() / 2): p.get_height() for p in by_length.patches}
    assert bars == {k: lengths.count(k) for k in set(lengths)}
    heights = [p.get_height() for p in shares.patches]
    assert sum(heights) == len(itemsets)
    support = itemsets["support"].to_numpy()
    bins = np.geomspace(support.min(), support.max(), 31) if support.max() > 100 * support.min() else 30
    counts, _ = np.histogram(support, bins=bins)
    assert list(counts) == heights


def test_without_matplotlib_the_message_says_what_to_install():
    code = ("import sys; sys.modules['matplotlib'] = None; sys.modules['matplotlib.pyplot'] = None\n"
            "import zub\n"
            "rules = zub.association_rules([['a', 'b'], ['a', 'b']], 1, 0.5)\n"
            "try:\n    zub.plot_rules(rules)\nexcept ImportError as e:\n    print(e)\n")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    assert "python3-matplotlib" in out
