"""Plots of rules and itemsets with matplotlib, imported only when a plot is
asked for: zub itself does not need matplotlib."""

import numpy as np


def _pyplot():
    """matplotlib.pyplot, or ImportError with what to install."""
    try:
        import matplotlib.pyplot as plt
    except ImportError as e:
        raise ImportError("zub's plots need matplotlib: install it (Debian: apt-get install python3-matplotlib; "
                          "or pip install matplotlib)") from e
    return plt


def _column(frame, name, what):
    if name not in frame.columns:
        raise ValueError(f"{what} {name!r} is not a column of the frame (columns: {', '.join(map(str, frame.columns))})")
    return frame[name].to_numpy(dtype=np.float64)


def plot_rules(rules, x="support", y="confidence", color="lift", *, ax=None, cmap="viridis", **scatter):
    plt = _pyplot()
    xs = _column(rules, x, "x")
    ys = _column(rules, y, "y")
    if ax is None:
        _, ax = plt.subplots(figsize=(6.4, 4.8))
    if color is None:
        points = ax.scatter(xs, ys, **scatter)
    else:
        colors = _column(rules, color, "color")
        points = ax.scatter(xs, ys, c=colors, cmap=cmap, **scatter)
        ax.figure.colorbar(points, ax=ax, label=color)
    ax.set_xlabel(x)
    ax.set_ylabel(y)
    ax.set_title(f"{len(rules):,} rules")
    return ax


def plot_itemsets(itemsets, *, axes=None):
    plt = _pyplot()
    for name in ("itemsets", "support"):
        if name not in itemsets.columns:
            raise ValueError(f"the frame has no column {name!r}: give what frequent_itemsets() returned")
    if axes is None:
        _, axes = plt.subplots(1, 2, figsize=(10, 4))
    by_length, shares = axes
    lengths = np.fromiter((len(s) for s in itemsets["itemsets"]), dtype=np.int64, count=len(itemsets))
    values, counts = np.unique(lengths, return_counts=True)
    by_length.bar(values, counts)
    by_length.set_xlabel("items in the itemset")
    by_length.set_ylabel("itemsets")
    by_length.set_xticks(values)
    by_length.set_title(f"{len(itemsets):,} itemsets by length")
    support = itemsets["support"].to_numpy(dtype=np.float64)
    positive = support[support > 0]
    if len(positive) and positive.max() > 100 * positive.min():
        # Sparse data: most itemsets are rare; logarithmic bins show them.
        shares.hist(support, bins=np.geomspace(positive.min(), positive.max(), 31))
        shares.set_xscale("log")
        shares.set_yscale("log")
    else:
        shares.hist(support, bins=30)
    shares.set_xlabel("support (share of the transactions)")
    shares.set_ylabel("itemsets")
    shares.set_title("supports")
    return axes
