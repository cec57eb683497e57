#!/usr/bin/env bash
# End-to-end speed of eitool against `cp -r` on the same disk.
#
#   bench/endtoend.sh [BUILD_DIR]        (default ./build; needs eitool and make_sample_pack)
#
# Makes a data pack of 10,000 members of 20 KiB, then over several interleaved rounds times:
#   extract     eitool extract of the pack into a fresh directory
#   cp -r       a copy of an extracted tree to a new directory beside it (every other round
#               the tree of the round before, copied before the extraction)
#   insert      eitool insert of its result log with every piece unchanged
#   insert*     eitool insert with every piece edited (one byte changed, same size), so that
#               every member is journalled and rewritten
# and prints the medians and the ratios extract / cp -r (target <= 0.8) and insert / cp -r
# (target <= 1.0). Page caches cannot be dropped without root, so one warm-up round goes first
# and every timed command starts after a sync.
#
# Environment: ROUNDS (default 5), MEMBERS (10000), MEMBER_SIZE (20480),
#              WORK (default BUILD_DIR/endtoend-work; removed at the end; needs about
#              2 x (ROUNDS + 1) x MEMBERS x MEMBER_SIZE bytes of free space).
set -euo pipefail

build=${1:-./build}
eitool=$build/cli/eitool
maker=$build/bench/make_sample_pack
rounds=${ROUNDS:-5}
members=${MEMBERS:-10000}
member_size=${MEMBER_SIZE:-20480}
work=${WORK:-$build/endtoend-work}

for program in "$eitool" "$maker"; do
  if [ ! -x "$program" ]; then
    echo "endtoend.sh: $program not found; build first (benchmarks on)" >&2
    exit 2
  fi
done

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
trap 'rm -rf "$work"' EXIT
pack=$work/game/bench.tre
"$maker" pack "$pack" "$members" "$member_size"

# Runs a command after a sync and prints its wall time in seconds. The pause after the sync lets
# the virtual disk finish what the sync started, so that the flush of one command's writes does
# not land on whichever command runs next.
timed() {
  sync
  sleep 1
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.4f\n", ns / 1e9 }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

extract_times=() cp_times=() insert_times=() edited_times=()
for round in $(seq 0 "$rounds"); do
  # Fresh names every round, all removed at the end: removing 20,000 files just before a timed
  # command would slow it down (the file system frees and discards their blocks meanwhile).
  tree=$work/extracted-$round
  copy=$work/copied-$round
  # Whichever runs first follows the previous round's insertions; take turns.
  if [ $((round % 2)) -eq 0 ] && [ "$round" -gt 0 ]; then
    t_cp=$(timed cp -r "$work/extracted-$((round - 1))" "$copy")
    t_extract=$(timed "$eitool" extract --target "$tree" "$pack")
  else
    t_extract=$(timed "$eitool" extract --target "$tree" "$pack")
    t_cp=$(timed cp -r "$tree" "$copy")
  fi
  t_insert=$(timed "$eitool" insert --target "$tree" "$tree/result.log")
  "$maker" flip "$tree/result.log" >/dev/null
  t_edited=$(timed "$eitool" insert --target "$tree" "$tree/result.log")
  if [ "$round" -eq 0 ]; then
    continue # the warm-up round
  fi
  printf 'round %d: extract %s s, cp -r %s s, insert %s s, insert* %s s\n' \
    "$round" "$t_extract" "$t_cp" "$t_insert" "$t_edited"
  extract_times+=("$t_extract") cp_times+=("$t_cp")
  insert_times+=("$t_insert") edited_times+=("$t_edited")
done

m_extract=$(printf '%s\n' "${extract_times[@]}" | median)
m_cp=$(printf '%s\n' "${cp_times[@]}" | median)
m_insert=$(printf '%s\n' "${insert_times[@]}" | median)
m_edited=$(printf '%s\n' "${edited_times[@]}" | median)

awk -v e="$m_extract" -v c="$m_cp" -v i="$m_insert" -v d="$m_edited" \
    -v n="$members" -v s="$member_size" -v r="$rounds" 'BEGIN {
  printf "\n%d members of %d bytes (%.1f MiB), median of %d rounds\n", n, s, n * s / 1048576, r
  printf "  %-38s %8.3f s\n", "extract", e
  printf "  %-38s %8.3f s\n", "cp -r of the extracted tree", c
  printf "  %-38s %8.3f s\n", "insert, every piece unchanged", i
  printf "  %-38s %8.3f s\n", "insert*, every piece edited (journal)", d
  printf "  %-38s %8.2f   (target <= 0.8) %s\n", "extract / cp -r", e / c, (e / c <= 0.8) ? "ok" : "MISSED"
  printf "  %-38s %8.2f   (target <= 1.0) %s\n", "insert / cp -r", i / c, (i / c <= 1.0) ? "ok" : "MISSED"
  printf "  %-38s %8.2f   (target <= 1.0) %s\n", "insert* / cp -r", d / c, (d / c <= 1.0) ? "ok" : "MISSED"
}'
