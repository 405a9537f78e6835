"""zub: frequent itemsets and association rules, mined in C++.

    >>> import pandas as pd, zub
    >>> baskets = [["bread", "milk"], ["bread", "butter", "milk"], ["beer", "bread"]]
    >>> zub.frequent_itemsets(baskets, 2, target="all")
    >>> zub.association_rules(baskets, 2, min_confidence=0.6)

Data may be a path to a transaction file (one transaction per line, item ids
as decimal integers; gzip files too; names=True for words, separator= for
fields such as "whole milk,bread"), an iterable of transactions (each an
iterable of hashable items), a pandas DataFrame of one-hot columns (bool or
0/1, dense or sparse) whose labels are the items, or a long DataFrame of
(transaction, item) rows with transaction= and item=.

association_rules() also takes the DataFrame that frequent_itemsets()
returned (target "all" or "closed"). plot_rules() and plot_itemsets() draw
them with matplotlib.

The mining runs in C++ without holding the GIL: other Python threads go on,
and Ctrl-C (KeyboardInterrupt) ends a run within a fraction of a second.
"""

import itertools
import collections
import numbers
import os
import sys
import threading
import time
import warnings
from fractions import Fraction

import numpy as np
import pandas as pd

from . import _zub

__all__ = ["frequent_itemsets", "association_rules", "plot_rules", "plot_itemsets"]
__version__ = "0.1.0"

_TARGETS = ("maximal", "closed", "all")


def frequent_itemsets(data, min_support, target="maximal", *, min_len=1, max_len=None, threads=None, names=None,
                      separator=None, header=False, transaction=None, item=None, progress=None):
    """The frequent itemsets of `data` as a DataFrame.

    Parameters
    ----------
    data : str, os.PathLike, iterable of iterables, or pandas.DataFrame
        A transaction file (plain or gzip), transactions of hashable items,
        one-hot columns (bool or 0/1, dense or sparse) labelled by item, or
        with `transaction` and `item` a long DataFrame of one (transaction,
        item) pair a row (rows of a transaction in any order).
        A 2-d NumPy array is refused (give it as a one-hot DataFrame).
    min_support : float or int
        A share of the transactions in (0, 1] (a float), or a count of
        transactions of at least 1 (an int). An itemset is frequent when at
        least that many transactions hold it; a share is rounded up to a
        count, exactly (0.07 of 100 transactions is 7).
    target : {"maximal", "closed", "all"}
        Maximal itemsets (no frequent proper superset), closed ones (no
        proper superset of the same support), or every frequent itemset.
    min_len, max_len : int, optional
        The itemsets' numbers of items. max_len also bounds the mining: the
        maximal itemsets are then those maximal among the frequent itemsets
        of at most max_len items, the closed ones the closed itemsets of at
        most max_len items.
    threads : int, optional
        Threads mining at once; None or 0: every core the process may use.
        The itemsets are the same for any number.
    names : bool, optional
        For a file: the items are words (runs of bytes other than blanks,
        tabs and commas), returned as str, not ids. A file of words read
        without it warns (and yields nothing). Implied by `separator`.
    separator : str, optional
        For a file: one character (such as "," or "\t") at which lines are
        split into fields, as CSV splits them (quoted fields, doubled
        quotes, blanks around a field trimmed); each field is one item
        name, inner blanks kept ("whole milk").
    header : bool
        For a file: its first line is no transaction.
    transaction, item : column labels, optional
        For a long DataFrame: the columns of the transaction and of the
        item (the usual sales table); both or neither. For a file, they
        choose the single layout (zub-mine --input single): a
        (transaction, item) pair a line, the fields split at `separator`
        (or at blanks, tabs and commas), the columns given as positions
        from 0 or, with header=True, as names of the header; the items
        come back as str.
    progress : bool or callable, optional
        True prints where the run is on standard error a few times a
        second (the reading passes, then positions or units mined and the
        itemsets found so far); a callable gets each report as a
        zub.Progress (phase, done, total, itemsets, seconds, units), on
        the calling thread. None or False: no reports.

    Returns
    -------
    pandas.DataFrame
        One row per itemset: ``support`` (the share of the transactions
        holding it, a float), ``itemsets`` (a frozenset of the items: the
        same objects as in `data`, the ids as ints for a file or the column
        labels for a DataFrame) and ``count`` (the number of transactions
        holding it). Rows come in the order the miner finds them; the same
        data, support and threads give the same order. ``attrs`` holds
        ``transactions`` (their number), ``target``, ``min_count`` (the
        minimum support as a count), ``min_len`` and ``max_len``, which
        association_rules() reads.

    Raises
    ------
    ValueError, TypeError
        For an argument out of range or of the wrong type.
    FileNotFoundError, IsADirectoryError, PermissionError
        When the file cannot be opened (these are OSErrors).
    OSError
        When the file cannot be read, or its contents are refused (an id
        above 2147483647, a name with a parenthesis).
    MemoryError
        When the memory runs out.
    """
    if target not in _TARGETS:
        raise ValueError(f'target must be "maximal", "closed" or "all", not {target!r}')
    args = _run_arguments(min_support, min_len, max_len, threads)
    source, items, layout = _source(data, names, separator, header, transaction, item)
    sets, counts, transactions, words = _zub.mine_itemsets(source, target, args.support, args.min_len, args.max_len,
                                                           args.threads, items, layout, _progress(progress))
    _warn_words(words)
    counts = counts.astype(np.int64)
    frame = pd.DataFrame({"support": _shares(counts, transactions), "itemsets": _objects(sets), "count": counts})
    frame.attrs.update(transactions=int(transactions), target=target, min_count=_min_count(args.support, transactions),
                       min_len=args.min_len, max_len=args.max_len or None)
    return frame


