#!/usr/bin/env bash
# Benchmark of zub and zub-mine: builds Release, then runs the chosen
# sections and prints, per cell, median wall time, processor time, peak
# resident memory and the itemset count. Fails (exits 1) when a count differs
# from the agreed one.
#
# usage: bench/run.sh [RUNS] [SECTION...]   (RUNS default 5; sections default all, in this order)
#   data from $ZUB_DATA_DIR, default ../shared/data
#
# Sections:
#   zub      zub (maximal itemsets) on five cells of the public datasets, RUNS
#            times in rounds over the cells, the itemsets written to a file in
#            /tmp, plus once without an output file; the count is checked
#            against the itemset file and zub's run report.
#   targets  zub-mine --target maximal, closed and all on the public datasets
#            (with each worker count in $ZUB_THREADS, default "1", e.g. "1 2"),
#            RUNS times in rounds over the cells, the itemsets written to a
#            file in /tmp; the count is the file's lines. Writes a few million
#            itemsets on the largest cells.
#   parallel zub-mine on the cells of the parallel miners (maximal chess 1000,
#            retail 2, T10I4D100K 2; closed and all chess 1200 and
#            T10I4D100K 5), each with the worker counts in $ZUB_THREADS
#            (default "1 2"), the speed-up against the first.
#   rules    zub-mine --target rules (single-item consequents): retail 10 at
#            confidence 0.5, T10I4D100K 10 at 0.5, chess 2000 at 0.9, beside
#            --target closed on the same cell, each with the worker counts in
#            $ZUB_THREADS (default "1 2"), RUNS times in rounds; the rules
#            written to a file in /tmp, the count is its lines (WRONG too when
#            the bytes differ from the first count's), the speed-up against
#            the first count's median.
#            bench/rules_bench.cpp (Google Benchmark, built with the tests)
#            splits a cell into closed, all, rule generation and writing.
#   python   the Python module (built in build-bench-python with
#            -DZUB_PYTHON=ON) against zub-mine on retail 10 (maximal), on 1
#            and 2 threads: bench/python_bench.py with RUNS rounds.
#   wide     wide data: three lines over n ids ($ZUB_WIDE_N, default "40000
#            200000 1000000") in five shapes: halves (all ids, then each
#            half; MINSUP 1), twin (all ids twice, then two other ids; 2),
#            cut (all ids twice, then the first half; 2), halves2 (halves
#            at MINSUP 2), parity (all ids, the even ones, the odd ones;
#            2). zub and every
#            zub-mine target and method on each, with the worker counts in
#            $ZUB_THREADS (default "1 2"); all and rules with --max-len 1
#            (longer itemsets of all ids are 2^n). Median wall time and peak
#            resident memory of RUNS runs, each under 8 GiB of address space
#            and 10 minutes; the itemset count is checked.
#   scale    zub on T10I4D100K repeated k = 1, 2, 4, 8, 16 times at MINSUP
#            10k: time per million transactions as the file grows with the
#            same itemsets; checks that the itemsets stay those of one copy
#            with k times the support.
#   quest    zub on generated baskets (bench/gen_baskets.cpp, 200 patterns,
#            seed 1; with the default 2000 patterns hardly 60 items reach 2%
#            and the tree stays tiny, with 200 about 180 do and the tree grows
#            with the file): 10 million transactions are generated once in /tmp, then the
#            first 1, 2, 5 and 10 million are mined at 2% (MINSUP =
#            transactions / 50): time per million transactions on files from
#            40 MB to 400 MB. The heaviest section.
#   large    the reading of large files on several threads: the same generated
#            baskets (10 million, and 100 million with ZUB_LARGE_100M=1, a
#            4 GB file in /tmp), the first 1 and 10 (and 100) million at 2%:
#            zub-mine --stats on 1 thread (wall, reading, mining, peak memory,
#            seconds per million transactions), on 2 threads at 10 million
#            (speed-up of the reading and of the run); then zub_read_sim
#            (bench/read_sim.cpp) at 10 million: each step's processor time,
#            the counting pass's bytes per second per core, and the reading
#            planned for 2 to 16 threads from the measured pieces.
#   cluster  zub-mine-mpi (built in build-bench-mpi with -DZUB_MPI=ON) under
#            mpirun: the 10 million generated baskets of quest at 2%
#            (maximal, closed, all), mpirun -np 2 --threads 1 against zub-mine
#            --threads 1, RUNS times each in rounds, the whole run timed
#            (reading included), the outputs compared; then once for 1, 2
#            and 4 ranks (4 oversubscribed) each rank's units, positions
#            received, peak memory and bytes sent by round (--stats), with
#            the unit times and plans that bench/cluster_sim.cpp scales up;
#            then the bytes of the benchmark cells of the parallel section
#            on 2 and 4 ranks.
# Not part of CI: it takes a few minutes and wants a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
all_sections=(zub targets parallel rules python wide scale quest large cluster)
runs=5
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then runs=$1; shift; fi
sections=("$@")
[ ${#sections[@]} -gt 0 ] || sections=("${all_sections[@]}")
for s in "${sections[@]}"; do
  [[ " ${all_sections[*]} " == *" $s "* ]] ||
    { echo "bench/run.sh: unknown section \"$s\" (one of: ${all_sections[*]})" >&2; exit 2; }
done
data=${ZUB_DATA_DIR:-$root/../shared/data}
[ -d "$data" ] || { echo "bench/run.sh: no datasets at $data" >&2; exit 2; }
command -v /usr/bin/time >/dev/null || { echo "bench/run.sh: needs /usr/bin/time" >&2; exit 2; }

cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DZUB_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j2 >/dev/null
zub=$root/build-bench/zub
zub_mine=$root/build-bench/zub-mine
work=$(mktemp -d /tmp/zub-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0

# median of the numbers on standard input
median() { sort -g | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
# medians RUNS_FILE: "wall cpu rss_kb", each the median of its column
medians() {
  echo "$(cut -d' ' -f1 "$1" | median) $(cut -d' ' -f2 "$1" | median) $(cut -d' ' -f3 "$1" | median)"
}
mb() { echo "$1 / 1024" | bc -l; }

# timed PROGRAM ARGS...: one run in $work; prints "wall cpu rss_kb"
timed() {
  (cd "$work" && /usr/bin/time -f "%e %U %S %M" -o "$work/t" "$@" >/dev/null)
  awk '{printf "%s %.2f %s\n", $1, $2 + $3, $4}' "$work/t"
}
# measure FILE MINSUP [OUT]: one run of zub
measure() { timed "$zub" "$1" "$2" ${3:+"$3"}; }

# --- zub: maximal itemsets on the public datasets -----------------------------
# reported C WANT: notes cell C's run as wrong unless its run report counted WANT itemsets
reported() {
  [ "$(grep '^MFI: ' "$work/testfile.txt" | tail -1 | cut -d' ' -f2)" = "$2" ] || echo wrong >>"$work/wrong$1"
}
section_zub() {
  local cells=(
    "chess.dat 1200 52056"
    "chess.dat 1000 114382"
    "mushroom.dat 100 5776"
    "retail.dat 10 62996"
    "T10I4D100K.dat 10 127264"
  )
  local c file minsup want wall cpu rss got nofile check
  # Rounds over all cells rather than all runs of one cell in a row: a host
  # that slows down for a minute then moves every cell a little instead of
  # one cell a lot.
  for _ in $(seq "$runs"); do
    for c in "${!cells[@]}"; do
      read -r file minsup want <<<"${cells[$c]}"
      measure "$data/$file" "$minsup" "$work/out$c" >>"$work/runs$c"
      reported "$c" "$want"
    done
  done
  printf '%-16s %7s %9s %9s %9s %12s %11s %9s\n' data MINSUP wall_s cpu_s rss_MB nofile_wall_s itemsets check
  for c in "${!cells[@]}"; do
    read -r file minsup want <<<"${cells[$c]}"
    read -r wall cpu rss <<<"$(medians "$work/runs$c")"
    got=$(wc -l <"$work/out$c")
    nofile=$(measure "$data/$file" "$minsup" | cut -d' ' -f1)
    reported "$c" "$want"
    check=ok
    if [ "$got" != "$want" ] || [ -s "$work/wrong$c" ]; then check="WRONG($want)"; failed=1; fi
    printf '%-16s %7s %9s %9s %9.1f %12s %11s %9s\n' "$file" "$minsup" "$wall" "$cpu" "$(mb "$rss")" \
      "$nofile" "$got" "$check"
    rm -f "$work/out$c"
  done
}

# --- targets: zub-mine's maximal, closed and all itemsets ---------------------
target_cells=(
    "maximal lookahead chess.dat 1500 16303"
    "maximal lookahead chess.dat 1000 114382"
    "maximal lookahead T10I4D100K.dat 2 884032"
    "closed closure chess.dat 1500 549872"
    "closed closure chess.dat 1200 1892002"
    "closed closure retail.dat 10 159396"
    "closed closure T10I4D100K.dat 5 769777"
    "all - chess.dat 1500 2076329"
    "all - chess.dat 1200 9759966"
    "all - mushroom.dat 300 5259785"
    "all - retail.dat 10 189400"
    "all - T10I4D100K.dat 5 1923259"
)
parallel_cells=(
  "maximal lookahead chess.dat 1000 114382"
  "maximal lookahead retail.dat 2 981952"
  "maximal lookahead T10I4D100K.dat 2 884032"
  "closed closure chess.dat 1200 1892002"
  "all - chess.dat 1200 9759966"
  "closed closure T10I4D100K.dat 5 769777"
  "all - T10I4D100K.dat 5 1923259"
)
section_targets() { mine_cells "${ZUB_THREADS:-1}" "${target_cells[@]}"; }
section_parallel() { mine_cells "${ZUB_THREADS:-1 2}" "${parallel_cells[@]}"; }

# mine_cells "THREADS..." CELL...: each cell with each worker count; the
# speed-up is against the first count's median.
mine_cells() {
  local threads=($1)
  shift
  local cells=("$@")
  local c t k target method file minsup want wall cpu rss got check opts base
  # Rounds over the cells as above; each run's count is kept and its
  # itemset file removed, the largest being a few hundred MB.
  for _ in $(seq "$runs"); do
    for c in "${!cells[@]}"; do
      for t in "${threads[@]}"; do
        read -r target method file minsup want <<<"${cells[$c]}"
        opts=(--threads "$t" --target "$target")
        [ "$method" = - ] || opts+=(--method "$method")  # "-": the target has one miner
        timed "$zub_mine" "${opts[@]}" "$data/$file" "$minsup" "$work/mine_out" >>"$work/mine_runs$c.$t"
        wc -l <"$work/mine_out" >>"$work/mine_counts$c.$t"
        rm -f "$work/mine_out"
      done
    done
  done
  printf '%-8s %-10s %7s %-16s %7s %9s %9s %9s %11s %9s %8s\n' target method threads data MINSUP wall_s cpu_s rss_MB \
    itemsets check speedup
  for c in "${!cells[@]}"; do
    for t in "${threads[@]}"; do
      k=$c.$t
      read -r target method file minsup want <<<"${cells[$c]}"
      read -r wall cpu rss <<<"$(medians "$work/mine_runs$k")"
      got=$(tail -1 "$work/mine_counts$k")
      check=ok
      if grep -qvx "$want" "$work/mine_counts$k"; then check="WRONG($want)"; failed=1; fi
      [ "$t" = "${threads[0]}" ] && base=$wall
      printf '%-8s %-10s %7s %-16s %7s %9s %9s %9.1f %11s %9s %8.2f\n' "$target" "$method" "$t" "$file" "$minsup" \
        "$wall" "$cpu" "$(mb "$rss")" "$got" "$check" "$(echo "$base / $wall" | bc -l)"
    done
  done
}

# --- rules: association rules beside the closed itemsets they come from -------
rule_cells=(
  "retail.dat 10 0.5 241246"
  "T10I4D100K.dat 10 0.5 657871"
  "chess.dat 2000 0.9 1022758"
)
section_rules() {
  local threads=(${ZUB_THREADS:-1 2})
  local c t k file minsup conf want wall cpu rss got check cwall crss base
  for _ in $(seq "$runs"); do
    for c in "${!rule_cells[@]}"; do
      for t in "${threads[@]}"; do
        read -r file minsup conf want <<<"${rule_cells[$c]}"
        timed "$zub_mine" --threads "$t" --target closed "$data/$file" "$minsup" "$work/rules_out" \
          >>"$work/closed_runs$c.$t"
        timed "$zub_mine" --threads "$t" --target rules --min-confidence "$conf" "$data/$file" "$minsup" \
          "$work/rules_out" >>"$work/rule_runs$c.$t"
        wc -l <"$work/rules_out" >>"$work/rule_counts$c.$t"
        # The same bytes on every number of threads: the first count's.
        if [ "$t" = "${threads[0]}" ]; then
          mv "$work/rules_out" "$work/rules_first"
        elif ! cmp -s "$work/rules_out" "$work/rules_first"; then
          echo "bytes" >>"$work/rule_counts$c.$t"
        fi
        rm -f "$work/rules_out"
      done
    done
  done
  printf '%-16s %7s %5s %7s %9s %9s %9s %11s %9s %8s %14s %16s\n' data MINSUP conf threads wall_s cpu_s rss_MB rules \
    check speedup closed_wall_s closed_rss_MB
  for c in "${!rule_cells[@]}"; do
    for t in "${threads[@]}"; do
      k=$c.$t
      read -r file minsup conf want <<<"${rule_cells[$c]}"
      read -r wall cpu rss <<<"$(medians "$work/rule_runs$k")"
      got=$(grep -vx bytes "$work/rule_counts$k" | tail -1)
      check=ok
      if grep -qvx "$want" "$work/rule_counts$k"; then check="WRONG($want)"; failed=1; fi
      read -r cwall _ crss <<<"$(medians "$work/closed_runs$k")"
      [ "$t" = "${threads[0]}" ] && base=$wall
      printf '%-16s %7s %5s %7s %9s %9s %9.1f %11s %9s %8.2f %14s %16.1f\n' "$file" "$minsup" "$conf" "$t" "$wall" \
        "$cpu" "$(mb "$rss")" "$got" "$check" "$(echo "$base / $wall" | bc -l)" "$cwall" "$(mb "$crss")"
    done
  done
}

# --- wide: three lines over n ids ---------------------------------------------
# wide_db SHAPE N FILE
wide_db() {
  local n=$2 h=$(($2 / 2))
  case $1 in
    halves | halves2) seq -s ' ' 0 $((n - 1)); seq -s ' ' 0 $((h - 1)); seq -s ' ' "$h" $((n - 1)) ;;
    twin) seq -s ' ' 0 $((n - 1)); seq -s ' ' 0 $((n - 1)); echo "$n $((n + 1))" ;;
    cut) seq -s ' ' 0 $((n - 1)); seq -s ' ' 0 $((n - 1)); seq -s ' ' 0 $((h - 1)) ;;
    parity) seq -s ' ' 0 $((n - 1)); seq -s ' ' 0 2 $((n - 1)); seq -s ' ' 1 2 $((n - 1)) ;;
  esac >"$3"
}
# Columns: name, program, options, itemsets for halves, twin, cut, halves2
# (the halves at MINSUP 2) and parity (all ids, the even ones, the odd
# ones; MINSUP 2) (N: n).
wide_columns=(
  "zub zub - 1 1 1 2 2"
  "lookahead zub-mine --method=lookahead 1 1 1 2 2"
  "projected zub-mine --method=projected 1 1 1 2 2"
  "closure zub-mine --target=closed,--method=closure 3 1 2 2 2"
  "cfi-tree zub-mine --target=closed,--method=cfi-tree 3 1 2 2 2"
  "all<=1 zub-mine --target=all,--max-len=1 N N N N N"
  "rules<=1 zub-mine --target=rules,--max-len=1 0 0 0 0 0"
)
section_wide() {
  local shape n t col program opts want minsup db cmd got k r cell wall rss
  local -A ms=([halves]=1 [twin]=2 [cut]=2 [halves2]=2 [parity]=2) at=([halves]=3 [twin]=4 [cut]=5 [halves2]=6 [parity]=7)
  local threads=(${ZUB_THREADS:-1 2})
  echo "wide: three lines over n ids; each cell median wall s / peak RSS MB (zub: one thread, first row)"
  printf '%-7s %8s %7s' shape n threads
  for col in "${wide_columns[@]}"; do printf ' %16s' "${col%% *}"; done
  echo
  for n in ${ZUB_WIDE_N:-40000 200000 1000000}; do
    for shape in halves twin cut halves2 parity; do
      db=$work/wide.dat
      wide_db "$shape" "$n" "$db"
      minsup=${ms[$shape]}
      for t in "${threads[@]}"; do
        printf '%-7s %8s %7s' "$shape" "$n" "$t"
        for col in "${wide_columns[@]}"; do
          read -r -a cell <<<"$col"
          program=${cell[1]} opts=${cell[2]} want=${cell[${at[$shape]}]}
          [ "$want" = N ] && want=$n
          if [ "$program" = zub ] && [ "$t" != "${threads[0]}" ]; then  # zub has one thread
            printf ' %16s' -
            continue
          fi
          cmd=("$zub")
          if [ "$program" = zub-mine ]; then
            cmd=("$zub_mine" --threads "$t")
            IFS=, read -r -a k <<<"$opts"
            cmd+=("${k[@]}")
          fi
          : >"$work/runs"
          r=0
          for _ in $(seq "$runs"); do
            (ulimit -v 8388608 && timed timeout 600 "${cmd[@]}" "$db" "$minsup" "$work/out") >>"$work/runs" || r=1
          done
          got=$(wc -l <"$work/out")
          rm -f "$work/out"
          if [ "$r" != 0 ] || [ "$got" != "$want" ]; then
            printf ' %16s' "FAIL($got/$want)"
            failed=1
            continue
          fi
          read -r wall _ rss <<<"$(medians "$work/runs")"
          printf ' %16s' "$(printf '%s / %.0f' "$wall" "$(mb "$rss")")"
        done
        echo
      done
      rm -f "$db"
    done
  done
}

