#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz/ and runs each for a
# given time, one after another (one core at a time). New inputs collect in
# build-fuzz/corpus/<target>; afterwards the kept corpus
# tests/fuzz/corpus/<target> is replaced by the merge (-merge=1) of both,
# which keeps only inputs that reach new code. Crashing inputs land in
# build-fuzz/artifacts/<target>/.
#
# usage: tools/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
#   targets: reader, ranges, mine (default: all three); default time: 60 seconds each.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(reader ranges mine)

cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DZUB_FUZZ=ON -DZUB_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz -j "${FUZZ_BUILD_JOBS:-1}"

status=0
for t in "${targets[@]}"; do
  kept=$root/tests/fuzz/corpus/$t
  work=$root/build-fuzz/corpus/$t
  artifacts=$root/build-fuzz/artifacts/$t
  mkdir -p "$kept" "$work" "$artifacts"
  echo "== fuzzing $t for $seconds s"
  # -timeout catches hangs; the targets keep single runs far below it.
  if ! "$root/build-fuzz/fuzz_$t" "$work" "$kept" -max_total_time="$seconds" -timeout=20 \
      -artifact_prefix="$artifacts/" -print_final_stats=1 2>&1 | tee "$root/build-fuzz/$t.log" | grep -E '^#[0-9]+.*(DONE|pulse)|^(==|SUMMARY|stat::)'; then
    :
  fi
  if [ -n "$(ls -A "$artifacts")" ]; then
    echo "$t: inputs that failed are in $artifacts"
    status=1
  fi
  merged=$(mktemp -d)
  "$root/build-fuzz/fuzz_$t" -merge=1 "$merged" "$kept" "$work" >"$root/build-fuzz/$t.merge.log" 2>&1
  rm -f "$kept"/*
  cp "$merged"/* "$kept"/
  rm -rf "$merged"
  echo "$t: $(ls "$kept" | wc -l) inputs kept in tests/fuzz/corpus/$t"
done
exit $status