_MEASURES = ("antecedent support", "consequent support", "support", "confidence", "lift", "leverage", "conviction",
             "zhangs_metric", "jaccard", "certainty", "kulczynski")


def association_rules(data, min_support=None, min_confidence=None, *, metric=None, min_threshold=None, min_lift=None,
                      consequent_size=1, min_len=1, max_len=None, threads=None, names=None, separator=None,
                      header=False, transaction=None, item=None, progress=None):
    """The association rules X -> Y of `data`, or of a frame of itemsets, as a DataFrame.

    X and Y are non-empty and disjoint, X | Y is frequent, and the rule's
    confidence supp(X | Y) / supp(X) is at least `min_confidence` (and its
    lift at least `min_lift`, and its `metric` at least `min_threshold`).
    `min_confidence` and `min_lift` are compared exactly, as the shortest
    decimals of the floats given: 0.8 keeps a rule of confidence 4/5.

    Two forms:

    - ``association_rules(data, min_support, ...)`` mines the data (any
      form frequent_itemsets() takes) for its rules.
    - ``association_rules(itemsets, metric="lift", min_threshold=1.2)``
      takes the DataFrame that ``frequent_itemsets(..., target="all")`` or
      ``target="closed"`` returned (its ``attrs`` tell the number of
      transactions) and splits its itemsets, as the libraries of frequent
      itemsets in pandas do. Without zub's ``attrs`` the frame must hold
      every frequent itemset (columns ``support`` and ``itemsets``), the
      measures then from the shares.

    Parameters
    ----------
    data, min_support, threads, names, separator, header, transaction, item, progress
        As for frequent_itemsets(); `min_support` only for the first form.
    min_confidence : float, optional
        From 0 to 1. Default: 0.8 when no `metric` is given, else 0.
    metric : str, optional
        A column of the result (below) that must be at least
        `min_threshold` (default 0.8).
    min_lift : float, optional
        From 0; None: no minimum.
    consequent_size : 1 or "any"
        Rules with a consequent Y of one item, or of any number of items.
    min_len, max_len : int, optional
        The number of items of X | Y.

    Returns
    -------
    pandas.DataFrame
        One row per rule: ``antecedents`` and ``consequents`` (frozensets of
        the items), then the measures, with s() the share of the
        transactions holding a set:

        - ``antecedent support`` s(X), ``consequent support`` s(Y),
          ``support`` s(X | Y);
        - ``confidence`` s(X | Y) / s(X);
        - ``lift`` confidence / s(Y);
        - ``leverage`` s(X | Y) - s(X) s(Y);
        - ``conviction`` (1 - s(Y)) / (1 - confidence), inf at confidence 1;
        - ``zhangs_metric`` leverage / max(s(X | Y) (1 - s(X)),
          s(X) (s(Y) - s(X | Y))), 0 when that is 0;
        - ``jaccard`` s(X | Y) / (s(X) + s(Y) - s(X | Y));
        - ``certainty`` (confidence - s(Y)) / (1 - s(Y)), 0 when s(Y) is 1;
        - ``kulczynski`` (s(X | Y) / s(X) + s(X | Y) / s(Y)) / 2.

        The data form gives the same rows in the same order on any number
        of threads; the frame form gives its rules in the frame's order of
        itemsets.

    Raises
    ------
    As frequent_itemsets(); ValueError for a frame that cannot give every
    rule's supports (maximal itemsets, or closed ones cut by max_len).
    """
    if metric is not None and (not isinstance(metric, str) or metric not in _MEASURES):
        raise ValueError(f"metric must be one of {', '.join(_MEASURES)}, not {metric!r}")
    threshold = None
    if metric is not None or min_threshold is not None:
        threshold = _real(0.8 if min_threshold is None else min_threshold, "min_threshold")
        metric = metric or "confidence"
    if min_confidence is None:
        min_confidence = 0.0 if metric is not None else 0.8
    confidence = _real(min_confidence, "min_confidence")
    if not 0 <= confidence <= 1:
        raise ValueError(f"min_confidence must be from 0 to 1, not {min_confidence!r}")
    lift = 0.0 if min_lift is None else _real(min_lift, "min_lift")
    if not 0 <= lift <= 1e9:
        raise ValueError(f"min_lift must be from 0 to 1e9 (or None), not {min_lift!r}")
    if isinstance(consequent_size, str) and consequent_size == "any":
        any_consequent = True
    elif isinstance(consequent_size, numbers.Integral) and not isinstance(consequent_size, bool) \
            and consequent_size == 1:
        any_consequent = False
    else:
        raise ValueError(f'consequent_size must be 1 or "any", not {consequent_size!r}')
    if _is_itemset_frame(data):
        if min_support is not None:
            raise TypeError("a frame of itemsets is mined already: give no min_support "
                            "(metric= and min_threshold= choose the rules)")
        args = _run_arguments(1, min_len, max_len, threads)
        frame = _rules_of_frame(data, any_consequent, args.min_len, args.max_len)
        keep = frame["confidence"].to_numpy() >= confidence
        if min_lift is not None:
            keep &= frame["lift"].to_numpy() >= lift
        frame = frame[keep]
    else:
        if min_support is None:
            raise TypeError("association_rules() needs min_support to mine data "
                            "(or a DataFrame that frequent_itemsets() returned)")
        if metric == "confidence":
            confidence = max(confidence, min(max(threshold, 0.0), 1.0))
        elif metric == "lift":
            lift = max(lift, min(max(threshold, 0.0), 1e9))
        args = _run_arguments(min_support, min_len, max_len, threads)
        source, items, layout = _source(data, names, separator, header, transaction, item)
        columns, transactions, words = _zub.mine_rules(source, args.support, confidence, lift, any_consequent,
                                                       args.min_len, args.max_len, args.threads, items, layout,
                                                       _progress(progress))
        _warn_words(words)
        frame = _rule_frame(_objects(columns["antecedents"]), _objects(columns["consequents"]), columns["count"],
                            columns["antecedent count"], columns["consequent count"], transactions,
                            {k: columns[k] for k in ("confidence", "lift", "leverage", "conviction")})
    if threshold is not None:
        frame = frame[frame[metric].to_numpy() >= threshold]
    return frame.reset_index(drop=True)