# --- scale: T10I4D100K repeated k times ---------------------------------------
section_scale() {
  echo "scale: T10I4D100K.dat repeated k times, MINSUP 10k"
  printf '%4s %12s %9s %9s %9s %12s %16s\n' k transactions wall_s cpu_s rss_MB itemsets s_per_M_trans
  local base="" k db minsup wall cpu rss sorted same trans
  for k in 1 2 4 8 16; do
    db=$work/t10x$k.dat
    for _ in $(seq "$k"); do cat "$data/T10I4D100K.dat"; done >"$db"
    minsup=$((10 * k))
    : >"$work/runs"
    for _ in $(seq "$runs"); do measure "$db" "$minsup" "$work/out" >>"$work/runs"; done
    read -r wall cpu rss <<<"$(medians "$work/runs")"
    # The same itemsets, each with k times the support of one copy.
    sorted=$(awk -v k="$k" '{ s = $NF; gsub(/[()]/, "", s); $NF = (s % k == 0) ? "(" s / k ")" : "(not a multiple)"; print }' \
      "$work/out" | sort | md5sum | cut -c1-12)
    [ -n "$base" ] || base=$sorted
    same=$([ "$sorted" = "$base" ] && echo "" || echo " DIFFERENT")
    [ -z "$same" ] || failed=1
    trans=$((100000 * k))
    printf '%4s %12s %9s %9s %9.1f %12s %16.3f%s\n' "$k" "$trans" "$wall" "$cpu" "$(mb "$rss")" \
      "$(wc -l <"$work/out")" "$(echo "$wall * 1000000 / $trans" | bc -l)" "$same"
    rm -f "$db" "$work/out"
  done
}

