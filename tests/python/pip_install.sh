#!/usr/bin/env bash
# python3 -m pip install --no-build-isolation --no-index of a copy of the
# source tree, into a fresh virtual environment that sees Debian's packages
# (numpy, pandas, setuptools); then the installed module mines the sample.
# usage: pip_install.sh PYTHON SOURCE_DIR
set -euo pipefail
python=$1
source=$2
work=$(mktemp -d /tmp/zub-pip.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
(cd "$source" && cp -r CMakeLists.txt README.md pyproject.toml setup.py setup.cfg cmake include man python src \
   "$work/src/")
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install -q --no-build-isolation --no-index "$work/src"
cd "$work"
"$work/venv/bin/python" - "$source/examples/sample.dat" "$work/venv" <<'PY'
import sys
import zub
assert zub.__file__.startswith(sys.argv[2]), zub.__file__
frame = zub.frequent_itemsets(sys.argv[1], 8)
assert len(frame) == 20 and frame["count"].min() >= 8, frame
print("installed", zub.__file__, "found", len(frame), "itemsets")
PY