def _rule_frame(antecedents, consequents, counts, antecedent_counts, consequent_counts, transactions, given=None):
    """The rules' DataFrame from their supports as counts (or shares, with transactions None)."""
    if transactions is None:
        s_xy, s_x, s_y = (np.asarray(c, dtype=np.float64) for c in (counts, antecedent_counts, consequent_counts))
    else:
        s_xy = _shares(counts, transactions)
        s_x = _shares(antecedent_counts, transactions)
        s_y = _shares(consequent_counts, transactions)
    given = given or {}
    with np.errstate(divide="ignore", invalid="ignore"):
        if transactions is not None and not given:
            # From the counts as the C++ rules compute them, so that both forms give the same doubles.
            c_xy, c_x, c_y = (np.asarray(c, dtype=np.float64) for c in (counts, antecedent_counts, consequent_counts))
            n = float(transactions)
            given = {"confidence": c_xy / c_x, "lift": c_xy * n / (c_x * c_y),
                     "leverage": c_xy / n - (c_x / n) * (c_y / n)}
            given["conviction"] = np.where(c_xy == c_x, np.inf, (1 - c_y / n) / (1 - given["confidence"]))
        confidence = given["confidence"] if "confidence" in given else s_xy / s_x
        lift = given["lift"] if "lift" in given else confidence / s_y
        leverage = given["leverage"] if "leverage" in given else s_xy - s_x * s_y
        conviction = given["conviction"] if "conviction" in given else \
            np.where(confidence >= 1, np.inf, (1 - s_y) / (1 - confidence))
        zhang_denominator = np.maximum(s_xy * (1 - s_x), s_x * (s_y - s_xy))
        zhang = np.where(zhang_denominator == 0, 0.0, (s_xy - s_x * s_y) / zhang_denominator)
        jaccard = s_xy / (s_x + s_y - s_xy)
        certainty = np.where(s_y >= 1, 0.0, (s_xy / s_x - s_y) / (1 - s_y))
        kulczynski = (s_xy / s_x + s_xy / s_y) / 2
    return pd.DataFrame({
        "antecedents": antecedents,
        "consequents": consequents,
        "antecedent support": s_x,
        "consequent support": s_y,
        "support": s_xy,
        "confidence": confidence,
        "lift": lift,
        "leverage": leverage,
        "conviction": conviction,
        "zhangs_metric": zhang,
        "jaccard": jaccard,
        "certainty": certainty,
        "kulczynski": kulczynski,
    })


