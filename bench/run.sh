#!/usr/bin/env bash
# Benchmark of zub on the public datasets: builds Release, runs every cell 5
# times (in rounds over the cells) with the itemsets written to a file in
# /tmp and once without an output file, and prints median wall time,
# processor time, peak resident memory and the itemset count. Fails when a
# count differs from the agreed one. Then the scale series: T10I4D100K
# repeated k times at MINSUP 10k.
#
# usage: bench/run.sh [RUNS]     (data from $ZUB_DATA_DIR, default ../shared/data)
# Not part of CI: it takes a few minutes and wants a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-5}
data=${ZUB_DATA_DIR:-$root/../shared/data}
[ -d "$data" ] || { echo "bench/run.sh: no datasets at $data" >&2; exit 2; }
command -v /usr/bin/time >/dev/null || { echo "bench/run.sh: needs /usr/bin/time" >&2; exit 2; }

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZUB_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j2 >/dev/null
zub=$root/build-bench/zub
work=$(mktemp -d /tmp/zub-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT

# median of the numbers on standard input
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

# measure FILE MINSUP [OUT]: one run; prints "wall cpu rss_kb"
measure() {
  (cd "$work" && /usr/bin/time -f "%e %U %S %M" -o "$work/t" "$zub" "$1" "$2" ${3:+"$3"} >/dev/null)
  awk '{printf "%s %.2f %s\n", $1, $2 + $3, $4}' "$work/t"
}
# reported C WANT: notes cell C's run as wrong unless its run report counted WANT itemsets
reported() {
  [ "$(grep '^MFI: ' "$work/testfile.txt" | tail -1 | cut -d' ' -f2)" = "$2" ] || echo wrong >>"$work/wrong$1"
}

cells=(
  "chess.dat 1200 52056"
  "chess.dat 1000 114382"
  "mushroom.dat 100 5776"
  "retail.dat 10 62996"
  "T10I4D100K.dat 10 127264"
)
echo "machine: $(nproc) cores, $(uname -m), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
# Rounds over all cells rather than all runs of one cell in a row: a host
# that slows down for a minute then moves every cell a little instead of
# one cell a lot.
failed=0
for round in $(seq "$runs"); do
  for c in "${!cells[@]}"; do
    read -r file minsup want <<<"${cells[$c]}"
    measure "$data/$file" "$minsup" "$work/out$c" >>"$work/runs$c"
    reported "$c" "$want"
  done
done
printf '%-16s %7s %9s %9s %9s %12s %11s %9s\n' data MINSUP wall_s cpu_s rss_MB nofile_wall_s itemsets check
for c in "${!cells[@]}"; do
  read -r file minsup want <<<"${cells[$c]}"
  wall=$(cut -d' ' -f1 "$work/runs$c" | median)
  cpu=$(cut -d' ' -f2 "$work/runs$c" | median)
  rss=$(cut -d' ' -f3 "$work/runs$c" | median)
  got=$(wc -l <"$work/out$c")
  nofile=$(measure "$data/$file" "$minsup" | cut -d' ' -f1)
  reported "$c" "$want"
  check=ok
  if [ "$got" != "$want" ] || [ -s "$work/wrong$c" ]; then check="WRONG($want)"; failed=1; fi
  printf '%-16s %7s %9s %9s %9.1f %12s %11s %9s\n' "$file" "$minsup" "$wall" "$cpu" "$(echo "$rss / 1024" | bc -l)" \
    "$nofile" "$got" "$check"
done

echo
echo "scale: T10I4D100K.dat repeated k times, MINSUP 10k"
printf '%4s %12s %9s %9s %9s %12s %16s\n' k transactions wall_s cpu_s rss_MB itemsets s_per_M_trans
base=""
for k in 1 2 4 8 16; do
  db=$work/t10x$k.dat
  for _ in $(seq "$k"); do cat "$data/T10I4D100K.dat"; done >"$db"
  minsup=$((10 * k))
  : >"$work/runs"
  for _ in $(seq "$runs"); do measure "$db" "$minsup" "$work/out" >>"$work/runs"; done
  wall=$(cut -d' ' -f1 "$work/runs" | median)
  cpu=$(cut -d' ' -f2 "$work/runs" | median)
  rss=$(cut -d' ' -f3 "$work/runs" | median)
  # The same itemsets, each with k times the support of one copy.
  sorted=$(awk -v k="$k" '{ s = $NF; gsub(/[()]/, "", s); $NF = (s % k == 0) ? "(" s / k ")" : "(not a multiple)"; print }' \
    "$work/out" | sort | md5sum | cut -c1-12)
  [ -n "$base" ] || base=$sorted
  same=$([ "$sorted" = "$base" ] && echo "" || echo " DIFFERENT")
  [ -z "$same" ] || failed=1
  trans=$((100000 * k))
  printf '%4s %12s %9s %9s %9.1f %12s %16.3f%s\n' "$k" "$trans" "$wall" "$cpu" "$(echo "$rss / 1024" | bc -l)" \
    "$(wc -l <"$work/out")" "$(echo "$wall * 1000000 / $trans" | bc -l)" "$same"
  rm -f "$db"
done
exit $failed
