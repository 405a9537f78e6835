#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own.

The layers of src/, from the bottom: each folder may include its own
headers and those of the folders below it, never one above. The public
header <zub/zub.h> belongs to the api layer.

usage: tools/check_layers.py [SOURCE_DIR]   (default: the src/ beside tools/)
"""
import os
import re
import sys

LAYERS = ["common", "memory", "io", "trees", "miners", "run", "rules", "api", ["driver", "python", "cluster"]]
RANK = {}
for rank, layer in enumerate(LAYERS):
    for name in layer if isinstance(layer, list) else [layer]:
        RANK[name] = rank
RANK["zub"] = RANK["api"]  # include/zub/zub.h
INCLUDE = re.compile(r'^\s*#\s*include\s+[<"]([a-z_]+)/[^">]+[">]', re.M)


def violations(src):
    found = []
    for folder in sorted(os.listdir(src)):
        path = os.path.join(src, folder)
        if not os.path.isdir(path):
            continue
        if folder not in RANK:
            found.append(f"{folder}/: a folder of no layer (add it to LAYERS in {sys.argv[0]})")
            continue
        for name in sorted(os.listdir(path)):
            if not name.endswith((".h", ".cpp")):
                continue
            with open(os.path.join(path, name), encoding="utf-8") as f:
                text = f.read()
            for included in INCLUDE.findall(text):
                if included in RANK and RANK[included] > RANK[folder]:
                    found.append(f"{folder}/{name} includes {included}/, a layer above {folder}/")
    return found


def main():
    src = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src")
    found = violations(src)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) against the layers: " + " < ".join(
            "/".join(l) if isinstance(l, list) else l for l in LAYERS))
        return 1
    print("layers: every include points down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