# --- quest: generated baskets, 1 to 10 million transactions at 2% -------------
section_quest() {
  local gen=$work/gen_baskets all=$work/quest10M.dat n lines db minsup wall cpu rss start
  c++ -O2 -std=c++20 "$root/bench/gen_baskets.cpp" -o "$gen"
  start=$(date +%s.%N)
  "$gen" 10000000 --patterns 200 >"$all"
  echo "quest: generated baskets (gen_baskets 10000000 --patterns 200: 1000 items, baskets of 10, patterns of 4, seed 1)," \
    "the first N transactions, MINSUP 2% of N"
  printf 'generated in %.1f s, %.0f MB\n' "$(echo "$(date +%s.%N) - $start" | bc -l)" "$(echo "$(stat -c %s "$all") / 1048576" | bc -l)"
  printf '%12s %9s %9s %9s %9s %12s %16s\n' transactions MINSUP wall_s cpu_s rss_MB itemsets s_per_M_trans
  for n in 1 2 5 10; do
    lines=$((n * 1000000))
    db=$all
    if [ "$n" != 10 ]; then db=$work/quest${n}M.dat; head -n "$lines" "$all" >"$db"; fi
    minsup=$((lines / 50))
    : >"$work/runs"
    for _ in $(seq "$runs"); do measure "$db" "$minsup" "$work/out" >>"$work/runs"; done
    read -r wall cpu rss <<<"$(medians "$work/runs")"
    printf '%12s %9s %9s %9s %9.1f %12s %16.3f\n' "$lines" "$minsup" "$wall" "$cpu" "$(mb "$rss")" \
      "$(wc -l <"$work/out")" "$(echo "$wall * 1000000 / $lines" | bc -l)"
    [ "$db" = "$all" ] || rm -f "$db"
    rm -f "$work/out"
  done
  rm -f "$all"
}

