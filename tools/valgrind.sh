#!/usr/bin/env bash
# valgrind memcheck on full runs on mushroom.dat at MINSUP 500: zub, and
# zub-mine for each of its targets when that program is built. Every run must
# end with status 0, no memory error and no heap block left at exit (leak
# kinds of every sort count as errors).
#
# usage: tools/valgrind.sh [BUILD_DIR]   (default: build; data from
#        $ZUB_DATA_DIR, default ../shared/data)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build}" && pwd)
data=${ZUB_DATA_DIR:-$root/../shared/data}
db=$data/mushroom.dat
[ -f "$db" ] || { echo "valgrind.sh: $db not found" >&2; exit 2; }
command -v valgrind >/dev/null || { echo "valgrind.sh: valgrind not installed" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# Every heap block freed, or nothing left but the suppressed runtime pool.
all_freed() {
  grep -q 'All heap blocks were freed' "$1" && return 0
  for kind in 'definitely lost' 'indirectly lost' 'possibly lost' 'still reachable'; do
    grep -q "$kind: 0 bytes in 0 blocks" "$1" || return 1
  done
}

# check NAME PROGRAM ARGS...: one memcheck run in a directory of its own.
check() {
  local name=$1
  shift
  mkdir -p "$work/$name"
  local status=0
  (cd "$work/$name" && valgrind --tool=memcheck --leak-check=full --show-leak-kinds=all --suppressions="$root/tools/valgrind.supp" \
      --errors-for-leak-kinds=all --error-exitcode=99 --log-file="$work/$name.log" "$@" >"$work/$name.stdout") ||
    status=$?
  local summary heap lines
  summary=$(grep -h 'ERROR SUMMARY' "$work/$name.log" | sed 's/^==[0-9]*== //')
  heap=$(grep -h -E 'All heap blocks were freed|in use at exit' "$work/$name.log" | sed 's/^==[0-9]*== //' | head -1)
  lines=$( [ -f "$work/$name/out" ] && wc -l <"$work/$name/out" || echo 0)
  echo "$name: status $status, $lines itemsets; $summary; $heap"
  if [ "$status" -ne 0 ] || ! grep -q 'ERROR SUMMARY: 0 errors' "$work/$name.log" ||
      ! all_freed "$work/$name.log"; then
    sed 's/^/    /' "$work/$name.log" | tail -40
    failed=1
  fi
}

check zub "$build/zub" "$db" 500 out
if [ -x "$build/zub-mine" ]; then
  for target in maximal closed all; do
    check "zub-mine-$target" "$build/zub-mine" --target "$target" "$db" 500 out
  done
else
  echo "zub-mine: not built in $build, skipped"
fi
exit $failed
