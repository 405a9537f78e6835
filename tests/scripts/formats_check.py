"""zub-mine's CSV and JSON lines read back with Python's csv and json modules.

On random databases of ids and of names (with quotes, backslashes, UTF-8
and bytes that are not UTF-8), for every target: the rows of --format csv
and the objects of --format json hold the itemsets and supports of the
plain lines, with the share support / transactions; --sort-items puts each
itemset's items in ascending id (or name byte) order.

usage: formats_check.py ZUB_MINE [DATABASES]   (default 40)
"""
import csv
import io
import json
import random
import subprocess
import sys
import tempfile

MINE = sys.argv[1]
DATABASES = int(sys.argv[2]) if len(sys.argv) > 2 else 40
WORDS = [b"milk", b'"bread"', b"caf\xc3\xa9", b"back\\slash", b"\xff\xferaw", b"x'y", b"\xe2\x82\xac", b"tab\x01"]


def run(args, db):
    return subprocess.run([MINE, "--threads", "1", *args, db, "2"], capture_output=True, check=True).stdout


def plain_itemsets(out):
    """{(frozenset of items as bytes, support)} of plain lines."""
    found = set()
    for line in out.splitlines():
        items, _, support = line.rpartition(b" (")
        found.add((frozenset(items.split()), int(support[:-1])))
    return found


def decode_like_zub(b):
    """A name as zub writes it in JSON: UTF-8 kept, other bytes as Latin-1."""
    out, k = [], 0
    while k < len(b):
        for n in (4, 3, 2):
            try:
                ch = b[k:k + n].decode("utf-8")
            except UnicodeDecodeError:
                continue
            if len(ch) == 1:
                out.append(ch)
                k += n
                break
        else:
            out.append(chr(b[k]))
            k += 1
    return "".join(out)


NAME_OF_JSON = {decode_like_zub(w): w for w in WORDS}


def check(db, names, transactions):
    base = ["--names"] if names else []
    for target in ("maximal", "closed", "all"):
        args = base + ["--target", target]
        expected = plain_itemsets(run(args, db))
        # Plain lines with sorted items.
        out = run(args + ["--sort-items"], db)
        for line in out.splitlines():
            items = line.rpartition(b" (")[0].split()
            keys = items if names else [int(x) for x in items]
            assert keys == sorted(keys), line
        assert plain_itemsets(out) == expected, target
        # CSV: a header, then items (blank-separated), support, share.
        text = run(args + ["--format", "csv"], db).decode("utf-8", "surrogateescape")
        rows = list(csv.reader(io.StringIO(text, newline="")))
        assert rows[0] == ["items", "support", "share"], rows[0]
        got = set()
        for items, support, share in rows[1:]:
            assert float(share) == int(support) / transactions, (share, support)
            got.add((frozenset(i.encode("utf-8", "surrogateescape") for i in items.split(" ")), int(support)))
        assert got == expected, (target, "csv", got ^ expected)
        # JSON Lines: items (numbers, or strings for names), support, share.
        got = set()
        for line in run(args + ["--format", "json", "--sort-items"], db).splitlines():
            obj = json.loads(line)
            assert list(obj) == ["items", "support", "share"], obj
            assert obj["share"] == obj["support"] / transactions, obj
            if names:
                raw = [NAME_OF_JSON[s] for s in obj["items"]]
            else:
                assert all(isinstance(i, int) for i in obj["items"]), obj
                raw = obj["items"]
            assert raw == sorted(raw), obj
            got.add((frozenset(r if names else str(r).encode() for r in raw), obj["support"]))
        assert got == expected, (target, "json", got ^ expected)


def main():
    rng = random.Random(7)
    with tempfile.TemporaryDirectory() as d:
        for seed in range(DATABASES):
            names = seed % 2 == 1
            n = rng.randint(3, 25)
            pool = WORDS if names else [str(x).encode() for x in range(12)]
            lines = [b" ".join(rng.sample(pool, rng.randint(0, 5))) for _ in range(n)]
            db = f"{d}/db{seed}"
            with open(db, "wb") as f:
                f.write(b"\n".join(lines) + b"\n")
            check(db, names, n)
    print(f"formats: {DATABASES} databases, every target, csv and json read back")


main()
