#!/usr/bin/env bash
# Speed of the pack helpers.
#
#   bench/packtools.sh [BUILD_DIR]        (default ./build; needs eitool and make_sample_pack)
#
#   verify   eitool verify of a pack of about 1 GiB (4096 members of 256 KiB) against
#            `cat PACK > /dev/null` of the same file, interleaved over several rounds after a
#            warm-up read; target: verify runs at >= 0.8 x the speed of cat
#   list     eitool list of a pack of 1,000,000 entries into /dev/null; target: < 2 s
#
# Environment: ROUNDS (default 5), WORK (default BUILD_DIR/packtools-work; removed at the end;
#              needs about 1.1 GiB of free space).
set -euo pipefail

build=${1:-./build}
eitool=$build/cli/eitool
maker=$build/bench/make_sample_pack
rounds=${ROUNDS:-5}
work=${WORK:-$build/packtools-work}

for program in "$eitool" "$maker"; do
  if [ ! -x "$program" ]; then
    echo "packtools.sh: $program not found; build first (benchmarks on)" >&2
    exit 2
  fi
done

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
trap 'rm -rf "$work"' EXIT
big=$work/big.tre
many=$work/many.tre
"$maker" pack "$big" 4096 262144
"$maker" pack "$many" 1000000 16

# Prints the wall time of a command in seconds, its output thrown away.
timed() {
  local start end
  start=$(date +%s%N)
  "$@" >/dev/null
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.4f\n", ns / 1e9 }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

cat "$big" >/dev/null # warm-up: both commands read from the page cache alike
"$eitool" verify "$big"
"$eitool" list "$many" >/dev/null

cat_times=() verify_times=() list_times=()
for round in $(seq 1 "$rounds"); do
  if [ $((round % 2)) -eq 0 ]; then
    t_verify=$(timed "$eitool" verify "$big")
    t_cat=$(timed cat "$big")
  else
    t_cat=$(timed cat "$big")
    t_verify=$(timed "$eitool" verify "$big")
  fi
  t_list=$(timed "$eitool" list "$many")
  printf 'round %d: cat %s s, verify %s s, list %s s\n' "$round" "$t_cat" "$t_verify" "$t_list"
  cat_times+=("$t_cat") verify_times+=("$t_verify") list_times+=("$t_list")
done

m_cat=$(printf '%s\n' "${cat_times[@]}" | median)
m_verify=$(printf '%s\n' "${verify_times[@]}" | median)
m_list=$(printf '%s\n' "${list_times[@]}" | median)
size=$(stat -c %s "$big")

awk -v c="$m_cat" -v v="$m_verify" -v l="$m_list" -v s="$size" -v r="$rounds" 'BEGIN {
  printf "\nmedian of %d rounds; verify pack %.1f MiB, list pack 1,000,000 entries\n", r, s / 1048576
  printf "  %-34s %8.3f s  %8.0f MiB/s\n", "cat PACK > /dev/null", c, s / 1048576 / c
  printf "  %-34s %8.3f s  %8.0f MiB/s\n", "eitool verify PACK", v, s / 1048576 / v
  printf "  %-34s %8.2f   (target >= 0.8) %s\n", "verify speed / cat speed", c / v, (c / v >= 0.8) ? "ok" : "MISSED"
  printf "  %-34s %8.3f s  (target < 2 s) %s\n", "eitool list (1,000,000 entries)", l, (l < 2) ? "ok" : "MISSED"
}'