# --- large: reading and building on several threads, 1 to 100 million --------
# stats_run THREADS FILE MINSUP: one zub-mine --stats run; "wall cpu rss_kb reading_s mining_s itemsets"
stats_run() {
  (cd "$work" && /usr/bin/time -f "%e %U %S %M" -o "$work/t" "$zub_mine" --stats --threads "$1" "$2" "$3" \
    "$work/out" 2>"$work/stats")
  echo "$(awk '{printf "%s %.2f %s", $1, $2 + $3, $4}' "$work/t")" \
    "$(awk '/^wall time reading:/ {r = $4} /^wall time mining:/ {m = $4} END {print r, m}' "$work/stats")" \
    "$(wc -l <"$work/out")"
  rm -f "$work/out"
}
section_large() {
  local gen=$work/gen_baskets all=$work/large.dat n lines db minsup t wall cpu rss rd mn got base_rd base_wall
  local sizes=(1 10)
  [ "${ZUB_LARGE_100M:-0}" = 1 ] && sizes+=(100)
  c++ -O2 -std=c++20 "$root/bench/gen_baskets.cpp" -o "$gen"
  cmake --build build-bench -j2 --target zub_read_sim >/dev/null
  "$gen" $((${sizes[-1]} * 1000000)) --patterns 200 >"$all"
  echo "large: generated baskets (gen_baskets --patterns 200), the first N transactions, MINSUP 2% of N;" \
    "reading = counting, building the main tree, its chains (zub-mine --stats)"
  printf '%12s %7s %9s %9s %10s %9s %9s %10s %16s %9s\n' transactions threads wall_s cpu_s reading_s mining_s rss_MB \
    itemsets s_per_M_trans speedup
  for n in "${sizes[@]}"; do
    lines=$((n * 1000000))
    db=$all
    if [ "$n" != "${sizes[-1]}" ]; then db=$work/large${n}M.dat; head -n "$lines" "$all" >"$db"; fi
    minsup=$((lines / 50))
    for t in 1 2; do
      [ "$t" = 2 ] && [ "$n" != 10 ] && continue
      : >"$work/runs"
      for _ in $(seq "$runs"); do stats_run "$t" "$db" "$minsup" >>"$work/runs"; done
      read -r wall cpu rss <<<"$(medians "$work/runs")"
      rd=$(cut -d' ' -f4 "$work/runs" | median)
      mn=$(cut -d' ' -f5 "$work/runs" | median)
      got=$(tail -1 "$work/runs" | cut -d' ' -f6)
      if [ "$t" = 1 ]; then base_rd=$rd base_wall=$wall; fi
      printf '%12s %7s %9s %9s %10s %9s %9.1f %10s %16.3f %9s\n' "$lines" "$t" "$wall" "$cpu" "$rd" "$mn" "$(mb "$rss")" \
        "$got" "$(echo "$wall * 1000000 / $lines" | bc -l)" \
        "$([ "$t" = 1 ] && echo - || printf '%.2f/%.2f' "$(echo "$base_rd / $rd" | bc -l)" "$(echo "$base_wall / $wall" | bc -l)")"
    done
    if [ "$n" = 10 ]; then
      echo "zub_read_sim at 10 million (speedup above: reading/run):"
      "$root/build-bench/zub_read_sim" "$db" "$minsup" -j 1 2 4 8 16
    fi
    [ "$db" = "$all" ] || rm -f "$db"
  done
  rm -f "$all"
}

