#!/usr/bin/env bash
# Before and after on a noisy machine: runs two zub programs alternately on
# the benchmark cells and prints, per cell, the median wall time, processor
# time and peak resident memory of each, and whether both wrote the same
# itemsets and the same run report (all but "Time:").
#
# usage: bench/compare.sh [-n RUNS] ZUB_A ZUB_B     (data from $ZUB_DATA_DIR, default ../shared/data)
#        ZUB_CELLS="retail.dat 10;chess.dat 1000" bench/compare.sh ...   (other cells)
#        ZUB_CELLS="chess.dat 1200 --target all" bench/compare.sh A/zub-mine B/zub-mine
# A cell is a file, MINSUP and options put before the file (for zub-mine);
# outputs that differ only in the order of their lines or of the items in a
# line count as the same.
# Exits 1 when the two differ in any itemset or counter. Not part of CI.
set -euo pipefail
cd "$(dirname "$0")/.."
runs=9
if [ "${1:-}" = "-n" ]; then runs=$2; shift 2; fi
[ $# -eq 2 ] || { echo "usage: bench/compare.sh [-n RUNS] ZUB_A ZUB_B" >&2; exit 2; }
a=$(realpath "$1")
b=$(realpath "$2")
data=$(realpath "${ZUB_DATA_DIR:-../shared/data}")
[ -d "$data" ] || { echo "bench/compare.sh: no datasets at $data" >&2; exit 2; }
command -v /usr/bin/time >/dev/null || { echo "bench/compare.sh: needs /usr/bin/time" >&2; exit 2; }
work=$(mktemp -d /tmp/zub-compare.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/a" "$work/b"

IFS=';' read -ra cells <<<"${ZUB_CELLS:-chess.dat 1200;chess.dat 1000;mushroom.dat 100;retail.dat 10;T10I4D100K.dat 10}"
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
# run SIDE PROGRAM FILE MINSUP [OPTIONS]: one run in the side's folder; appends "wall cpu rss_kb"
run() {
  local side=$1 program=$2 file=$3 minsup=$4
  shift 4
  (cd "$work/$side" && rm -f testfile.txt && touch testfile.txt &&
    /usr/bin/time -f "%e %U %S %M" -o t "$program" "$@" "$data/$file" "$minsup" out >/dev/null)
  awk '{printf "%s %.2f %s\n", $1, $2 + $3, $4}' "$work/$side/t" >>"$work/$side/runs"
}
# normal FILE: its lines with their items in ascending order, sorted
normal() { perl -lane '$s = pop @F; print join(" ", sort @F), " ", $s' "$1" | sort; }
# col SIDE FIELD: the median of one column of the side's runs
col() { cut -d' ' -f"$2" "$work/$1/runs" | median; }

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-16s %7s %15s %15s %17s %s\n' data MINSUP "wall_s A/B" "cpu_s A/B" "rss_MB A/B" output
differ=0
for cell in "${cells[@]}"; do
  read -r file minsup opts <<<"$cell"
  : >"$work/a/runs"
  : >"$work/b/runs"
  for _ in $(seq "$runs"); do
    # shellcheck disable=SC2086  # the options are words
    run a "$a" "$file" "$minsup" $opts
    # shellcheck disable=SC2086
    run b "$b" "$file" "$minsup" $opts
  done
  same=same
  if ! { cmp -s "$work/a/out" "$work/b/out" || cmp -s <(normal "$work/a/out") <(normal "$work/b/out"); } ||
     ! cmp -s <(grep -v '^Time:' "$work/a/testfile.txt" | tail -n +4) <(grep -v '^Time:' "$work/b/testfile.txt" | tail -n +4); then
    same=DIFFERENT
    differ=1
  fi
  printf '%-16s %7s%s %7s/%-7s %7s/%-7s %8.1f/%-8.1f %s\n' "$file" "$minsup" "${opts:+ $opts}" "$(col a 1)" "$(col b 1)" "$(col a 2)" "$(col b 2)" \
    "$(echo "$(col a 3) / 1024" | bc -l)" "$(echo "$(col b 3) / 1024" | bc -l)" "$same"
done
exit $differ
