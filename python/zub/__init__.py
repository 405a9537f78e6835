"""zub: frequent itemsets and association rules, mined in C++.

    >>> import pandas as pd, zub
    >>> baskets = [["bread", "milk"], ["bread", "butter", "milk"], ["beer", "bread"]]
    >>> zub.frequent_itemsets(baskets, 2, target="all")
    >>> zub.association_rules(baskets, 2, min_confidence=0.6)

Data may be a path to a transaction file (one transaction per line, item ids
as decimal integers; gzip files too), an iterable of transactions (each an
iterable of hashable items), or a pandas DataFrame of one-hot columns (bool
or 0/1, dense or sparse) whose labels are the items.

The mining runs in C++ without holding the GIL: other Python threads go on,
and Ctrl-C (KeyboardInterrupt) ends a run within a fraction of a second.
"""

import numbers
import os

import numpy as np
import pandas as pd

from . import _zub

__all__ = ["frequent_itemsets", "association_rules"]
__version__ = "0.1.0"

_TARGETS = ("maximal", "closed", "all")


def frequent_itemsets(data, min_support, target="maximal", *, min_len=1, max_len=None, threads=None):
    """The frequent itemsets of `data` as a DataFrame.

    Parameters
    ----------
    data : str, os.PathLike, iterable of iterables, or pandas.DataFrame
        A transaction file (plain or gzip), transactions of hashable items,
        or one-hot columns (bool or 0/1, dense or sparse) labelled by item.
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

    Returns
    -------
    pandas.DataFrame
        One row per itemset: ``support`` (the share of the transactions
        holding it, a float), ``itemsets`` (a frozenset of the items: the
        same objects as in `data`, the ids as ints for a file or the column
        labels for a DataFrame) and ``count`` (the number of transactions
        holding it). Rows come in the order the miner finds them; the same
        data, support and threads give the same order.

    Raises
    ------
    ValueError, TypeError
        For an argument out of range or of the wrong type.
    OSError
        When the file cannot be opened or read.
    MemoryError
        When the memory runs out.
    """
    if target not in _TARGETS:
        raise ValueError(f'target must be "maximal", "closed" or "all", not {target!r}')
    args = _run_arguments(min_support, min_len, max_len, threads)
    source, items = _source(data)
    sets, counts, transactions = _zub.mine_itemsets(source, target, args.support, args.min_len, args.max_len,
                                                    args.threads, items)
    counts = counts.astype(np.int64)
    return pd.DataFrame({"support": _shares(counts, transactions), "itemsets": _objects(sets), "count": counts})


def association_rules(data, min_support, min_confidence=0.8, *, min_lift=None, consequent_size=1, min_len=1,
                      max_len=None, threads=None):
    """The association rules X -> Y of `data` as a DataFrame.

    X and Y are non-empty and disjoint, X | Y is frequent, and the rule's
    confidence supp(X | Y) / supp(X) is at least `min_confidence` (and its
    lift at least `min_lift`). Thresholds are compared exactly, as the
    shortest decimals of the floats given: 0.8 keeps a rule of confidence 4/5.

    Parameters
    ----------
    data, min_support, threads
        As for frequent_itemsets().
    min_confidence : float
        From 0 to 1.
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
        the items), ``support`` (the share of the transactions holding
        X | Y), ``confidence``, ``lift`` (confidence / share of Y),
        ``leverage`` (share of X | Y - share of X * share of Y) and
        ``conviction`` ((1 - share of Y) / (1 - confidence); inf at
        confidence 1). The same data and thresholds give the same rows in
        the same order on any number of threads.

    Raises
    ------
    As frequent_itemsets().
    """
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
    args = _run_arguments(min_support, min_len, max_len, threads)
    source, items = _source(data)
    columns, transactions = _zub.mine_rules(source, args.support, confidence, lift, any_consequent, args.min_len,
                                            args.max_len, args.threads, items)
    return pd.DataFrame({
        "antecedents": _objects(columns["antecedents"]),
        "consequents": _objects(columns["consequents"]),
        "support": _shares(columns["count"], transactions),
        "confidence": columns["confidence"],
        "lift": columns["lift"],
        "leverage": columns["leverage"],
        "conviction": columns["conviction"],
    })


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


def _source(data):
    """What the extension mines, and the items its ids stand for (None: the ids themselves)."""
    if isinstance(data, (str, bytes, os.PathLike)):
        path = os.fsencode(data)
        if b"\0" in path:  # as open() refuses it; the C side would read the part before the NUL
            raise ValueError(f"embedded null byte in the path {data!r}")
        return path, None
    if isinstance(data, pd.DataFrame):
        return _one_hot(data)
    if isinstance(data, np.ndarray) and data.ndim == 2:
        raise TypeError("a 2-d array is not taken as transactions; give a DataFrame of one-hot columns")
    ids, lengths, items = _zub.encode(data)
    return (ids, lengths), items


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
