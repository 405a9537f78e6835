#!/usr/bin/env bash
# Installs with apt-get the Debian packages that building and testing zub
# need and this machine lacks: zlib (gzip input), GoogleTest and Google
# Benchmark, and for the Python module pybind11, Python's headers, numpy,
# pandas, pytest, setuptools, pip and venv, matplotlib for the plots, and
# Open MPI for zub-mine-mpi. Does nothing when all are there.
set -euo pipefail
packages=(zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev pybind11-dev python3-dev python3-numpy
          python3-pandas python3-pytest python3-setuptools python3-pip python3-venv python3-matplotlib
          libopenmpi-dev openmpi-bin)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "tools/deps.sh: installing ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