def _is_itemset_frame(data):
    """Whether `data` is a frame of itemsets (as frequent_itemsets returns), not one-hot data."""
    return isinstance(data, pd.DataFrame) and "itemsets" in data.columns and "support" in data.columns \
        and (len(data) == 0 or isinstance(data["itemsets"].iloc[0], (frozenset, set)))


def _rules_of_frame(frame, any_consequent, min_len, max_len):
    """The rules of a frame of itemsets: every frequent itemset of at least two items split."""
    attrs = frame.attrs
    target = attrs.get("target", "all")
    transactions = attrs.get("transactions")
    if target not in ("all", "closed"):
        raise ValueError(f"the rules need the supports of every frequent itemset: give a frame of target "
                         f'"all" or "closed", not {target!r}')
    if attrs.get("min_len", 1) > 1 and target == "all":
        raise ValueError("a frame of itemsets cut by min_len lacks the supports of shorter ones: "
                         "mine it with min_len=1")
    if attrs.get("max_len") is not None and target == "closed":
        raise ValueError("closed itemsets cut by max_len lack the supports of longer ones: mine without max_len")
    sets = [frozenset(s) for s in frame["itemsets"]]
    if transactions is not None and "count" in frame.columns:
        values = [int(c) for c in frame["count"]]
    else:
        transactions = None  # shares only
        values = [float(v) for v in frame["support"]]
    support = dict(zip(sets, values))
    if target == "closed":
        # Every frequent itemset is a subset of a closed one; its support is
        # that of the closed itemsets holding it, the largest.
        support = {}
        for z, c in zip(sets, values):
            items = sorted(z, key=repr)
            for k in range(1, len(items) + 1):
                for subset in _combinations(items, k):
                    if support.get(subset, -1) < c:
                        support[subset] = c
        order = list(support)
    else:
        order = sets
    antecedents, consequents, s_xy, s_x, s_y = [], [], [], [], []
    for z in order:
        if len(z) < 2 or len(z) < min_len or (max_len and len(z) > max_len):
            continue
        items = sorted(z, key=repr)
        sizes = range(1, len(items)) if any_consequent else (1,)
        for k in sizes:
            for y in _combinations(items, k):
                x = z - y
                try:
                    sx, sy = support[x], support[y]
                except KeyError:
                    raise ValueError(f"the frame lacks the support of {set(x if x not in support else y)!r}: "
                                     "it must hold every frequent itemset") from None
                antecedents.append(x)
                consequents.append(y)
                s_xy.append(support[z])
                s_x.append(sx)
                s_y.append(sy)
    return _rule_frame(_objects(antecedents), _objects(consequents), s_xy, s_x, s_y, transactions)