# --- cluster: zub-mine-mpi against zub-mine -----------------------------------
# items_sorted: itemset lines with their items in ascending order, sorted
items_sorted() { perl -lane '$s = pop @F; print join(" ", sort { $a <=> $b } @F), " $s"' | sort; }
# ranks_lines STATS: the --stats lines of the ranks
ranks_lines() { grep -E '^(rank [0-9]+:|rank 0 writing|candidates sent)' "$1" | sed 's/^/  /'; }
section_cluster() {
  local build=$root/build-bench-mpi gen=$work/gen_baskets all=$work/quest10M.dat target n mpi one c file minsup
  local w1 w2 m1 m2
  command -v mpirun >/dev/null || { echo "cluster: mpirun missing (tools/deps.sh installs Open MPI)"; return; }
  export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1  # CI and these machines run as root
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZUB_BUILD_TESTS=OFF -DZUB_MPI=ON >/dev/null
  cmake --build "$build" -j2 --target zub-mine-mpi zub-mine >/dev/null
  c++ -O2 -std=c++20 -Isrc "$root/bench/cluster_sim.cpp" -o "$work/cluster_sim"
  mpi=$build/zub-mine-mpi
  one=$build/zub-mine
  c++ -O2 -std=c++20 "$root/bench/gen_baskets.cpp" -o "$gen"
  "$gen" 10000000 --patterns 200 >"$all"
  echo "cluster: quest's 10 million baskets at 2%, the whole run (reading included), medians of $runs;" \
    "zub-mine --threads 1 against mpirun -np 2 zub-mine-mpi --threads 1"
  printf '%-8s %10s %10s %8s %9s %9s %s\n' target one_wall_s mpi2_wall_s speed-up one_rss_MB mpi2_rss_MB same
  for target in maximal closed all; do
    : >"$work/one" && : >"$work/mpi"
    for _ in $(seq "$runs"); do
      timed "$one" --threads 1 --target "$target" "$all" 2% "$work/o1" >>"$work/one"
      timed mpirun -np 2 "$mpi" --threads 1 --target "$target" "$all" 2% "$work/o2" >>"$work/mpi"
    done
    read -r w1 _ m1 <<<"$(medians "$work/one")"
    read -r w2 _ m2 <<<"$(medians "$work/mpi")"
    local same=no
    # Maximal lines may list their items in another order: each line's
    # items sorted before the lines are.
    if [ "$target" = all ]; then cmp -s "$work/o1" "$work/o2" && same=bytes; else
      [ "$(items_sorted <"$work/o1" | md5sum)" = "$(items_sorted <"$work/o2" | md5sum)" ] && same=itemsets; fi
    [ "$same" = no ] && failed=1
    printf '%-8s %10s %10s %8.2f %9.1f %9.1f %s\n' "$target" "$w1" "$w2" "$(echo "$w1 / $w2" | bc -l)" \
      "$(mb "$m1")" "$(mb "$m2")" "$same"
  done
  for target in maximal closed all; do
    for n in 1 2 4; do
      echo "$target, $n rank(s), --stats:"
      (cd "$work" && ZUB_MPI_UNIT_TIMES=$work/units_$target ZUB_MPI_PLANS=$work/plans_$target \
        mpirun --oversubscribe -x ZUB_MPI_UNIT_TIMES -x ZUB_MPI_PLANS -np "$n" "$mpi" --threads 1 --stats \
        --target "$target" "$all" 2% "$work/o2" 2>"$work/stats" >/dev/null)
      grep -E '^(wall time|itemsets)' "$work/stats" | sed 's/^/  /'
      ranks_lines "$work/stats"
      if [ "$n" = 1 ]; then
        echo "  scaled by bench/cluster_sim (10 Gbit/s, 50 us; 100 million and 1 billion baskets):"
        "$work/cluster_sim" "$work/stats" "$work/units_$target" "$work/plans_$target" 10000000 | sed 's/^/  /'
      fi
    done
  done
  rm -f "$all" "$work/o1" "$work/o2"
  echo "cluster: bytes of the parallel section's cells, mpirun -np N zub-mine-mpi --stats"
  for c in "${parallel_cells[@]}" "maximal lookahead chess.dat 1200 0" "maximal lookahead retail.dat 10 0"; do
    read -r target _ file minsup _ <<<"$c"
    for n in 2 4; do
      echo "$target $file $minsup, $n ranks:"
      (cd "$work" && mpirun --oversubscribe -np "$n" "$mpi" --threads 1 --stats --target "$target" "$data/$file" \
        "$minsup" "$work/o2" 2>"$work/stats" >/dev/null)
      grep -E '^itemsets' "$work/stats" | sed 's/^/  /'
      ranks_lines "$work/stats"
    done
  done
  rm -f "$work/o2"
}

# --- python: the module's overhead against zub-mine -------------------------
section_python() {
  local build=$root/build-bench-python threads
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DZUB_BUILD_TESTS=OFF -DZUB_PYTHON=ON >/dev/null
  cmake --build "$build" -j2 --target _zub zub-mine >/dev/null
  for threads in 1 2; do
    PYTHONPATH=$build/python /usr/bin/python3 bench/python_bench.py "$build/zub-mine" "$data/retail.dat" 10 \
      "$runs" "$threads" || failed=1
  done
}

echo "machine: $(nproc) cores, $(uname -m), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
first=1
for s in "${all_sections[@]}"; do
  [[ " ${sections[*]} " == *" $s "* ]] || continue
  [ "$first" = 1 ] || echo
  first=0
  "section_$s"
done
exit $failed
