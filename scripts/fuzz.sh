#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz, clang) and runs each for SECONDS:
#   scripts/fuzz.sh SECONDS [TARGET...]
# Every target of build-fuzz/fuzz/targets.txt runs, or only the ones named. Each fuzzes with a
# scratch corpus in build-fuzz/corpus/<target>/ first, so that what it finds goes there, and the
# committed seeds in fuzz/corpus/<target>/ second, with fuzz/dict/<target>.dict where there is
# one. A crash input is kept in build-fuzz/crashes/<target>/, the output in
# build-fuzz/logs/<target>.log. Prints per target the executions, coverage and crashes; exits 1
# when any target crashed, 2 on wrong use.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

usage() { echo "usage: scripts/fuzz.sh SECONDS [TARGET...]" >&2; exit 2; }
[ $# -ge 1 ] || usage
seconds=$1
shift
[[ "$seconds" =~ ^[0-9]+$ ]] && [ "$seconds" -gt 0 ] || usage

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

build=$root/build-fuzz
mapfile -t targets < "$build/fuzz/targets.txt"
for source in fuzz/fuzz_*.cpp; do
  target=$(basename "$source" .cpp)
  case " ${targets[*]} " in
    *" $target "*) ;;
    *) echo "$source is not a target in fuzz/CMakeLists.txt" >&2; exit 1 ;;
  esac
done
if [ $# -ne 0 ]; then
  for target in "$@"; do
    case " ${targets[*]} " in
      *" $target "*) ;;
      *) echo "fuzz.sh: no target '$target' (${targets[*]})" >&2; exit 2 ;;
    esac
  done
  targets=("$@")
fi

# The last value of a field (cov:, ft:) in libFuzzer's status lines, or "-".
last_field() {
  grep -oE "$1 [0-9]+" "$2" | tail -n 1 | awk '{print $2}' || true
}

failed=()
printf '%-22s %12s %8s %8s %s\n' target executions cov ft crashes
for target in "${targets[@]}"; do
  seeds=$root/fuzz/corpus/$target scratch=$build/corpus/$target crashes=$build/crashes/$target
  log=$build/logs/$target.log tmp=$build/tmp/$target dict=$root/fuzz/dict/$target.dict
  if [ -z "$(ls -A "$seeds" 2>/dev/null)" ]; then
    echo "$target has no seeds in fuzz/corpus/$target" >&2
    exit 1
  fi
  mkdir -p "$scratch" "$crashes" "$(dirname "$log")" "$tmp"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$crashes/")
  [ -f "$dict" ] && options+=(-dict="$dict")
  before=$(find "$crashes" -type f ! -name 'slow-unit-*' | wc -l)
  slow_before=$(find "$crashes" -type f -name 'slow-unit-*' | wc -l)
  # The targets' own temporary files go below the build directory; every path is absolute,
  # since some targets work in their own directory.
  status=0
  TMPDIR=$tmp "$build/fuzz/$target" "${options[@]}" "$scratch" "$seeds" >"$log" 2>&1 || status=$?
  rm -rf "$tmp"
  found=$(( $(find "$crashes" -type f ! -name 'slow-unit-*' | wc -l) - before ))
  # A slow unit is kept and named but fails nothing: how long one input takes depends on the
  # machine's load (a sync waits for every other process's writes). A hang is a timeout, which
  # ends the target with a failure status.
  slow=$(( $(find "$crashes" -type f -name 'slow-unit-*' | wc -l) - slow_before ))
  if [ "$slow" -ne 0 ]; then
    echo "$target: $slow slow input(s) kept in $crashes/ (slow-unit-*); replay them to check" >&2
  fi
  runs=$(grep -oE '^stat::number_of_executed_units: *[0-9]+' "$log" | awk '{print $2}' || true)
  printf '%-22s %12s %8s %8s %s\n' "$target" "${runs:--}" "$(last_field cov: "$log")" \
    "$(last_field ft: "$log")" "$found"
  if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
    tail -n 40 "$log" | sed 's/^/    /'
    echo "$target failed (status $status); its input is kept in $crashes/, its output in $log" >&2
    failed+=("$target")
  fi
done
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz.sh: ${#failed[@]} target(s) failed: ${failed[*]}" >&2
  exit 1
fi
