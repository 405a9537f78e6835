"""Every rejected argument raises ValueError, TypeError or OSError with a
message that names it; none crashes the process."""

import os
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

import zub

DATA = [["a", "b"], ["a"]]


@pytest.mark.parametrize("call, error, message", [
    (lambda: zub.frequent_itemsets(DATA, 0), ValueError, "min_support as a count must be from 1"),
    (lambda: zub.frequent_itemsets(DATA, -3), ValueError, "min_support as a count"),
    (lambda: zub.frequent_itemsets(DATA, 2**40), ValueError, "2147483647"),
    (lambda: zub.frequent_itemsets(DATA, 0.0), ValueError, "share must be in (0, 1]"),
    (lambda: zub.frequent_itemsets(DATA, 1.5), ValueError, "give a count of transactions as an int"),
    (lambda: zub.frequent_itemsets(DATA, float("nan")), ValueError, "share must be in (0, 1]"),
    (lambda: zub.frequent_itemsets(DATA, "2"), TypeError, "min_support must be a share"),
    (lambda: zub.frequent_itemsets(DATA, True), TypeError, "min_support must be a share"),
    (lambda: zub.frequent_itemsets(DATA, 1, "frequent"), ValueError, 'target must be "maximal"'),
    (lambda: zub.frequent_itemsets(DATA, 1, min_len=0), ValueError, "min_len must be from 1"),
    (lambda: zub.frequent_itemsets(DATA, 1, max_len=0), ValueError, "max_len must be from 1"),
    (lambda: zub.frequent_itemsets(DATA, 1, min_len=3, max_len=2), ValueError, "min_len 3 is above max_len 2"),
    (lambda: zub.frequent_itemsets(DATA, 1, max_len=2.0), TypeError, "max_len must be an int"),
    (lambda: zub.frequent_itemsets(DATA, 1, threads=-1), ValueError, "threads must be from 0"),
    (lambda: zub.frequent_itemsets(["ab", "a"], 1), TypeError, "not a str"),
    (lambda: zub.frequent_itemsets([b"ab"], 1), TypeError, "not a bytes"),
    (lambda: zub.frequent_itemsets([1, 2], 1), TypeError, "not int"),
    (lambda: zub.frequent_itemsets(5, 1), TypeError, "must be an iterable of transactions"),
    # open() refuses them too; the part before the NUL would name another file.
    (lambda: zub.frequent_itemsets("/dev/null\0/etc/passwd", 1), ValueError, "embedded null byte"),
    (lambda: zub.association_rules(b"/dev/null\0", 1), ValueError, "embedded null byte"),
    (lambda: zub.frequent_itemsets([[["a"]]], 1), TypeError, "unhashable type: 'list'"),
    (lambda: zub.frequent_itemsets(np.zeros((2, 2), dtype=bool), 1), TypeError, "give a DataFrame"),
    (lambda: zub.frequent_itemsets(pd.DataFrame({"a": [1, 2]}), 1), ValueError, "column 'a' is not one-hot"),
    (lambda: zub.frequent_itemsets(pd.DataFrame({"a": [1.0, np.nan]}), 1), ValueError, "column 'a' is not one-hot"),
    (lambda: zub.frequent_itemsets(pd.DataFrame({"a": ["x", "y"]}), 1), ValueError, "column 'a' is not one-hot"),
    (lambda: zub.frequent_itemsets(pd.DataFrame({"a": pd.array([True, None], dtype="boolean")}), 1), ValueError,
     "column 'a' is not one-hot"),
    (lambda: zub.frequent_itemsets(pd.DataFrame([[1, 0]], columns=["a", "a"]), 1), ValueError, "must be distinct"),
    (lambda: zub.frequent_itemsets(pd.DataFrame({"a": pd.arrays.SparseArray([2, 0])}), 1), ValueError,
     "column 'a' is not one-hot"),
    (lambda: zub.association_rules(DATA, 1, 1.2), ValueError, "min_confidence must be from 0 to 1"),
    (lambda: zub.association_rules(DATA, 1, "high"), TypeError, "min_confidence must be a number"),
    (lambda: zub.association_rules(DATA, 1, min_lift=-1), ValueError, "min_lift must be from 0"),
    (lambda: zub.association_rules(DATA, 1, consequent_size=2), ValueError, 'consequent_size must be 1 or "any"'),
])
def test_rejected_arguments(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert message in str(raised.value)


def test_file_failures_are_os_errors(tmp_path):
    # Files that cannot be opened raise the OSError subclass of the reason, as open() does.
    with pytest.raises(FileNotFoundError, match="absent.dat"):
        zub.frequent_itemsets(tmp_path / "absent.dat", 1)
    with pytest.raises(FileNotFoundError, match="absent.dat"):
        zub.association_rules(str(tmp_path / "absent.dat"), 1)
    with pytest.raises(FileNotFoundError):
        zub.frequent_itemsets("", 1)
    with pytest.raises(IsADirectoryError):
        zub.frequent_itemsets(tmp_path, 1)
    locked = tmp_path / "locked.dat"
    locked.write_text("1 2\n")
    locked.chmod(0)
    if os.geteuid() != 0:  # root opens it anyway
        with pytest.raises(PermissionError):
            zub.frequent_itemsets(locked, 1)
    (tmp_path / "huge").write_text("1 99999999999\n")
    with pytest.raises(OSError, match="2147483647"):
        zub.frequent_itemsets(tmp_path / "huge", 1)
    bad = tmp_path / "bad.gz"
    bad.write_bytes(b"\x1f\x8b\x08\x00" + b"\x00" * 20)
    with pytest.raises(OSError):
        zub.frequent_itemsets(bad, 1)


def test_a_failed_run_leaves_the_module_usable():
    with pytest.raises(TypeError):
        zub.frequent_itemsets([["a"], [{}]], 1)
    assert len(zub.frequent_itemsets(DATA, 1, "all")) == 3


MEMORY_SCRIPT = """
import random, resource, sys
import zub
rng = random.Random(1)
data = [[j for j in range(40) if rng.random() < 0.6] for _ in range(300)]  # hundreds of millions of itemsets
with open("/proc/self/status") as f:
    size = next(int(line.split()[1]) for line in f if line.startswith("VmSize")) * 1024
resource.setrlimit(resource.RLIMIT_AS, (size + (int(sys.argv[1]) << 20), resource.RLIM_INFINITY))
try:
    zub.frequent_itemsets(data, 1, "all", threads=2)
    print("no MemoryError")
except MemoryError:
    pass
resource.setrlimit(resource.RLIMIT_AS, (resource.RLIM_INFINITY, resource.RLIM_INFINITY))
print(len(zub.frequent_itemsets([["a", "b"], ["a"]], 1, "all")))
"""


@pytest.mark.parametrize("megabytes", [30, 100, 300])
def test_memory_exhaustion_is_a_memory_error(megabytes):
    # In a process of its own, whose address space is limited: the run fails
    # in the miner, in the results it hands over or in the frozensets, and
    # the module goes on.
    done = subprocess.run([sys.executable, "-c", MEMORY_SCRIPT, str(megabytes)], capture_output=True, text=True,
                          timeout=60)  # a run left mining after the failure took minutes
    assert (done.returncode, done.stdout) == (0, "3\n"), done.stderr
