"""Makes the README's pictures, docs/rules.png (the rules of chess.dat) and
docs/itemsets.png (the frequent itemsets of retail.dat), from the shared
datasets (../shared/data, or $ZUB_DATA_DIR), with zub.plot_rules and
zub.plot_itemsets.

usage: PYTHONPATH=build/python /usr/bin/python3 tools/make_plots.py [OUTDIR]

Needs matplotlib (Debian: python3-matplotlib). Takes a few seconds.
"""

import os
import pathlib
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

import zub  # noqa: E402

ROOT = pathlib.Path(__file__).resolve().parents[1]
DATA_DIR = pathlib.Path(os.environ.get("ZUB_DATA_DIR", ROOT.parent / "shared" / "data"))


def main():
    out = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else ROOT / "docs"
    out.mkdir(parents=True, exist_ok=True)
    chess, retail = DATA_DIR / "chess.dat", DATA_DIR / "retail.dat"
    for path in (chess, retail):
        if not path.exists():
            sys.exit(f"{path} is absent; set ZUB_DATA_DIR")
    rules = zub.association_rules(chess, 2600, 0.8, threads=1)
    ax = zub.plot_rules(rules, x="support", y="confidence", color="lift", s=4, alpha=0.6)
    ax.set_title(f"chess.dat: {len(rules):,} rules (support 2600, confidence 0.8)")
    ax.figure.tight_layout()
    ax.figure.savefig(out / "rules.png", dpi=72)
    plt.close(ax.figure)
    itemsets = zub.frequent_itemsets(retail, 50, "all", threads=1)
    axes = zub.plot_itemsets(itemsets)
    axes[0].figure.suptitle("retail.dat: every frequent itemset at support 50")
    axes[0].figure.tight_layout()
    axes[0].figure.savefig(out / "itemsets.png", dpi=72)
    plt.close(axes[0].figure)
    for name in ("rules.png", "itemsets.png"):
        print(out / name, (out / name).stat().st_size, "bytes")


if __name__ == "__main__":
    main()
