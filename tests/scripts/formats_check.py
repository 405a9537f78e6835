"""zub-mine's CSV and JSON lines read back with Python's csv and json modules.

On random databases of ids and of names (with quotes, backslashes, UTF-8
and bytes that are not UTF-8), for every target: the rows of --format csv
and the objects of --format json hold the itemsets and supports of the
plain lines, with the share support / transactions; --sort-items puts each
itemset's items in ascending id (or name byte) order. The same for the rules
of --target rules: antecedent, consequent, support and every measure, the
conviction null in JSON where the confidence is 1.

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


def plain_rules(out):
    """{(antecedent, consequent, support): (confidence, lift)} of plain rule lines."""
    found = {}
    for line in out.splitlines():
        items, _, measures = line.rpartition(b" (")
        tokens = items.split()
        arrow = tokens.index(b"->")
        support, confidence, lift = measures[:-1].split(b", ")
        key = (frozenset(tokens[:arrow]), frozenset(tokens[arrow + 1:]), int(support))
        assert key not in found, line
        found[key] = (float(confidence), float(lift))
    return found


def check_rules(db, names, transactions):
    args = (["--names"] if names else []) + ["--target", "rules", "--min-confidence", "0.3", "--consequent-size", "any"]
    expected = plain_rules(run(args, db))
    text = run(args + ["--format", "csv"], db).decode("utf-8", "surrogateescape")
    rows = list(csv.reader(io.StringIO(text, newline="")))
    assert rows[0] == ["antecedent", "consequent", "support", "share", "confidence", "lift", "leverage",
                       "conviction"], rows[0]
    got = {}
    for x, y, support, share, confidence, lift, leverage, conviction in rows[1:]:
        assert float(share) == int(support) / transactions, (share, support)
        assert (float(conviction) == float("inf")) == (float(confidence) == 1.0), rows
        side = lambda items: frozenset(i.encode("utf-8", "surrogateescape") for i in items.split(" "))
        got[(side(x), side(y), int(support))] = (float(confidence), float(lift))
    assert got == expected, ("csv rules", set(got) ^ set(expected))
    got = {}
    for line in run(args + ["--format", "json", "--sort-items"], db).splitlines():
        obj = json.loads(line)
        assert list(obj) == ["antecedent", "consequent", "support", "share", "confidence", "lift", "leverage",
                             "conviction"], obj
        assert obj["share"] == obj["support"] / transactions, obj
        assert (obj["conviction"] is None) == (obj["confidence"] == 1), obj
        sides = []
        for key in ("antecedent", "consequent"):
            raw = [NAME_OF_JSON[s] for s in obj[key]] if names else obj[key]
            assert raw == sorted(raw), obj
            sides.append(frozenset(r if names else str(r).encode() for r in raw))
        got[(sides[0], sides[1], obj["support"])] = (obj["confidence"], obj["lift"])
    assert got == expected, ("json rules", set(got) ^ set(expected))
    return len(expected)


def main():
    rng = random.Random(7)
    rules = 0
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
            rules += check_rules(db, names, n)
    assert rules > 100, f"only {rules} rules compared"
    print(f"formats: {DATABASES} databases, every target and {rules} rules, csv and json read back")


main()