def _combinations(items, k):
    """The subsets of k items, as frozensets."""
    return map(frozenset, itertools.combinations(items, k))


def _min_count(support, transactions):
    """The minimum support as a count: a share rounded up, exactly as the miner does."""
    if isinstance(support, int):
        return support
    share = Fraction(repr(support))
    return max(1, -((-share * transactions) // 1))


Progress = collections.namedtuple("Progress", "phase done total itemsets seconds units")
Progress.__doc__ = """Where a run is, as progress= callables get it: `phase` is "reading", "building" or
"mining"; `done` of `total` (0: not known) transactions read, or positions of the main tree mined
(units, when `units`, on several threads); `itemsets` found so far; `seconds` since the run began."""


def _progress(progress):
    """The callable the extension calls with each report's fields, or None."""
    if progress is None or progress is False:
        return None
    if progress is True:
        return _print_progress
    if not callable(progress):
        raise TypeError(f"progress must be True, False, None or a callable, not {type(progress).__name__}")
    return lambda *fields: progress(Progress(*fields))


def _print_progress(phase, done, total, itemsets, seconds, units):
    """progress=True: one line on standard error, rewritten in place on a terminal."""
    of = f"/{total}" if total else ""
    if phase == "mining":
        what = f"{'units' if units else 'positions'}, {itemsets} itemsets"
    else:
        what = "transactions"
    end = "\x1b[K" if sys.stderr.isatty() else "\n"
    sys.stderr.write(f"{chr(13) if sys.stderr.isatty() else ''}{phase}: {done}{of} {what}, {seconds:.1f} s{end}")
    sys.stderr.flush()


def _release_later(values):
    """Frees a long list of results of an interrupted run in a daemon thread, a slice at a time, so that
    KeyboardInterrupt is raised at once and the calling thread gets the GIL between slices."""

    def free():
        while values:
            del values[-32768:]
            time.sleep(0)  # lets the other threads have the GIL

    threading.Thread(target=free, name="zub-release", daemon=True).start()


def _warn_words(words):
    if words:
        warnings.warn("no item ids found; for items given as words use names=True (or separator=)", UserWarning,
                      stacklevel=3)


class _RunArguments:
    """The checked arguments every run takes, as the extension takes them."""

    __slots__ = ("support", "min_len", "max_len", "threads")


def _run_arguments(min_support, min_len, max_len, threads):
    """Checks the arguments every run takes; max_len None is 0 and threads None is 0 (every core)."""
    args = _RunArguments()
    args.support = _support(min_support)
    args.min_len = _count(min_len, "min_len", 1)
    args.max_len = 0 if max_len is None else _count(max_len, "max_len", 1)
    if args.max_len and args.min_len > args.max_len:
        raise ValueError(f"min_len {min_len} is above max_len {max_len}")
    args.threads = 0 if threads is None else _count(threads, "threads", 0)
    return args


def _support(min_support):
    """A share as a float in (0, 1], or a count as an int of at least 1."""
    if isinstance(min_support, numbers.Integral) and not isinstance(min_support, bool):
        return _count(min_support, "min_support as a count", 1)
    if isinstance(min_support, numbers.Real) and not isinstance(min_support, bool):
        share = float(min_support)
        if not 0 < share <= 1:
            raise ValueError(f"min_support as a share must be in (0, 1], not {min_support!r} "
                             "(give a count of transactions as an int)")
        return share
    raise TypeError(f"min_support must be a share (a float) or a count (an int), not {type(min_support).__name__}")


def _count(value, name, least):
    """An int from `least` to 2147483647 (not a bool)."""
    if not isinstance(value, numbers.Integral) or isinstance(value, bool):
        raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    if not least <= value <= 2147483647:
        raise ValueError(f"{name} must be from {least} to 2147483647, not {value}")
    return int(value)


def _real(value, name):
    """A real number (not a bool) as a float."""
    if not isinstance(value, numbers.Real) or isinstance(value, bool):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    return float(value)


def _source(data, names=None, separator=None, header=False, transaction=None, item=None):
    """What the extension mines, the items its ids stand for (None: the ids themselves, or the names read), and
    the layout of a file (None: ids)."""
    if (transaction is None) != (item is None):
        raise TypeError("give both transaction= and item= (the columns of a long DataFrame), or neither")
    if isinstance(data, (str, bytes, os.PathLike)):
        layout = _layout(names, separator, header)
        if transaction is not None:
            # The single layout: a (transaction, item) pair a line.
            layout = (True, separator or "", header, True, _file_column(transaction, header),
                      _file_column(item, header))
        return _path(data), None, layout
    if names is not None or separator is not None or header:
        raise TypeError("names=, separator= and header= go with a path to a file")
    if isinstance(data, pd.DataFrame):
        if transaction is not None:
            return _long(data, transaction, item) + (None,)
        return _one_hot(data) + (None,)
    if isinstance(data, np.ndarray) and data.ndim == 2:
        raise TypeError("a 2-d array is not taken as transactions; give a DataFrame of one-hot columns")
    ids, lengths, items = _zub.encode(data)
    return (ids, lengths), items, None


def _path(path):
    """The path as bytes, once Python has opened it: a missing file is FileNotFoundError, a directory
    IsADirectoryError, a file that may not be read PermissionError."""
    with open(path, "rb"):
        pass
    return os.fsencode(path)


def _file_column(column, header):
    """A column of a file in the single layout as the extension takes it: a position from 0 (an int) becomes
    the number from 1; a name (a str) needs the header."""
    if isinstance(column, numbers.Integral) and not isinstance(column, bool):
        if not 0 <= column < 999999999:
            raise ValueError(f"a column's position must be from 0, not {column}")
        return str(int(column) + 1)
    if isinstance(column, str) and column:
        if not header:
            raise ValueError(f"the column {column!r} is named by the header: give header=True (or its position)")
        if column.isdigit():
            raise ValueError(f"a column name of digits is read as a number: give the position {column!r} as an int")
        return column
    raise TypeError(f"a file's column is a position (an int from 0) or a header name (a str), not {column!r}")


def _layout(names, separator, header):
    """The layout of a file as the extension takes it: None for ids."""
    if names is not None and not isinstance(names, bool):
        raise TypeError(f"names must be True or False, not {type(names).__name__}")
    if not isinstance(header, bool):
        raise TypeError(f"header must be True or False, not {type(header).__name__}")
    if separator is not None:
        if not isinstance(separator, str) or len(separator.encode()) != 1 or separator in '"\r\n':
            raise ValueError(f"separator must be one ASCII character, not a quote or a line break, not {separator!r}")
        if names is False:
            raise ValueError("a separator splits names: it does not go with names=False")
    if not names and separator is None and not header:
        return None
    return (bool(names) or separator is not None, separator or "", header, False, "", "")


def _long(frame, transaction, item):
    """The transactions of a long DataFrame: one (transaction, item) pair a row, rows of a transaction anywhere."""
    for label in (transaction, item):
        if label not in frame.columns:
            raise KeyError(f"the DataFrame has no column {label!r}")
    t = frame[transaction]
    i = frame[item]
    if t.hasnans or i.hasnans:
        raise ValueError(f"the columns {transaction!r} and {item!r} must have no missing values")
    t_codes, _ = pd.factorize(t, sort=False)
    i_codes, items = pd.factorize(i, sort=False)
    order = np.argsort(t_codes, kind="stable")  # by transaction, as first seen; items in row order
    transactions = int(t_codes.max()) + 1 if len(t_codes) else 0
    lengths = np.bincount(t_codes, minlength=transactions).astype(np.uint32)
    return (np.ascontiguousarray(i_codes[order], dtype=np.int32), lengths), list(items)


def _one_hot(frame):
    """The transactions of a one-hot DataFrame: row r holds the items of the columns true in it."""
    items = list(frame.columns)
    if len(set(items)) != len(items):
        raise ValueError("the DataFrame's column labels (the items) must be distinct")
    if items and all(isinstance(t, np.dtype) and t.kind in "biuf" for t in frame.dtypes):
        # NumPy's bools and numbers: one array, whose true entries come row by row.
        values = frame.to_numpy()
        if not _is_one_hot(values):
            bad = next(j for j in range(len(items)) if not _is_one_hot(values[:, j]))
            _not_one_hot(items[bad])
        rows, columns = np.nonzero(values)
    else:
        rows, columns = _true_entries(frame, items)
    lengths = np.bincount(rows, minlength=len(frame)).astype(np.uint32)
    return (np.ascontiguousarray(columns, dtype=np.int32), lengths), items


def _true_entries(frame, items):
    """Rows and columns of the true entries, column by column, then put in row order."""
    rows, columns = [np.empty(0, dtype=np.int64)], [np.empty(0, dtype=np.int32)]
    for j, label in enumerate(items):
        true_rows = _true_rows(frame.iloc[:, j], label)
        rows.append(true_rows)
        columns.append(np.full(len(true_rows), j, dtype=np.int32))
    rows, columns = np.concatenate(rows), np.concatenate(columns)
    order = np.argsort(rows, kind="stable")  # by row, the columns of a row in order
    return rows[order], columns[order]


def _true_rows(column, label):
    """The positions of the true entries of one one-hot column; ValueError for any value but 0/1."""
    if column.hasnans:
        _not_one_hot(label)
    values = column.array
    fill = column.dtype.fill_value if isinstance(column.dtype, pd.SparseDtype) else None
    if fill is not None and not isinstance(fill, str) and fill == 0:
        # Sparse with false (0) left out: only the stored values can be true.
        stored = np.asarray(values.sp_values)
        _check_one_hot(stored, label)
        return values.sp_index.to_int_index().indices[stored != 0].astype(np.int64)
    dense = np.asarray(values)
    _check_one_hot(dense, label)
    return np.flatnonzero(dense)


def _check_one_hot(values, label):
    """ValueError unless every value is false/true or 0/1."""
    if not _is_one_hot(values):
        _not_one_hot(label)


def _is_one_hot(values):
    """Whether every value of a numpy array is false/true or 0/1."""
    if values.dtype == np.bool_:
        return True
    if values.dtype.kind in "iuf":
        return bool(((values == 0) | (values == 1)).all())
    return _is_zero_or_one(values)


def _not_one_hot(label):
    """Raises the ValueError for a column that is not one-hot."""
    raise ValueError(f"column {label!r} is not one-hot: give bool or 0/1 values (no missing values)")


def _is_zero_or_one(values):
    """Whether every object is True, False, 0 or 1 (missing values are not)."""
    try:
        return all(v is True or v is False or (not isinstance(v, bool) and v in (0, 1)) for v in values)
    except TypeError:
        return False


def _shares(counts, transactions):
    """The counts as shares of the transactions (0 when there are none)."""
    counts = np.asarray(counts, dtype=np.int64)
    return counts / transactions if transactions else np.zeros(len(counts))


def _objects(values):
    """A list as a 1-d object array (pandas would take a list of frozensets as one anyway)."""
    array = np.empty(len(values), dtype=object)
    array[:] = values
    return array


def plot_rules(rules, x="support", y="confidence", color="lift", *, ax=None, cmap="viridis", **scatter):
    """A scatter plot of rules: one point per rule at (rules[x], rules[y]), coloured by rules[color].

    The usual picture of rule mining tools: support against confidence,
    lift as the colour. `rules` is what association_rules() returned;
    x, y and color name any of its measure columns (color=None: one
    colour). Draws into `ax` (a new figure when None) and returns the
    matplotlib Axes; other keywords go to Axes.scatter. Needs matplotlib
    (Debian: python3-matplotlib).
    """
    from . import plot
    return plot.plot_rules(rules, x, y, color, ax=ax, cmap=cmap, **scatter)


def plot_itemsets(itemsets, *, axes=None):
    """Two panels for a frame of itemsets: the number of itemsets by length (bars) and the distribution of
    their supports (a histogram of the ``support`` column).

    `itemsets` is what frequent_itemsets() returned. Draws into `axes` (two
    matplotlib Axes; a new figure of two when None) and returns them.
    Needs matplotlib (Debian: python3-matplotlib).
    """
    from . import plot
    return plot.plot_itemsets(itemsets, axes=axes)
